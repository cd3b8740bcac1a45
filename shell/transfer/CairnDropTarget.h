// CairnDropTarget, the drop handler of archive files and of the Send To entry "Cairn Archive":
// files dropped onto an archive file (or onto an item of an archive's folder) are added to the
// archive as a new snapshot; files sent to the entry go to an archive beside the first of them,
// named after it and made when missing. Items of an archive (the extension's marker format) are
// refused. The files are added on a worker (BackgroundWork.h).
#pragma once

#include <windows.h>
#include <ole2.h>

#include <optional>
#include <string>
#include <vector>

#include "ArchiveOperations.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CairnDropTarget final : public ComObject<CairnDropTarget, ICairnDropTarget, IDropTarget, IPersistFile> {
 public:
  CairnDropTarget() = default;

  // Initialize: drops go to the folder's archive, or with a view to the view (which adds them to
  // its folder's archive and shows the new snapshot). E_INVALIDARG with neither, E_NOINTERFACE
  // for a folder or view that is not this extension's.
  STDMETHODIMP Initialize(ICairnFolder* folder, ICairnView* view) override;

  // DragEnter: DROPEFFECT_NONE for items of an archive, else DROPEFFECT_COPY, kept for DragOver.
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
  // DragOver: the effect chosen at DragEnter. DragLeave: S_OK.
  STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
  STDMETHODIMP DragLeave() override;
  // Drop: the files (CF_HDROP) added on a worker, DROPEFFECT_COPY. E_FAIL for items of an
  // archive, for data without a sound file list (with a beep), for a file that is not an archive,
  // and when the worker cannot start (a beep) or Send To's archive cannot be had.
  STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

  // GetClassID: the drop target's class. IsDirty: S_FALSE. Save, GetCurFile: E_FAIL.
  // SaveCompleted: S_OK.
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  // Load: the file things are dropped on; not kept for the Send To entry, or once a folder is set.
  STDMETHODIMP Load(LPCOLESTR name, DWORD mode) override;
  STDMETHODIMP Save(LPCOLESTR name, BOOL remember) override;
  STDMETHODIMP SaveCompleted(LPCOLESTR name) override;
  STDMETHODIMP GetCurFile(LPOLESTR* name) override;

 private:
  friend ComObject;
  ~CairnDropTarget() = default;
  // The archive drops go to: the folder's, or the file's when it names an archive.
  std::optional<ArchiveOperations> Target() const;
  // Files sent to the Send To entry: into the archive named after the first, made when missing.
  bool SendTo(std::vector<std::wstring> paths) const;

  std::optional<ArchiveOperations> folder_;  // the level of the folder given
  ComPtr<IDropTarget> view_;                 // the view given
  std::string targetPath_;                   // the file dropped on; empty when none
  DWORD effect_ = DROPEFFECT_NONE;
};

// The archive that files sent to the Send To entry go to: beside the first of them, named after
// it without its extension, with the archive extension (C:\Docs\report.txt gives
// C:\Docs\report.crn; C:\report.txt gives C:\report.crn).
std::string SendToArchivePath(const std::string& firstPath);

}  // namespace shell
}  // namespace cairn
