// CairnDataObject, the data object of items copied or dragged out of an archive: a list of files
// (CF_HDROP) that are written from the archive to the temporary folder when the receiver first
// asks for them, and the extension's marker format, which it offers and never gives, so that the
// extension's own drop targets and Paste refuse its items.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <optional>
#include <string>

#include "ArchiveOperations.h"
#include "ComObject.h"
#include "Pidl.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CairnDataObject final : public ComObject<CairnDataObject, ICairnDataObject, IDataObject> {
 public:
  CairnDataObject() = default;

  // Initialize: the items (a list of ours, copied) of the folder's level, and the owner window.
  // E_INVALIDARG without a folder or for a malformed or empty list, E_NOINTERFACE for a folder
  // that is not this extension's.
  STDMETHODIMP Initialize(HWND owner, ICairnFolder* folder, _ITEM* items) override;

  // GetData: CF_HDROP in global memory, the items' files written on the first call (later calls
  // give the same list and write nothing). E_NOTIMPL for other formats, E_UNEXPECTED when an
  // item cannot be written (one whose stored name is no plain file name is never written),
  // E_OUTOFMEMORY.
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  // GetDataHere, GetCanonicalFormatEtc, SetData, DAdvise, DUnadvise, EnumDAdvise: E_NOTIMPL.
  STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  // QueryGetData: S_OK for CF_HDROP and the marker as content in global memory, for every index
  // (-1) and no target device; E_NOTIMPL otherwise.
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* canonical) override;
  STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  // EnumFormatEtc: CF_HDROP and the marker, whichever the direction.
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  STDMETHODIMP DUnadvise(DWORD connection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** advises) override;

 private:
  friend ComObject;
  ~CairnDataObject() = default;
  // Writes the items' files (once); E_UNEXPECTED when one cannot be written.
  HRESULT WriteFiles(const std::vector<std::string>& paths);

  CPidl items_;
  // The level the items belong to, until their files have been written.
  std::optional<ArchiveOperations> source_;
  StoredText names_;  // how the items' archive keeps its names
  HWND owner_ = nullptr;
};

}  // namespace shell
}  // namespace cairn
