// CairnArchive: one open archive file, shared through the Running Object Table.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <memory>

#include "ArchiveHeap.h"
#include "ComObject.h"
#include "RotRegistration.h"
#include "cairn.h"

namespace cairn {

class CairnArchive final : public DualInterface<ICairnArchive>,
                           public DualInterface<ICairnArchiveAdmin>,
                           public DualInterface<ICairnArchiveFilter>,
                           public IPersistFile {
 public:
  // The class table's creation function.
  static HRESULT Create(REFIID iid, void** object);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override;

  // ICairnArchive
  STDMETHODIMP EnumSnapShots(ULONG flags, IEnumSnapShots** enumerator) override;
  STDMETHODIMP CreateSnapShot(BSTR name, SAFEARRAY* addObjects, SAFEARRAY* deleteObjects,
                              ICairnSnapShot** snapshot) override;
  // DeleteSnapShot: marks the oldest snapshot with this stored name (any letter case) deleted.
  // S_OK also when none matches.
  STDMETHODIMP DeleteSnapShot(BSTR name) override;

  // ICairnArchiveAdmin
  STDMETHODIMP GetStream(BSTR name, IStream** stream) override;
  STDMETHODIMP CommitStream(BSTR name, IStream* stream) override;
  STDMETHODIMP GetObject(BSTR name, ICairnObject** object, LONG create) override;
  STDMETHODIMP GetLogStream(IStream** stream) override;
  STDMETHODIMP CommitLogStream(IStream* stream) override;
  STDMETHODIMP InterpretLogStream(IStream** stream) override;
  // SetOptions: stores the word as it is; GetOptions returns it.
  STDMETHODIMP SetOptions(LONG options) override;
  STDMETHODIMP GetOptions(LONG* options) override;
  // GetArchiveDetails: the free-space report (total, largest, smallest, number of blocks).
  STDMETHODIMP GetArchiveDetails(LONG* free, LONG* largest, LONG* smallest, LONG* segments) override;

  // ICairnArchiveFilter
  STDMETHODIMP GetExclList(BSTR* list) override;
  STDMETHODIMP GetInclList(BSTR* list) override;
  STDMETHODIMP SetInclList(BSTR list) override;
  STDMETHODIMP SetExclList(BSTR list) override;
  STDMETHODIMP NotFiltered(BSTR fileName) override;

  // IPersistFile
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  // IsDirty: S_FALSE, since every change is already in the mapped file.
  STDMETHODIMP IsDirty() override;
  // Load: maps the archive (STGM_CREATE creates it, STGM_WRITE or STGM_READWRITE make it
  // writable) and registers the object in the Running Object Table under the path's moniker.
  // E_FAIL when the file cannot be opened or was written by a newer version (after telling the
  // user); E_ACCESSDENIED when it is not an archive.
  STDMETHODIMP Load(LPCOLESTR fileName, DWORD mode) override;
  STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override;
  STDMETHODIMP SaveCompleted(LPCOLESTR fileName) override;
  // GetCurFile: E_FAIL; the archive does not report its file this way.
  STDMETHODIMP GetCurFile(LPOLESTR* fileName) override;

 private:
  CairnArchive() = default;
  ~CairnArchive() = default;
  // Why a writing call cannot go ahead: not loaded, read-only or closed after a failed growth.
  HRESULT CheckWritable() const;

  RefCount refs_;
  std::unique_ptr<ArchiveHeap> heap_;
  RotRegistration rot_;
};

}  // namespace cairn
