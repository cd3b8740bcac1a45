// The operations that change the archive: new snapshots from lists of paths (files added, dropped
// or pasted; objects deleted), deleting snapshots, renaming them and their comments.
#include "ArchiveOperations.h"

#include <cstring>

#include "AnsiText.h"
#include "ArchiveItems.h"
#include "ItemNames.h"
#include "LocationTracker.h"
#include "SafeArray.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

SafeArray PathList(const std::vector<std::string>& paths) {
  std::vector<std::wstring> wide;
  for (const std::string& path : paths) wide.push_back(FromAnsi(path));
  return BstrArray(wide);
}

// True when the block is a DROPFILES header followed, inside the block, by its list of names
// ending with an empty name: what the platform's DragQueryFile reads from it.
bool IsSoundDropList(const uint8_t* data, size_t size) {
  DROPFILES header;
  if (size < sizeof header) return false;
  std::memcpy(&header, data, sizeof header);
  const size_t unit = header.fWide ? sizeof(wchar_t) : 1;
  if (header.pFiles < sizeof header || header.pFiles >= size) return false;
  size_t length = 0;  // of the name being read
  for (size_t at = header.pFiles; at + unit <= size; at += unit) {
    const bool zero = data[at] == 0 && (unit == 1 || data[at + 1] == 0);
    if (!zero) {
      ++length;
      continue;
    }
    if (length == 0) return true;
    length = 0;
  }
  return false;
}

std::vector<std::string> DropPaths(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    char path[MAX_PATH] = {};
    // Some platforms count an empty drop list as one empty name.
    if (DragQueryFileA(drop, i, path, MAX_PATH) > 0) paths.push_back(path);
  }
  return paths;
}

}  // namespace

std::optional<std::vector<std::string>> DroppedPaths(HGLOBAL block) {
  const SIZE_T size = block != nullptr ? GlobalSize(block) : 0;
  const auto* data = size > 0 ? static_cast<const uint8_t*>(GlobalLock(block)) : nullptr;
  if (data == nullptr) return std::nullopt;
  const bool sound = IsSoundDropList(data, size);
  GlobalUnlock(block);
  if (!sound) return std::nullopt;
  return DropPaths(static_cast<HDROP>(block));
}

bool ArchiveOperations::RenameSnapshot(const std::string& oldName, int32_t number, const std::string& newName) const {
  if (!AtRoot()) return false;
  ComPtr<ICairnArchive> archive = ArchiveToWrite(kWindowWriterWaitMs);
  if (!archive) return false;
  ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive.Get(), oldName);
  const Bstr text = AnsiBstr(RenamedSnapshotName(newName, number));
  return snapshot && SUCCEEDED(snapshot->SetName(text.Get()));
}

bool ArchiveOperations::SetSnapshotComment(const std::string& snapshotName, const std::string& comment) const {
  if (!AtRoot()) return false;
  ComPtr<ICairnArchive> archive = ArchiveToWrite(kWindowWriterWaitMs);
  ComPtr<ICairnSnapShot> snapshot = archive ? SnapshotByName(archive.Get(), snapshotName) : nullptr;
  const Bstr text = AnsiBstr(comment);
  return snapshot && SUCCEEDED(snapshot->SetComment(text.Get()));
}

bool ArchiveOperations::CreateSnapshotFromLists(const std::vector<std::string>& add,
                                                const std::vector<std::string>& remove, HWND owner) const {
  ComPtr<ICairnArchive> archive = ArchiveToWrite();
  if (!archive) return false;
  ComPtr<ICairnSnapShot> latest = LatestSnapshot(archive.Get());
  const Bstr snapshotName = AnsiBstr(ShellString(IDS_SNAPSHOT_NAME));
  ComPtr<ICairnArchiveAdmin> admin;
  archive.As(&admin);
  LocationTracker tracker(admin.Get(), owner);

  std::vector<std::string> added = add;
  for (const std::string& path : added) tracker.Record(path);
  ComPtr<IEnumCairnObjects> objects;
  if (latest && SUCCEEDED(latest->EnumCairnObjects(0, objects.Out())) && objects) {
    ComPtr<ICairnObject> object;
    while (objects->Next(0, object.Out()) == S_OK && object) {
      const std::string name = ObjectName(object.Get());
      if (name.empty() || Exists(name)) continue;
      // A link that resolves to nothing new (the platform may answer with the old path) adds
      // nothing: a path that does not exist would fail the snapshot.
      const std::string moved = tracker.Resolve(name);
      if (!moved.empty() && moved != name && Exists(moved)) added.push_back(moved);
    }
  }
  const SafeArray addList = PathList(added), removeList = PathList(remove);
  if (!addList || !removeList) return false;
  ComPtr<ICairnSnapShot> created;
  return SUCCEEDED(archive->CreateSnapShot(snapshotName.Get(), addList.Get(), removeList.Get(), created.Out()));
}

bool ArchiveOperations::AddFiles(const std::vector<std::string>& paths, HWND owner) const {
  return !paths.empty() && CreateSnapshotFromLists(paths, {}, owner);
}

bool ArchiveOperations::AddDroppedFiles(HDROP drop, HWND owner) const {
  return drop != nullptr && AddFiles(DropPaths(drop), owner);
}

bool ArchiveOperations::DeleteItems(const std::vector<std::string>& storedNames, HWND owner) const {
  if (storedNames.empty()) return false;
  if (!AtRoot()) return CreateSnapshotFromLists({}, storedNames, owner);
  ComPtr<ICairnArchive> archive = ArchiveToWrite();
  if (!archive) return false;
  bool deleted = false;
  for (const std::string& storedName : storedNames) {
    ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive.Get(), storedName);
    const Bstr name = AnsiBstr(SnapshotName(snapshot.Get()));
    deleted = snapshot && SUCCEEDED(archive->DeleteSnapShot(name.Get()));
  }
  return deleted;
}

}  // namespace shell
}  // namespace cairn
