// CCairnFolder, the shell folder of an archive: one instance per level (the archive root lists
// snapshots, a snapshot lists its top-level objects, a folder inside lists its children). It
// answers the shell from the engine and carries the archive operations that the extension's
// other objects call directly (they hold an ICairnFolder and treat it as this object).
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ArchiveItems.h"
#include "ComObject.h"
#include "Pidl.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CCairnFolder final : public ComObject<CCairnFolder, ICairnFolder, IShellFolder, IPersistFolder> {
 public:
  CCairnFolder() = default;
  static CCairnFolder* From(ICairnFolder* folder) { return static_cast<CCairnFolder*>(folder); }

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
  // CreateViewObject: the archive view for IShellView and IDropTarget; E_NOINTERFACE for anything
  // else.
  STDMETHODIMP CreateViewObject(HWND owner, REFIID iid, void** object) override;
  // GetAttributesOf: ANDs each item's abilities into *attributes; E_INVALIDARG for a malformed item.
  STDMETHODIMP GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY items, SFGAOF* attributes) override;
  // GetUIObjectOf: checks the item count the interface needs (E_INVALIDARG), then E_NOINTERFACE
  // for the objects not yet built.
  STDMETHODIMP GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, UINT* reserved,
                             void** object) override;
  // GetDisplayNameOf: display or parsing name by the flags; E_INVALIDARG for other flags or a
  // malformed item.
  STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD item, SHGDNF flags, STRRET* name) override;
  // SetNameOf: renames a snapshot (the stored name keeps its number); E_FAIL when that fails.
  STDMETHODIMP SetNameOf(HWND owner, PCUITEMID_CHILD item, LPCWSTR name, SHGDNF flags,
                         PITEMID_CHILD* newItem) override;

  // --- Operations for the extension's other objects ---
  const std::string& ArchivePath() const { return archivePath_; }
  // True at the archive root, whose items are snapshots.
  bool AtRoot() const { return subPath_.Empty(); }
  LPCITEMIDLIST Contents() const { return contents_.Get(); }
  // The shell's absolute list of the archive file (the archive root); null when the folder was
  // initialised with a path alone.
  LPCITEMIDLIST Location() const { return location_.Empty() ? nullptr : location_.Get(); }
  // The items below the archive file that lead to this level.
  LPCITEMIDLIST SubPath() const { return subPath_.Get(); }
  // Rebuilds the contents list of this level from the archive.
  void BuildContents();
  // The object an item of this level stands for; null at the root or when it is not found.
  ComPtr<ICairnObject> FindObject(const Item& item);
  // The snapshot a root item stands for; null below the root or when it is not found.
  ComPtr<ICairnSnapShot> SnapshotOfItem(const Item& item);
  // A root item's snapshot comment (at most 4096 bytes); false without one.
  bool SnapshotComment(const Item& item, std::string* comment);
  // Sets a root item's snapshot comment and rebuilds the contents; true on success.
  bool SetSnapshotComment(const Item& item, const std::string& comment);
  // One single-level list per revision of an item's object, oldest first; the caller frees them
  // with the shell's allocator.
  std::vector<LPITEMIDLIST> RevisionList(const Item& item);
  // The Name of the last sub-path item; empty with at most one sub-path item.
  std::string CurrentFolderName() const;

  // A new snapshot named "Snapshot" with the objects of `add` added (moved top-level objects
  // found again through their stored links) and those of `remove` removed; true on success.
  bool CreateSnapshotFromLists(SAFEARRAY* add, SAFEARRAY* remove, HWND owner);
  // A new snapshot that adds every dropped file; false when the drop holds none.
  bool AddDroppedFiles(HDROP drop, HWND owner);
  // Below the root a new snapshot without the items' objects; at the root the items' snapshots
  // deleted in order. The result is that of the last deletion.
  bool DeleteItems(const Item* items, size_t count, HWND owner);
  // Writes a read-only copy of an item's latest revision to the temporary folder and opens it.
  bool DisplayItem(HWND owner, const Item& item);
  // Writes the archive's log to a temporary text file and opens it.
  void ShowArchiveLog(HWND owner);
  // Writes the object's latest revision to path by its kind (a folder with its children, a
  // compound document element by element); with `record` the path is deleted with the folder.
  bool ExtractObject(ICairnObject* object, const std::string& path, bool record, bool overwriteOlder,
                     bool overwriteNewer, bool restoreTimes);
  // True once per process when the folder class's Options\RunWizard value is set.
  static bool RunWizardCheck();

 private:
  friend class ComObject<CCairnFolder, ICairnFolder, IShellFolder, IPersistFolder>;
  ~CCairnFolder();
  // The level's children: walks the sub-path down to its last object. Null when any step fails.
  ComPtr<IEnumCairnObjects> LevelObjects(ICairnArchive* archive, bool* latestSnapshot);
  HRESULT NameOf(const Item& item, SHGDNF flags, STRRET* name);

  std::string archivePath_;
  CPidl location_;  // the shell's absolute list of the archive file
  CPidl subPath_;
  CPidl contents_;
  std::vector<std::string> temporaryFiles_;
  HRESULT comStart_ = E_FAIL;
};

}  // namespace shell
}  // namespace cairn
