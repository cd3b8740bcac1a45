// Restore: the restore dialog for a selection, and for the archive's latest snapshot on a worker
// of its own. Both read the dialog's result the same way.
#include <optional>

#include "ArchiveItems.h"
#include "BackgroundWork.h"
#include "ItemId.h"
#include "ItemVerbs.h"
#include "RestoreDialog.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace {

// Shows the dialog for the items of the folder and runs the work once the user chose Finish.
// True when that restore succeeded, or the user cancelled a dialog that had something to
// restore; false when it failed, or when there was nothing to restore (no dialog was shown).
bool RunRestoreDialog(HWND owner, IShellFolder* folder, const std::vector<LPCITEMIDLIST>& items,
                      const RestoreWork& work) {
  RestoreRequest request;
  const INT_PTR result = ShowRestoreDialog(&request, owner, folder, items, work);
  if (result == 1) return request.restored;
  return result == 0 && !request.items.empty();
}

// The archive's root folder, made on this thread for the restore dialog, which reads the
// snapshot's contents through it; null when it cannot be made.
ComPtr<IShellFolder> RootFolder(const std::string& archivePath) {
  ComPtr<ICairnFolder> folder;
  ComPtr<IShellFolder> root;
  if (SUCCEEDED(CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnFolder,
                                 folder.OutVoid())) &&
      SUCCEEDED(folder->FolderInitialize(const_cast<char*>(archivePath.c_str()), nullptr)))
    folder.As(&root);
  return root;
}

// The root item of the archive's last snapshot, its name compared without regard to case, as a
// list of its own (with the terminator); empty when there is none.
std::vector<uint8_t> LatestSnapshotItem(const ArchiveOperations& archive) {
  ComPtr<ICairnArchive> reader = archive.ArchiveToRead();
  const std::string latest =
      reader ? SnapshotName(LatestSnapshot(reader.Get()).Get(), NamesOf(reader.Get())) : std::string();
  if (latest.empty()) return {};
  std::vector<uint8_t> list = archive.LevelItems();
  list.resize(list.size() + kListTerminatorSize, 0);
  const std::optional<std::vector<Item>> snapshots = ReadList(list.data(), list.size(), kMaxContentsItems);
  if (!snapshots) return {};
  for (const Item& item : *snapshots) {
    if (lstrcmpiA(std::string(item.name).c_str(), latest.c_str()) != 0) continue;
    std::vector<uint8_t> one(item.data, item.data + item.size);
    one.resize(one.size() + kListTerminatorSize, 0);
    return one;
  }
  return {};
}

// On the worker: the dialog has no owner, as the window the command came from belongs to
// another thread; this thread shows and pumps it.
void RestoreLatest(const ArchiveOperations& archive) {
  const std::vector<uint8_t> snapshot = LatestSnapshotItem(archive);
  if (snapshot.empty()) return;
  const ComPtr<IShellFolder> root = RootFolder(archive.ArchivePath());
  const bool done =
      root && RunRestoreDialog(nullptr, root.Get(), {reinterpret_cast<LPCITEMIDLIST>(snapshot.data())},
                               [archive](const RestoreRequest& chosen, const RestoreProgress& progress,
                                         const RestoreStop& stop) {
                                 return archive.RestoreLatestSnapshot(chosen.target, chosen.Options(), progress, stop);
                               });
  if (!done) MessageBeep(0);
}

}  // namespace

bool RestoreSelection(const Selection& selection, HWND owner) {
  const ArchiveOperations operations = selection.Level().Operations();
  const std::vector<std::string> names = selection.StoredNames();
  return RunRestoreDialog(owner, selection.Folder(), selection.Lists(),
                          [operations, names](const RestoreRequest& chosen, const RestoreProgress& progress,
                                              const RestoreStop& stop) {
                            return operations.RestoreItems(names, chosen.target, chosen.Options(), progress, stop);
                          });
}

bool StartRestoreLatest(const ArchiveOperations& archive) {
  return StartWork(WorkKind::kRestoreLatest, [archive] { RestoreLatest(archive); });
}

}  // namespace shell
}  // namespace cairn
