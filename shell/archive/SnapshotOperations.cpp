// The operations that change the archive: new snapshots from lists of paths (files added, dropped
// or pasted; objects deleted), deleting snapshots, renaming them and their comments.
#include "ArchiveOperations.h"

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
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The text of a path in the code page, as the shell links that find moved items keep it; empty
// for a path the code page cannot hold.
std::string AnsiPath(const std::wstring& path) {
  std::string ansi = ToAnsi(path.c_str());
  return FromAnsi(ansi) == path ? ansi : std::string();
}

}  // namespace

bool ArchiveOperations::RenameSnapshot(const std::string& oldName, int32_t number, const std::string& newName) const {
  if (!AtRoot()) return false;
  ComPtr<ICairnArchive> archive = ArchiveToWrite(kWindowWriterWaitMs);
  if (!archive) return false;
  ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive.Get(), oldName);
  const Bstr text = NamesOf(archive.Get()).ToBstr(RenamedSnapshotName(newName, number));
  return snapshot && SUCCEEDED(snapshot->SetName(text.Get()));
}

bool ArchiveOperations::SetSnapshotComment(const std::string& snapshotName, const std::string& comment) const {
  if (!AtRoot()) return false;
  ComPtr<ICairnArchive> archive = ArchiveToWrite(kWindowWriterWaitMs);
  ComPtr<ICairnSnapShot> snapshot = archive ? SnapshotByName(archive.Get(), snapshotName) : nullptr;
  const Bstr text = AnsiBstr(comment);
  return snapshot && SUCCEEDED(snapshot->SetComment(text.Get()));
}

bool ArchiveOperations::CreateSnapshotFromLists(const std::vector<std::wstring>& add,
                                                const std::vector<std::string>& remove, HWND owner) const {
  ComPtr<ICairnArchive> archive = ArchiveToWrite();
  if (!archive) return false;
  ComPtr<ICairnSnapShot> latest = LatestSnapshot(archive.Get());
  const Bstr snapshotName = AnsiBstr(ShellString(IDS_SNAPSHOT_NAME));
  ComPtr<ICairnArchiveAdmin> admin;
  archive.As(&admin);
  LocationTracker tracker(admin.Get(), owner);

  std::vector<std::wstring> added = add;
  for (const std::wstring& path : added) {
    const std::string ansi = AnsiPath(path);
    if (!ansi.empty()) tracker.Record(ansi);
  }
  ComPtr<IEnumCairnObjects> objects;
  if (latest && SUCCEEDED(latest->EnumCairnObjects(0, objects.Out())) && objects) {
    ComPtr<ICairnObject> object;
    while (objects->Next(0, object.Out()) == S_OK && object) {
      Bstr stored;
      if (FAILED(object->GetName(stored.Out())) || stored.Get() == nullptr || Exists(std::wstring(stored.Text())))
        continue;
      // The links are kept by paths in the code page: a name it cannot hold is never found again.
      const std::string name = BstrAnsi(stored.Get());
      if (name.empty() || FromAnsi(name) != stored.Text()) continue;
      // A link that resolves to nothing new (the platform may answer with the old path) adds
      // nothing: a path that does not exist would fail the snapshot.
      const std::string moved = tracker.Resolve(name);
      if (!moved.empty() && moved != name && Exists(moved)) added.push_back(FromAnsi(moved));
    }
  }
  const StoredText names = NamesOf(archive.Get());
  std::vector<std::wstring> removed;
  for (const std::string& storedName : remove) removed.push_back(names.Wide(storedName));
  const SafeArray addList = BstrArray(added), removeList = BstrArray(removed);
  if (!addList || !removeList) return false;
  ComPtr<ICairnSnapShot> created;
  return SUCCEEDED(archive->CreateSnapShot(snapshotName.Get(), addList.Get(), removeList.Get(), created.Out()));
}

bool ArchiveOperations::AddFiles(const std::vector<std::wstring>& paths, HWND owner) const {
  return !paths.empty() && CreateSnapshotFromLists(paths, {}, owner);
}

bool ArchiveOperations::DeleteItems(const std::vector<std::string>& storedNames, HWND owner) const {
  if (storedNames.empty()) return false;
  if (!AtRoot()) return CreateSnapshotFromLists({}, storedNames, owner);
  ComPtr<ICairnArchive> archive = ArchiveToWrite();
  if (!archive) return false;
  bool deleted = false;
  for (const std::string& storedName : storedNames) {
    ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive.Get(), storedName);
    Bstr name;
    deleted = snapshot && SUCCEEDED(snapshot->GetName(name.Out())) && SUCCEEDED(archive->DeleteSnapShot(name.Get()));
  }
  return deleted;
}

}  // namespace shell
}  // namespace cairn
