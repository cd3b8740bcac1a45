// IArchiveFolder: what the extension's own objects in this process ask of an archive's folder
// beside IShellFolder. It is not in the type library and never crosses an apartment: the view
// asks it on the browser's thread, and hands its workers plain values.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "ComPtr.h"
#include "FolderLevel.h"

namespace cairn {
namespace shell {

struct IArchiveFolder : public IUnknown {
  // The level the folder shows, as values. S_OK; E_POINTER for a null level.
  virtual HRESULT STDMETHODCALLTYPE GetLevel(FolderLevel* level) = 0;
  // As IShellFolder2::GetDetailsOf: for a null item the column's title, else the item's text in
  // that column, in the task allocator as STRRET_WSTR; fmt is the column's alignment (LVCFMT_*),
  // cxChar 0 (the view keeps its widths). E_INVALIDARG past the level's last column or for a
  // malformed item.
  virtual HRESULT STDMETHODCALLTYPE GetDetailsOf(PCUITEMID_CHILD item, UINT column, SHELLDETAILS* details) = 0;
  // Writes a read-only copy of the item's latest revision to the temporary folder and opens it;
  // the folder deletes the copy when it goes. S_OK when the copy was opened, E_FAIL otherwise,
  // E_INVALIDARG for a malformed item.
  virtual HRESULT STDMETHODCALLTYPE DisplayItem(HWND owner, PCUITEMID_CHILD item) = 0;
  // Sets the comment of a snapshot (an item of the archive root) and rebuilds the level's
  // contents. S_OK; E_FAIL when the engine refuses it or the folder is not the root;
  // E_INVALIDARG for a malformed item or no text.
  virtual HRESULT STDMETHODCALLTYPE SetSnapshotComment(PCUITEMID_CHILD item, LPCSTR comment) = 0;
};

}  // namespace shell
}  // namespace cairn

// {16E2A8FA-C374-44CE-9394-BF35E98EE1D4}
__CRT_UUID_DECL(cairn::shell::IArchiveFolder, 0x16e2a8fa, 0xc374, 0x44ce, 0x93, 0x94, 0xbf, 0x35, 0xe9, 0x8e, 0xe1,
                0xd4)

namespace cairn {
namespace shell {

// The level an archive's folder shows, for the extension's objects that are handed the folder:
// E_NOINTERFACE when it is no folder of ours, E_INVALIDARG for none.
inline HRESULT LevelOf(IUnknown* folder, FolderLevel* level) {
  if (folder == nullptr) return E_INVALIDARG;
  ComPtr<IArchiveFolder> archiveFolder;
  const HRESULT hr = folder->QueryInterface(__uuidof(IArchiveFolder), archiveFolder.OutVoid());
  return FAILED(hr) ? hr : archiveFolder->GetLevel(level);
}

}  // namespace shell
}  // namespace cairn
