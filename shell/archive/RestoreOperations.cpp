// Restoring from Explorer: one object (the restore object routine), the chosen items of a level,
// or the latest snapshot, written through the restore writer cn uses too, with their progress
// counted.
#include "ArchiveOperations.h"

#include <utility>

#include "AnsiText.h"
#include "ArchiveItems.h"
#include "ItemNames.h"
#include "RestoreNames.h"
#include "RestoreWriter.h"
#include "StoredNames.h"

namespace cairn {
namespace shell {
namespace {

// Counting what a restore will write walks every object below the ones restored. A damaged
// archive's lists could make that walk endless or explode; past these bounds the count is an
// estimate (the progress then stops short of the end until the restore is done).
constexpr int kMaxCountDepth = 130;  // a stored path of 259 characters has no more levels
constexpr size_t kMaxCounted = 200000;

// One top-level object to write, and where: its stored name and the path as the archive keeps
// its names (a target is taken into that form), so that a base name joins the target unchanged.
struct Planned {
  ComPtr<ICairnRevision> revision;
  std::string storedName;
  std::string path;
};

RestoreOptions WriterOptions(const ExtractOptions& options) {
  RestoreOptions rules;
  // Both overwrite options without times: whatever stands there is replaced without a look.
  rules.compareExisting = !(options.overwriteOlder && options.overwriteNewer && !options.restoreTimes);
  rules.overwriteOlder = options.overwriteOlder;
  rules.overwriteNewer = options.overwriteNewer;
  rules.restoreTimes = options.restoreTimes;
  rules.skipFolderNotMade = true;
  return rules;
}

bool IsFolder(ICairnRevision* revision) {
  STATSTG stat;
  return RevisionStat(revision, &stat) && (stat.reserved & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where a top-level object goes: the target itself when it is the only one written there and no
// folder, else below the target under its base name, which must be a name a restore may write.
// Without a target, the full path it was archived from. False when it may not be written.
bool PlanObject(ICairnObject* object, const std::string& target, bool several, const StoredText& names,
                std::vector<Planned>* plan) {
  Planned planned;
  planned.revision = LatestRevision(object);
  planned.storedName = ObjectName(object, names);
  if (!planned.revision || planned.storedName.empty()) return false;
  if (target.empty()) {
    if (!IsAbsoluteTarget(planned.storedName)) return false;
    planned.path = planned.storedName;
  } else if (several || IsFolder(planned.revision.Get())) {
    const std::string base = BaseName(planned.storedName);
    if (!IsSafeFileName(names.Wide(base))) return false;
    planned.path = PathBelow(target, base);
  } else {
    planned.path = target;
  }
  plan->push_back(std::move(planned));
  return true;
}

// The top-level objects of a snapshot, in order, until one cannot be written.
bool PlanSnapshot(ICairnSnapShot* snapshot, const std::string& target, const StoredText& names,
                  std::vector<Planned>* plan) {
  ComPtr<IEnumCairnObjects> objects;
  if (FAILED(snapshot->EnumCairnObjects(0, objects.Out())) || !objects) return false;
  std::vector<ComPtr<ICairnObject>> all;
  ComPtr<ICairnObject> object;
  HRESULT hr;
  while ((hr = objects->Next(0, object.Out())) == S_OK && object) all.push_back(std::move(object));
  for (const ComPtr<ICairnObject>& each : all)
    if (!PlanObject(each.Get(), target, all.size() > 1, names, plan)) return false;
  // A damaged archive: the snapshot's objects cannot all be had.
  return SUCCEEDED(hr);
}

// What writing the revision will write or pass over: one for a file or compound document, the
// sum of its children's for a folder.
size_t CountToWrite(ICairnRevision* revision, const std::wstring& storedName, int depth, size_t* budget) {
  if (*budget == 0) return 0;
  --*budget;
  if (!IsFolder(revision)) return 1;
  ComPtr<IEnumCairnObjects> children;
  if (depth >= kMaxCountDepth || FAILED(revision->EnumCairnObjects(0, children.Out())) || !children) return 0;
  size_t count = 0;
  ComPtr<ICairnObject> child;
  while (children->Next(0, child.Out()) == S_OK && child) {
    Bstr name;
    ComPtr<ICairnRevision> latest = LatestRevision(child.Get());
    // A child not named below its folder is damage the writer refuses: nothing of it is written.
    if (!latest || FAILED(child->GetName(name.Out())) || !IsChildName(storedName, std::wstring(name.Text())))
      continue;
    count += CountToWrite(latest.Get(), name.Text(), depth + 1, budget);
  }
  return count;
}

// Writes what was planned, counting each object written or passed over.
bool WritePlan(const std::vector<Planned>& plan, const StoredText& names, const ExtractOptions& options,
               const RestoreProgress& progress, const RestoreStop& stop) {
  size_t total = 0, done = 0, budget = kMaxCounted;
  for (const Planned& planned : plan)
    total += CountToWrite(planned.revision.Get(), names.Wide(planned.storedName), 0, &budget);
  const auto report = [&](RestoreEvent event, const std::wstring&) {
    if (event != RestoreEvent::kWritten && event != RestoreEvent::kKeptExisting && event != RestoreEvent::kKindSkipped)
      return;
    if (done < total) ++done;
    if (progress) progress(done, total);
  };
  if (progress) progress(0, total);
  for (const Planned& planned : plan) {
    RestoreWriter writer(WriterOptions(options), report, stop);
    if (!writer.WriteObject(planned.revision.Get(), names.Wide(planned.storedName), names.Wide(planned.path)))
      return false;
  }
  if (progress) progress(total, total);
  return true;
}

}  // namespace

bool ArchiveOperations::ExtractObject(ICairnObject* object, const std::string& path,
                                      const ExtractOptions& options) const {
  ComPtr<ICairnRevision> revision = LatestRevision(object);
  if (!revision || path.empty()) return false;
  RestoreWriter writer(WriterOptions(options), nullptr);
  Bstr name;
  return SUCCEEDED(object->GetName(name.Out())) && writer.WriteObject(revision.Get(), name.Text(), FromAnsi(path));
}

bool ArchiveOperations::RestoreItems(const std::vector<std::string>& storedNames, const std::string& target,
                                     const ExtractOptions& options, const RestoreProgress& progress,
                                     const RestoreStop& stop) const {
  if (storedNames.empty() || target.empty()) return false;
  ComPtr<ICairnArchive> archive = ArchiveToRead();
  if (!archive) return false;
  const StoredText names = NamesOf(archive.Get());
  const std::string storedTarget = names.Stored(FromAnsi(target));
  // What comes before the first object that cannot be written is still written.
  std::vector<Planned> plan;
  bool planned = true;
  for (auto name = storedNames.rbegin(); planned && name != storedNames.rend(); ++name) {
    if (AtRoot()) {
      ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive.Get(), *name);
      planned = snapshot && PlanSnapshot(snapshot.Get(), storedTarget, names, &plan);
      continue;
    }
    ComPtr<IEnumCairnObjects> objects = LevelObjects(archive.Get(), nullptr);
    ComPtr<ICairnObject> object;
    const Bstr text = names.ToBstr(*name);
    planned = objects && objects->NextByName(text.Get(), object.Out()) == S_OK && object &&
              PlanObject(object.Get(), storedTarget, storedNames.size() > 1, names, &plan);
  }
  return WritePlan(plan, names, options, progress, stop) && planned;
}

bool ArchiveOperations::RestoreLatestSnapshot(const std::string& target, const ExtractOptions& options,
                                              const RestoreProgress& progress, const RestoreStop& stop) const {
  ComPtr<ICairnArchive> archive = ArchiveToRead();
  if (!archive) return false;
  ComPtr<ICairnSnapShot> latest = LatestSnapshot(archive.Get());
  if (!latest) return true;
  const StoredText names = NamesOf(archive.Get());
  std::vector<Planned> plan;
  const bool planned = PlanSnapshot(latest.Get(), names.Stored(FromAnsi(target)), names, &plan);
  return WritePlan(plan, names, options, progress, stop) && planned;
}

}  // namespace shell
}  // namespace cairn
