#include "ArchiveItems.h"

#include <objbase.h>

#include "AnsiText.h"
#include "ArchiveAccess.h"

namespace cairn {
namespace shell {
namespace {

uint64_t Join(unsigned long high, unsigned long low) { return static_cast<uint64_t>(high) << 32 | low; }
uint64_t Join(const FILETIME& time) { return Join(time.dwHighDateTime, time.dwLowDateTime); }

// Snapshots made by this version are stamped with their number instead of a clock time.
constexpr long kNumberStampOption = 0x10;
constexpr unsigned long kNumberStampHigh = 0x7FFFFFFF;

bool IsFolderRevision(ICairnRevision* revision) {
  STATSTG stat;
  return RevisionStat(revision, &stat) && (stat.reserved & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

ComPtr<ICairnRevision> LatestRevision(ICairnObject* object) {
  ComPtr<ICairnRevision> revision;
  if (object == nullptr || cairn::LatestRevision(object, &revision) != S_OK) revision.Reset();
  return revision;
}

bool RevisionStat(ICairnRevision* revision, STATSTG* stat) {
  *stat = STATSTG{};
  ComPtr<IStream> content;
  return revision != nullptr && SUCCEEDED(revision->GetContents(content.Out())) && content &&
         SUCCEEDED(content->Stat(stat, STATFLAG_NONAME));
}

StoredText NamesOf(ICairnArchive* archive) {
  ComPtr<ICairnArchiveAdmin> admin;
  long options = 0;
  return StoredText(archive != nullptr && SUCCEEDED(archive->QueryInterface(IID_ICairnArchiveAdmin, admin.OutVoid())) &&
                    SUCCEEDED(admin->GetOptions(&options)) && (options & kOptionUtf8Names) != 0);
}

ComPtr<ICairnSnapShot> SnapshotByName(ICairnArchive* archive, const std::string& name) {
  ComPtr<IEnumSnapShots> snapshots;
  ComPtr<ICairnSnapShot> snapshot;
  const Bstr text = NamesOf(archive).ToBstr(name);
  if (archive != nullptr && SUCCEEDED(archive->EnumSnapShots(0, snapshots.Out())) && snapshots &&
      snapshots->NextByName(text.Get(), snapshot.Out()) != S_OK)
    snapshot.Reset();
  return snapshot;
}

ComPtr<ICairnSnapShot> LatestSnapshot(ICairnArchive* archive) {
  ComPtr<IEnumSnapShots> snapshots;
  ComPtr<ICairnSnapShot> snapshot;
  if (archive != nullptr && SUCCEEDED(archive->EnumSnapShots(0, snapshots.Out())) && snapshots &&
      snapshots->Last(1, snapshot.Out()) != S_OK)
    snapshot.Reset();
  return snapshot;
}

std::string SnapshotName(ICairnSnapShot* snapshot, const StoredText& names) {
  Bstr name;
  return snapshot != nullptr && SUCCEEDED(snapshot->GetName(name.Out())) ? names.FromBstr(name.Get()) : std::string();
}

std::string ObjectName(ICairnObject* object, const StoredText& names) {
  Bstr name;
  return object != nullptr && SUCCEEDED(object->GetName(name.Out())) ? names.FromBstr(name.Get()) : std::string();
}

std::vector<SnapshotStamp> SnapshotStamps(ICairnArchive* archive) {
  std::vector<SnapshotStamp> stamps;
  ComPtr<IEnumSnapShots> snapshots;
  if (archive == nullptr || FAILED(archive->EnumSnapShots(0, snapshots.Out())) || !snapshots) return stamps;
  const StoredText names = NamesOf(archive);
  ComPtr<ICairnSnapShot> snapshot;
  while (snapshots->Next(1, snapshot.Out()) == S_OK && snapshot) {
    SnapshotStamp entry{0, 0, SnapshotName(snapshot.Get(), names)};
    long number = 0, options = 0;
    unsigned long high = 0, low = 0;
    snapshot->GetSnapShot(&number);
    entry.number = number;
    if (SUCCEEDED(snapshot->GetCreationTime(&high, &low))) entry.created = Join(high, low);
    if (SUCCEEDED(snapshot->GetOptions(&options)) && (options & kNumberStampOption) != 0)
      entry.stamp = Join(kNumberStampHigh, static_cast<unsigned long>(number));
    else
      entry.stamp = entry.created;
    stamps.push_back(std::move(entry));
  }
  return stamps;
}

bool AnyFolder(IEnumCairnObjects* objects) {
  if (objects == nullptr) return false;
  ComPtr<ICairnObject> object;
  while (objects->Next(0, object.Out()) == S_OK && object) {
    ComPtr<IEnumCairnRevisions> revisions;
    ComPtr<ICairnRevision> first;
    if (SUCCEEDED(object->EnumCairnRevisions(0, revisions.Out())) && revisions &&
        revisions->Next(0, first.Out()) == S_OK && IsFolderRevision(first.Get()))
      return true;
  }
  return false;
}

std::vector<uint8_t> BuildSnapshotItem(ICairnSnapShot* snapshot, const StoredText& names) {
  ItemFields fields;
  fields.attributes = FILE_ATTRIBUTE_DIRECTORY | kDeletableBit | kRenamableBit;
  ComPtr<IEnumCairnObjects> objects;
  if (SUCCEEDED(snapshot->EnumCairnObjects(0, objects.Out())) && AnyFolder(objects.Get()))
    fields.attributes |= kHasSubfoldersBit;
  long number = 0;
  unsigned long high = 0, low = 0;
  if (SUCCEEDED(snapshot->GetSnapShot(&number))) fields.revision = number;
  if (SUCCEEDED(snapshot->GetCreationTime(&high, &low))) fields.creationTime = fields.modificationTime = Join(high, low);

  Bstr name, comment;
  if (FAILED(snapshot->GetName(name.Out())) || name.Get() == nullptr) return BuildUnknownItem(fields);
  // The engine answers an empty text for a snapshot without a comment: no second string then.
  const std::string second = SUCCEEDED(snapshot->GetComment(comment.Out())) ? names.FromBstr(comment.Get()) : std::string();
  const std::string stored = names.FromBstr(name.Get());
  return second.empty() ? BuildItem(fields, stored) : BuildItem(fields, stored, std::string_view(second));
}

std::vector<uint8_t> BuildObjectItem(ICairnObject* object, ICairnRevision* revision,
                                     const std::vector<SnapshotStamp>& snapshots, const StoredText& names,
                                     uint32_t extraAttributes) {
  ItemFields fields;
  STATSTG stat;
  if (RevisionStat(revision, &stat)) {
    fields.itemSize = stat.cbSize.QuadPart;
    fields.modificationTime = Join(stat.mtime);
    fields.creationTime = Join(stat.ctime);
    fields.accessTime = Join(stat.atime);
    fields.attributes = stat.reserved;
  }
  if ((fields.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ComPtr<IEnumCairnObjects> children;
    if (SUCCEEDED(revision->EnumCairnObjects(0, children.Out())) && AnyFolder(children.Get()))
      fields.attributes |= kHasSubfoldersBit;
  }
  fields.attributes |= extraAttributes;
  long number = 0;
  if (SUCCEEDED(revision->GetRevision(&number))) fields.revision = number;

  const SnapshotStamp* createdIn = nullptr;
  unsigned long high = 0, low = 0;
  if (SUCCEEDED(revision->GetAsAt(&high, &low))) {
    const uint64_t asAt = Join(high, low);
    for (const SnapshotStamp& snapshot : snapshots)
      if (snapshot.stamp >= asAt) {
        createdIn = &snapshot;
        break;
      }
  }
  Bstr name;
  if (FAILED(object->GetName(name.Out())) || name.Get() == nullptr) return BuildUnknownItem(fields);
  if (createdIn == nullptr) return BuildItem(fields, names.FromBstr(name.Get()));
  fields.lastSnapShotChanged = createdIn->number;
  return BuildItem(fields, names.FromBstr(name.Get()), std::string_view(createdIn->name));
}

}  // namespace shell
}  // namespace cairn
