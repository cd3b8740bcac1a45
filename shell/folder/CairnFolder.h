// CCairnFolder, the shell folder of an archive: one instance per level (the archive root lists
// snapshots, a snapshot lists its top-level objects, a folder inside lists its children). It
// answers the shell from the engine through its copy of the level's archive operations, and the
// extension's own objects in this process through IArchiveFolder.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ArchiveFolder.h"
#include "ArchiveOperations.h"
#include "ComObject.h"
#include "FolderLevel.h"
#include "Pidl.h"
#include "TemporaryFiles.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CCairnFolder final
    : public ComObject<CCairnFolder, ICairnFolder, IShellFolder, IPersistFolder, IArchiveFolder> {
 public:
  CCairnFolder() = default;

  // FolderInitialize: the archive's path and a copy of the sub-path; E_INVALIDARG for a null
  // path or a malformed sub-path.
  STDMETHODIMP FolderInitialize(char* archivePath, _ITEM* subFolder) override;
  // FolderInitialize2: IPersistFolder::Initialize(folder), then a copy of the sub-path; S_OK
  // whatever the first step gave, E_INVALIDARG for a malformed sub-path.
  STDMETHODIMP FolderInitialize2(_ITEM* folder, _ITEM* subFolder) override;

  // GetClassID: the folder class.
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  // Initialize: keeps the absolute location and takes the archive's path from it; E_FAIL when
  // the location is no file-system path.
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE location) override;

  // ParseDisplayName: one folder item named by the text, not looked up; S_OK.
  STDMETHODIMP ParseDisplayName(HWND owner, IBindCtx* context, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* list,
                                ULONG* attributes) override;
  // EnumObjects: this level's items, rebuilt from the archive; an archive that cannot be opened
  // lists nothing.
  STDMETHODIMP EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** items) override;
  // BindToObject: the folder one or more levels below; E_INVALIDARG for a malformed or empty list.
  STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE list, IBindCtx* context, REFIID iid, void** object) override;
  // BindToStorage: E_NOTIMPL.
  STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE list, IBindCtx* context, REFIID iid, void** object) override;
  // CompareIDs: the last items of both lists by the column in the low 16 bits of lParam, as a
  // success code holding the signed result; E_INVALIDARG for a malformed or empty list.
  STDMETHODIMP CompareIDs(LPARAM lParam, PCUIDLIST_RELATIVE first, PCUIDLIST_RELATIVE second) override;
  // CreateViewObject: the archive view for IShellView and IDropTarget, the context menu for
  // IContextMenu; E_NOINTERFACE for anything else. On a thread without COM it starts COM there and
  // asks again. The first view a process makes may bring the welcome wizard, owned by the window.
  STDMETHODIMP CreateViewObject(HWND owner, REFIID iid, void** object) override;
  // GetAttributesOf: ANDs each item's abilities into *attributes; E_INVALIDARG for a malformed item.
  STDMETHODIMP GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY items, SFGAOF* attributes) override;
  // GetUIObjectOf: for one item its icon handler (IExtractIconA) or the archive's drop target
  // (IDropTarget), for one or more their context menu (IContextMenu) or data object (IDataObject:
  // at the root the first snapshot's contents); E_INVALIDARG for another count or a malformed
  // item, E_NOINTERFACE for anything else.
  STDMETHODIMP GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, UINT* reserved,
                             void** object) override;
  // GetDisplayNameOf: display or parsing name by the flags, of the folder itself for the empty
  // list; E_INVALIDARG for other flags or a malformed item.
  STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD item, SHGDNF flags, STRRET* name) override;
  // SetNameOf: renames a snapshot (the stored name keeps its number); E_FAIL when that fails.
  STDMETHODIMP SetNameOf(HWND owner, PCUITEMID_CHILD item, LPCWSTR name, SHGDNF flags,
                         PITEMID_CHILD* newItem) override;

  // IArchiveFolder (see ArchiveFolder.h).
  STDMETHODIMP GetLevel(FolderLevel* level) override;
  STDMETHODIMP GetDetailsOf(PCUITEMID_CHILD item, UINT column, SHELLDETAILS* details) override;
  STDMETHODIMP DisplayItem(HWND owner, PCUITEMID_CHILD item) override;
  STDMETHODIMP SetSnapshotComment(PCUITEMID_CHILD item, LPCSTR comment) override;

 private:
  friend ComObject;
  ~CCairnFolder();
  bool AtRoot() const { return level_.AtRoot(); }
  // Takes a new sub-path; the operations follow the level.
  HRESULT SetSubPath(LPCITEMIDLIST subPath);
  // Rebuilds the contents list of this level from the archive.
  void BuildContents();
  HRESULT NameOf(const Item& item, SHGDNF flags, STRRET* name);
  HRESULT ContextMenu(UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, void** object);
  HRESULT DataObject(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, void** object);
  // The name of the folder itself (an empty list): for display as the level above shows it; for
  // parsing the archive's path, or its file name, then the first item of the sub-path.
  HRESULT OwnNameOf(SHGDNF flags, STRRET* name);

  FolderLevel level_;
  ArchiveOperations operations_;  // of level_
  CPidl contents_;
  std::vector<TemporaryFile> temporaryFiles_;  // deleted with the folder
  HRESULT comStart_ = E_FAIL;  // COM started by the folder for a caller without it
  DWORD comThread_ = 0;        // on this thread
};

}  // namespace shell
}  // namespace cairn
