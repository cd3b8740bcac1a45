// The level's walks and the operations that only read the archive.
#include "ArchiveOperations.h"

#include <utility>

#include "AnsiText.h"
#include "ArchiveAccess.h"
#include "ArchiveItems.h"
#include "ItemId.h"
#include "KnownArchives.h"

namespace cairn {
namespace shell {
namespace {

constexpr size_t kMaxComment = 4096;

}  // namespace

ArchiveOperations::ArchiveOperations(std::string archivePath, std::vector<std::string> levelNames)
    : archivePath_(std::move(archivePath)), levelNames_(std::move(levelNames)) {}

std::string ArchiveOperations::CurrentFolderName() const {
  return levelNames_.size() > 1 ? levelNames_.back() : std::string();
}

ComPtr<ICairnArchive> ArchiveOperations::ArchiveToRead() const {
  ComPtr<ICairnArchive> archive;
  if (!archivePath_.empty() && FAILED(OpenArchiveReader(FromAnsi(archivePath_), &archive))) archive.Reset();
  return archive;
}

ComPtr<ICairnArchive> ArchiveOperations::ArchiveToWrite(DWORD waitMs, HRESULT* why) const {
  ComPtr<ICairnArchive> archive;
  const HRESULT hr = archivePath_.empty() ? E_INVALIDARG
                                          : OpenArchiveToWrite(FromAnsi(archivePath_), &archive, false, nullptr,
                                                               nullptr, waitMs);
  if (FAILED(hr))
    archive.Reset();
  else
    RecordKnownArchive(FromAnsi(archivePath_));
  if (why != nullptr) *why = hr;
  return archive;
}

ComPtr<IEnumCairnObjects> ArchiveOperations::LevelObjects(ICairnArchive* archive, bool* latestSnapshot) const {
  ComPtr<IEnumCairnObjects> objects;
  if (levelNames_.empty()) return objects;
  const std::string& snapshotName = levelNames_.front();
  ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive, snapshotName);
  if (!snapshot || FAILED(snapshot->EnumCairnObjects(0, objects.Out())) || !objects) return nullptr;
  const StoredText names = NamesOf(archive);
  if (latestSnapshot != nullptr) *latestSnapshot = SnapshotName(LatestSnapshot(archive).Get(), names) == snapshotName;
  for (size_t level = 1; level < levelNames_.size(); ++level) {
    const Bstr name = names.ToBstr(levelNames_[level]);
    ComPtr<ICairnObject> object;
    if (objects->NextByName(name.Get(), object.Out()) != S_OK || !object) return nullptr;
    ComPtr<ICairnRevision> revision = LatestRevision(object.Get());
    if (!revision || FAILED(revision->EnumCairnObjects(0, objects.Out())) || !objects) return nullptr;
  }
  return objects;
}

StoredText ArchiveOperations::Names() const { return NamesOf(ArchiveToRead().Get()); }

std::vector<uint8_t> ArchiveOperations::LevelItems(StoredText* shownNames) const {
  std::vector<uint8_t> items;
  ComPtr<ICairnArchive> archive = ArchiveToRead();
  if (!archive) return items;
  const StoredText names = NamesOf(archive.Get());
  if (shownNames != nullptr) *shownNames = names;
  if (AtRoot()) {
    ComPtr<IEnumSnapShots> snapshots;
    if (FAILED(archive->EnumSnapShots(0, snapshots.Out())) || !snapshots) return items;
    ComPtr<ICairnSnapShot> snapshot;
    while (snapshots->Next(1, snapshot.Out()) == S_OK && snapshot) {
      const std::vector<uint8_t> item = BuildSnapshotItem(snapshot.Get(), names);
      items.insert(items.end(), item.begin(), item.end());
    }
    return items;
  }
  bool latest = false;
  ComPtr<IEnumCairnObjects> objects = LevelObjects(archive.Get(), &latest);
  if (!objects) return items;
  // The top-level objects of the latest snapshot can be deleted (by a snapshot without them).
  const uint32_t extra = latest && levelNames_.size() == 1 ? kDeletableBit : 0;
  const std::vector<SnapshotStamp> stamps = SnapshotStamps(archive.Get());
  ComPtr<ICairnObject> object;
  while (objects->Next(0, object.Out()) == S_OK && object) {
    ComPtr<ICairnRevision> revision = LatestRevision(object.Get());
    if (!revision) break;
    const std::vector<uint8_t> item = BuildObjectItem(object.Get(), revision.Get(), stamps, names, extra);
    items.insert(items.end(), item.begin(), item.end());
  }
  return items;
}

ComPtr<ICairnObject> ArchiveOperations::FindObject(const std::string& storedName) const {
  ComPtr<ICairnObject> object;
  if (AtRoot()) return object;
  ComPtr<ICairnArchive> archive = ArchiveToRead();
  ComPtr<IEnumCairnObjects> objects = archive ? LevelObjects(archive.Get(), nullptr) : nullptr;
  const Bstr name = NamesOf(archive.Get()).ToBstr(storedName);
  if (objects && objects->NextByName(name.Get(), object.Out()) != S_OK) object.Reset();
  return object;
}

bool ArchiveOperations::SnapshotComment(const std::string& snapshotName, std::string* comment) const {
  if (!AtRoot()) return false;
  ComPtr<ICairnArchive> archive = ArchiveToRead();
  ComPtr<ICairnSnapShot> snapshot = archive ? SnapshotByName(archive.Get(), snapshotName) : nullptr;
  Bstr text;
  if (!snapshot || FAILED(snapshot->GetComment(text.Out())) || text.Get() == nullptr) return false;
  *comment = BstrAnsi(text.Get()).substr(0, kMaxComment);
  return true;
}

std::vector<std::vector<uint8_t>> ArchiveOperations::RevisionItems(const std::string& storedName) const {
  std::vector<std::vector<uint8_t>> items;
  ComPtr<ICairnObject> object = FindObject(storedName);
  ComPtr<IEnumCairnRevisions> revisions;
  if (!object || FAILED(object->EnumCairnRevisions(0, revisions.Out())) || !revisions) return items;
  ComPtr<ICairnArchive> archive = ArchiveToRead();
  const std::vector<SnapshotStamp> stamps = SnapshotStamps(archive.Get());
  const StoredText names = NamesOf(archive.Get());
  ComPtr<ICairnRevision> revision;
  while (revisions->Next(3, revision.Out()) == S_OK && revision)
    items.push_back(BuildObjectItem(object.Get(), revision.Get(), stamps, names));
  return items;
}

}  // namespace shell
}  // namespace cairn
