#include "MenuWork.h"

#include <shlobj.h>

#include <optional>
#include <utility>

#include "ArchiveItems.h"
#include "BackgroundWork.h"
#include "ItemId.h"

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

// The restore dialog for one item of the archive root (a snapshot), run on this worker's thread,
// which shows and pumps it itself; E_NOTIMPL until the restore dialog is built.
HRESULT RunRestoreDialog(HWND, const ArchiveOperations&, LPCITEMIDLIST) { return E_NOTIMPL; }

void RestoreLatest(const ArchiveOperations& archive, HWND owner) {
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
    if (FAILED(RunRestoreDialog(owner, archive, reinterpret_cast<LPCITEMIDLIST>(one.data())))) MessageBeep(0);
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

bool StartRestoreLatest(const ArchiveOperations& archive, HWND owner) {
  return StartWork(WorkKind::kRestoreLatest, [archive, owner] { RestoreLatest(archive, owner); });
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
