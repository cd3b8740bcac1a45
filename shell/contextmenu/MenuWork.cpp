#include "MenuWork.h"

#include <shlobj.h>

#include <optional>
#include <utility>

#include "ArchiveItems.h"
#include "BackgroundWork.h"
#include "ItemId.h"
#include "RestoreDialog.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace {

// How long a menu's snapshot worker stays busy after its snapshot.
constexpr DWORD kSnapshotSettleMs = 1000;

// The name of the archive's last snapshot; empty when it has none or cannot be read.
std::string LastSnapshotName(const ArchiveOperations& archive) {
  ComPtr<ICairnArchive> reader = archive.ArchiveToRead();
  return reader ? SnapshotName(LatestSnapshot(reader.Get()).Get()) : std::string();
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

// The restore dialog for the snapshot (an item of the archive root), shown and pumped by this
// worker's thread; once the user chose Finish the archive's latest snapshot is restored. It has
// no owner: the window the command came from belongs to Explorer's thread. S_OK when the user
// cancelled or the restore succeeded.
HRESULT RunRestoreDialog(const ArchiveOperations& archive, LPCITEMIDLIST snapshot) {
  const ComPtr<IShellFolder> root = RootFolder(archive.ArchivePath());
  if (!root) return E_FAIL;
  RestoreRequest request;
  const INT_PTR result = ShowRestoreDialog(
      &request, nullptr, root.Get(), {snapshot},
      [archive](const RestoreRequest& chosen, const RestoreProgress& progress,
                const RestoreStop& stop) {
        return archive.RestoreLatestSnapshot(chosen.target, chosen.Options(), progress, stop);
      });
  if (result == 1) return request.restored ? S_OK : E_FAIL;
  // Cancelled, or a snapshot without objects: nothing to restore, and no dialog.
  return result == 0 && !request.items.empty() ? S_OK : E_FAIL;
}

void RestoreLatest(const ArchiveOperations& archive) {
  const std::string latest = LastSnapshotName(archive);
  if (latest.empty()) return;
  // The snapshot's item among the archive root's, its name compared without regard to case.
  std::vector<uint8_t> list = archive.LevelItems();
  list.resize(list.size() + kListTerminatorSize, 0);
  const std::optional<std::vector<Item>> snapshots = ReadList(list.data(), list.size(), kMaxContentsItems);
  if (!snapshots) return;
  for (const Item& item : *snapshots) {
    if (lstrcmpiA(std::string(item.name).c_str(), latest.c_str()) != 0) continue;
    std::vector<uint8_t> one(item.data, item.data + item.size);
    one.resize(one.size() + kListTerminatorSize, 0);
    if (FAILED(RunRestoreDialog(archive, reinterpret_cast<LPCITEMIDLIST>(one.data())))) MessageBeep(0);
    return;
  }
}

}  // namespace

bool StartMenuSnapshot(const ArchiveOperations& archive, HWND owner) {
  return StartWork(WorkKind::kSnapshot, [archive, owner] {
    archive.CreateSnapshotFromLists({}, {}, owner);
    Sleep(kSnapshotSettleMs);
  });
}

bool StartRestoreLatest(const ArchiveOperations& archive) {
  return StartWork(WorkKind::kRestoreLatest, [archive] { RestoreLatest(archive); });
}

bool StartMenuDelete(const ArchiveOperations& level, const std::string& storedName, HWND owner) {
  return StartWork(WorkKind::kDelete, [level, storedName, owner] {
    if (level.DeleteItems({storedName}, owner))
      SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, level.ArchivePath().c_str(), nullptr);
  });
}

bool StartMenuPaste(const ArchiveOperations& archive, std::vector<std::string> paths, HWND owner) {
  return StartWork(WorkKind::kPaste, [archive, paths = std::move(paths), owner] { archive.AddFiles(paths, owner); });
}

}  // namespace shell
}  // namespace cairn
