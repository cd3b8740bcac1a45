#include "ArchiveCheck.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "ArchiveCoverage.h"
#include "ArchiveWalk.h"
#include "ContentStore.h"
#include "StoredNames.h"

namespace cairn {
namespace {

constexpr char kModule[] = "ArchiveCheck";

// The check reports what it finds itself; the rebuild's own reports are not wanted.
class Quiet final : public InternalErrors {
 public:
  void Report(const char*, int) override {}
};

// An object met by the walk, with its revisions as far as the chain could be followed.
struct Checked {
  uint32_t offset = 0;
  std::string name;
  bool namedStream = false;
  std::vector<uint32_t> chain;  // oldest first
};

// Collects what the walk meets: problems, names that do not fit, the objects and their chains.
class Collector final : public ArchiveVisitor {
 public:
  Collector(ArchiveHeap& heap, CheckReport& report) : heap_(heap), report_(report) {}

  void OnNamedStream(const ObjectRecord& object) override { named_.insert(object.Offset()); }
  void OnObject(const ObjectRecord& object, const std::string& name) override {
    Checked checked;
    checked.offset = object.Offset();
    checked.name = name;
    checked.namedStream = named_.count(object.Offset()) != 0;
    objects.push_back(std::move(checked));
  }
  void OnRevision(const ObjectRecord&, const RevisionRecord& revision) override {
    objects.back().chain.push_back(revision.Offset());
  }
  void OnChild(const RevisionRecord&, const ObjectRecord& child) override {
    std::string name;
    if (SUCCEEDED(ReadString(heap_, child.Name(), &name)) && !IsChildName(objects.back().name, name)) {
      CheckFinding finding;
      finding.problem = CheckProblem::kChildName;
      finding.offset = child.Offset();
      finding.object = name;
      finding.what = objects.back().name;
      report_.findings.push_back(std::move(finding));
    }
    children[objects.back().offset].push_back(child.Offset());
  }
  void OnProblem(const std::string& what, uint32_t offset) override {
    CheckFinding finding;
    finding.problem = CheckProblem::kLink;
    finding.what = what;
    finding.offset = offset;
    report_.findings.push_back(std::move(finding));
  }

  std::vector<Checked> objects;
  std::map<uint32_t, std::vector<uint32_t>> children;

 private:
  ArchiveHeap& heap_;
  CheckReport& report_;
  std::unordered_set<uint32_t> named_;
};

void AddRange(CheckReport& report, CheckProblem problem, const ByteRange& range) {
  CheckFinding finding;
  finding.problem = problem;
  finding.offset = range.start;
  finding.length = range.length;
  report.findings.push_back(std::move(finding));
}

// The link and coverage checks. Bytes that nothing covers are damage in an archive at rest; with
// the writer's mark in the header they are what a writer has not linked yet (or what one that
// stopped left, which the next writer gives back), and only counted.
HRESULT CheckLinks(ArchiveHeap& heap, CheckReport& report, Collector& collector) {
  ArchiveCoverage coverage;
  const HRESULT hr = MapCoverage(heap, &coverage, &collector);
  if (hr == kArchiveClosed) return hr;
  for (uint32_t folder : FoldersBelowThemselves(collector.children)) {
    CheckFinding finding;
    finding.problem = CheckProblem::kFolderLoop;
    finding.offset = folder;
    report.findings.push_back(std::move(finding));
  }
  for (const ByteRange& overlap : coverage.overlaps) AddRange(report, CheckProblem::kOverlap, overlap);
  for (const ByteRange& gap : coverage.gaps) {
    if (report.writerAtWork)
      report.unlinkedBytes += gap.length;
    else
      AddRange(report, CheckProblem::kUncovered, gap);
  }
  const uint32_t end = coverage.logicalEnd;
  if (end < heap.DataSize()) {
    const uint8_t* tail = heap.Resolve(end, heap.DataSize() - end);
    bool zeros = tail != nullptr;
    for (uint32_t i = 0; zeros && i < heap.DataSize() - end; ++i) zeros = tail[i] == 0;
    if (!zeros) AddRange(report, CheckProblem::kTail, ByteRange{end, heap.DataSize() - end});
  }
  return S_OK;
}

// Rebuilds every revision of one object, newest first, and notes what is wrong with each. The
// older revisions are rebuilt on the content of the newer ones: from a damaged one they are
// damaged too, which is noted where nothing else is wrong with them.
class ObjectCheck final : public LevelObserver {
 public:
  ObjectCheck(ArchiveHeap& heap, const Checked& object, std::vector<CheckFinding>& findings)
      : heap_(heap), object_(object), findings_(findings), levelEnd_(findings.size()) {}

  // Rebuilds the chain into content; adds up the revisions checked and the bytes rebuilt.
  HRESULT Run(ContentStore& content, WorkerPool* pool, uint32_t* revisions, uint64_t* bytes) {
    const std::vector<uint32_t> newestFirst(object_.chain.rbegin(), object_.chain.rend());
    if (newestFirst.empty()) return S_OK;
    *revisions += static_cast<uint32_t>(newestFirst.size());
    // A chain the walk could not follow to its end: the newest reached is not the newest.
    if (RevisionRecord(heap_, newestFirst.front()).Next() != 0) {
      for (uint32_t revision : newestFirst) Add(revision, CheckProblem::kChainBroken);
      return S_OK;
    }
    // Folders and storages hold no content: nothing to rebuild when every revision is one.
    uint64_t largest = 0;
    bool holdsContent = false;
    for (uint32_t revision : newestFirst) {
      const RevisionRecord record(heap_, revision);
      holdsContent = holdsContent || !record.IsFolder();
      largest = std::max(largest, record.Size());
    }
    if (!holdsContent) return S_OK;
    Quiet quiet;
    const HRESULT hr = RebuildEveryLevel(heap_, newestFirst, content, *this, quiet, kModule,
                                         WorkerPool::For(pool, largest));
    *bytes += bytes_;
    if (FAILED(hr) && !failedHere_) return hr;  // no room to rebuild: says nothing of the archive
    for (size_t i = levels_; i < newestFirst.size(); ++i) Add(newestFirst[i], CheckProblem::kAfterDamage).newer = damaged_;
    return S_OK;
  }

  void Unclean(uint32_t revision, uint32_t record) override {
    Add(revision, CheckProblem::kUnclean).record = record;
  }
  bool Rebuilt(uint32_t revision, const ContentStore& out) override {
    const RevisionRecord record(heap_, revision);
    bytes_ += out.Size();
    if (!record.IsFolder() && record.Size() != out.Size()) {
      CheckFinding& finding = Add(revision, CheckProblem::kSize);
      finding.statedSize = record.Size();
      finding.rebuiltSize = out.Size();
    }
    EndLevel(revision);
    return true;
  }
  void Failed(uint32_t revision, RebuildFault fault, uint32_t record) override {
    if (fault == RebuildFault::kStore) return;
    failedHere_ = true;
    CheckFinding& finding = Add(revision, CheckProblem::kRebuild);
    finding.fault = fault;
    finding.record = record;
    EndLevel(revision);
  }

 private:
  CheckFinding& Add(uint32_t revision, CheckProblem problem) {
    CheckFinding finding;
    finding.problem = problem;
    finding.offset = revision;
    finding.object = object_.name;
    finding.namedStream = object_.namedStream;
    finding.revision = RevisionRecord(heap_, revision).Number();
    findings_.push_back(std::move(finding));
    return findings_.back();
  }

  void EndLevel(uint32_t revision) {
    const bool own = findings_.size() != levelEnd_;
    if (own && damaged_ == 0) damaged_ = RevisionRecord(heap_, revision).Number();
    if (!own && damaged_ != 0) Add(revision, CheckProblem::kAfterDamage).newer = damaged_;
    levelEnd_ = findings_.size();
    ++levels_;
  }

  ArchiveHeap& heap_;
  const Checked& object_;
  std::vector<CheckFinding>& findings_;
  size_t levelEnd_;             // findings before the level being rebuilt
  size_t levels_ = 0;           // levels rebuilt or found damaged so far
  uint64_t bytes_ = 0;
  bool failedHere_ = false;     // a level could not be rebuilt for damage
  int32_t damaged_ = 0;         // the number of the newest damaged revision, 0 while none is
};

// The chain of an object as it is now, oldest first, as far as it can be followed.
std::vector<uint32_t> ChainNow(ArchiveHeap& heap, uint32_t object) {
  std::vector<uint32_t> chain;
  std::unordered_set<uint32_t> seen;
  ForEach<RevisionRecord>(heap, ObjectRecord(heap, object).OldestRevision(), [&](RevisionRecord& revision) {
    if (!seen.insert(revision.Offset()).second) return S_FALSE;
    chain.push_back(revision.Offset());
    return S_OK;
  });
  return chain;
}

// Fills in, for each damaged revision, the snapshots whose view holds it: a snapshot holds an
// object's newest revision stamped no later than the snapshot, for each object reached from its
// entries through the child lists of the revisions it holds.
void NameSnapshots(ArchiveHeap& heap, std::vector<CheckFinding>& findings) {
  std::unordered_map<uint32_t, std::vector<size_t>> wanted;  // revision to its findings
  for (size_t i = 0; i < findings.size(); ++i)
    if (findings[i].IsRevision() && !findings[i].namedStream) wanted[findings[i].offset].push_back(i);
  if (wanted.empty()) return;
  std::unordered_set<uint32_t> snapshots;
  ForEach<SnapshotRecord>(heap, heap.HeaderField(header::kSnapshotList), [&](SnapshotRecord& snapshot) {
    if (!snapshots.insert(snapshot.Offset()).second) return S_FALSE;
    std::string name;
    ReadString(heap, snapshot.Name(), &name);
    if (snapshot.Flags() & snapshot_flags::kDeleted) name += " (deleted)";
    const Stamp asAt = snapshot.AsAt();
    std::vector<uint32_t> pending;
    std::unordered_set<uint32_t> met;
    auto queue = [&](uint32_t first) {
      std::unordered_set<uint32_t> nodes;
      ForEach<ListNode>(heap, first, [&](ListNode& node) {
        if (!nodes.insert(node.Offset()).second) return S_FALSE;
        if (ObjectRecord(heap, node.Object()).IsValid() && met.insert(node.Object()).second)
          pending.push_back(node.Object());
        return S_OK;
      });
    };
    queue(snapshot.Entries());
    while (!pending.empty()) {
      const uint32_t object = pending.back();
      pending.pop_back();
      uint32_t held = 0;
      for (uint32_t revision : ChainNow(heap, object))
        if (CompareStamps(RevisionRecord(heap, revision).AsAt(), asAt) <= 0) held = revision;
      if (held == 0) continue;
      const auto found = wanted.find(held);
      if (found != wanted.end())
        for (size_t i : found->second) findings[i].snapshots.push_back(name);
      if (RevisionRecord(heap, held).IsFolder()) queue(RevisionRecord(heap, held).Children());
    }
    return S_OK;
  });
}

}  // namespace

uint32_t CheckReport::DamagedRevisions() const {
  std::unordered_set<uint32_t> revisions;
  for (const CheckFinding& finding : findings)
    if (finding.IsRevision()) revisions.insert(finding.offset);
  return static_cast<uint32_t>(revisions.size());
}

std::vector<uint32_t> FoldersBelowThemselves(const std::map<uint32_t, std::vector<uint32_t>>& children) {
  enum class State { kOpen, kDone };
  std::map<uint32_t, State> state;
  std::vector<uint32_t> loops;
  for (const auto& parent : children) {
    if (state.count(parent.first)) continue;
    // Depth first, without recursion: a hostile archive may nest as deep as it likes.
    std::vector<std::pair<uint32_t, size_t>> path{{parent.first, 0}};
    state[parent.first] = State::kOpen;
    while (!path.empty()) {
      const auto found = children.find(path.back().first);
      const size_t next = path.back().second++;
      if (found == children.end() || next >= found->second.size()) {
        state[path.back().first] = State::kDone;
        path.pop_back();
        continue;
      }
      const uint32_t child = found->second[next];
      const auto seen = state.find(child);
      if (seen == state.end()) {
        state[child] = State::kOpen;
        path.emplace_back(child, 0);
      } else if (seen->second == State::kOpen) {
        loops.push_back(child);
      }
    }
  }
  return loops;
}

HRESULT CheckArchive(ArchiveHeap& heap, WorkerPool* pool, CheckProgress* progress, CheckReport* report) {
  if (!heap.IsOpen()) return kArchiveClosed;
  *report = CheckReport();
  report->writerAtWork = heap.HeaderField(header::kReserved) != 0;
  try {
    Collector collector(heap, *report);
    HRESULT hr = CheckLinks(heap, *report, collector);
    if (FAILED(hr)) return hr;

    const uint32_t total = static_cast<uint32_t>(collector.objects.size());
    MemoryContent content;
    std::vector<size_t> damaged;  // objects with damaged revisions
    for (uint32_t done = 0; done < total; ++done) {
      const size_t before = report->findings.size();
      hr = ObjectCheck(heap, collector.objects[done], report->findings)
               .Run(content, pool, &report->revisions, &report->bytesRebuilt);
      if (FAILED(hr)) return hr;
      if (report->findings.size() != before) damaged.push_back(done);
      ++report->objects;
      if (content.Size() > (64u << 20)) std::vector<uint8_t>().swap(content.Bytes());
      if (progress != nullptr && !progress->Checked(done + 1, total)) return kCheckCancelled;
    }

    // A writer may have changed an object while it was read: its damage counts only when it is
    // seen again on the object as it is now.
    report->writerAtWork = report->writerAtWork || heap.HeaderField(header::kReserved) != 0;
    if (report->writerAtWork && !damaged.empty()) {
      std::vector<CheckFinding> kept;
      std::unordered_set<uint32_t> again;
      for (size_t index : damaged) again.insert(collector.objects[index].offset);
      for (CheckFinding& finding : report->findings)
        if (!finding.IsRevision()) kept.push_back(std::move(finding));
      uint32_t revisions = 0;
      uint64_t bytes = 0;
      for (size_t index : damaged) {
        Checked& object = collector.objects[index];
        object.chain = ChainNow(heap, object.offset);
        hr = ObjectCheck(heap, object, kept).Run(content, pool, &revisions, &bytes);
        if (FAILED(hr)) return hr;
      }
      report->findings = std::move(kept);
    }
    NameSnapshots(heap, report->findings);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return heap.IsOpen() ? S_OK : kArchiveClosed;
}

HRESULT CheckArchiveFile(PlatformFiles& files, const std::string& path, WorkerPool* pool, CheckProgress* progress,
                         CheckReport* report) {
  std::unique_ptr<ArchiveHeap> heap;
  const HRESULT hr = ArchiveHeap::Open(files, path, false, false, &heap);
  return FAILED(hr) ? hr : CheckArchive(*heap, pool, progress, report);
}

std::string DescribeProblem(const CheckFinding& finding) {
  char text[160];
  auto at = [&](const char* format, auto... values) {
    std::snprintf(text, sizeof text, format, values...);
    return std::string(text);
  };
  switch (finding.problem) {
    case CheckProblem::kLink:
      return at("damaged %s at archive offset %" PRIu32, finding.what.c_str(), finding.offset);
    case CheckProblem::kChildName:
      return at("the child \"%s\" (object at %" PRIu32 ") is not named under its folder \"%s\"",
                finding.object.c_str(), finding.offset, finding.what.c_str());
    case CheckProblem::kFolderLoop:
      return at("the folder object at archive offset %" PRIu32 " is met again below itself", finding.offset);
    case CheckProblem::kOverlap:
      return at("blocks overlap: %" PRIu32 " bytes at archive offset %" PRIu32, finding.length, finding.offset);
    case CheckProblem::kUncovered:
      return at("nothing covers %" PRIu32 " bytes at archive offset %" PRIu32, finding.length, finding.offset);
    case CheckProblem::kTail:
      return at("nothing covers %" PRIu32 " bytes past the archive's end at %" PRIu32, finding.length,
                finding.offset);
    case CheckProblem::kUnclean:
      return at("the compressed data of the record at archive offset %" PRIu32 " does not decompress to its end",
                finding.record);
    case CheckProblem::kSize:
      return at("it rebuilds to %" PRIu64 " bytes, but its size is %" PRIu64, finding.rebuiltSize,
                finding.statedSize);
    case CheckProblem::kChainBroken:
      return "the revision chain breaks off before the newest revision, from which it is rebuilt";
    case CheckProblem::kAfterDamage:
      return at("it is rebuilt from revision %" PRId32 ", which is damaged", finding.newer);
    case CheckProblem::kRebuild:
      break;
  }
  switch (finding.fault) {
    case RebuildFault::kList:
      return "its list of differences leaves the archive, loops, or shares a record with another list";
    case RebuildFault::kKind:
      return at("the record at archive offset %" PRIu32 " is of an unknown kind", finding.record);
    case RebuildFault::kData:
      return at("the data of the record at archive offset %" PRIu32 " lies outside the archive", finding.record);
    case RebuildFault::kOrder:
      return at("the record at archive offset %" PRIu32 " is out of order", finding.record);
    case RebuildFault::kOutside:
      return at("the record at archive offset %" PRIu32 " applies outside the content", finding.record);
    case RebuildFault::kTooLarge:
      return "its records give more bytes than its size allows";
    case RebuildFault::kStore:
      break;
  }
  return "it cannot be rebuilt";
}

std::vector<DamagedItem> DamagedItems(const CheckReport& report) {
  // A revision's entry names at most this many of its problems.
  constexpr size_t kProblemsShown = 3;
  std::vector<DamagedItem> items;
  std::map<uint32_t, std::pair<size_t, size_t>> byRevision;  // revision: its entry, its problems
  for (const CheckFinding& finding : report.findings) {
    if (!finding.IsRevision()) {
      DamagedItem item;
      item.what = DescribeProblem(finding);
      items.push_back(std::move(item));
      continue;
    }
    const auto found = byRevision.find(finding.offset);
    if (found == byRevision.end()) {
      DamagedItem item;
      item.ofRevision = true;
      item.object = finding.object;
      item.namedStream = finding.namedStream;
      item.revision = finding.revision;
      item.snapshots = finding.snapshots;
      item.what = DescribeProblem(finding);
      byRevision.emplace(finding.offset, std::make_pair(items.size(), size_t{1}));
      items.push_back(std::move(item));
      continue;
    }
    std::string& what = items[found->second.first].what;
    const size_t problems = ++found->second.second;
    if (problems <= kProblemsShown) what += "; " + DescribeProblem(finding);
  }
  for (const auto& [revision, entry] : byRevision)
    if (entry.second > kProblemsShown)
      items[entry.first].what += "; and " + std::to_string(entry.second - kProblemsShown) + " more";
  return items;
}

}  // namespace cairn
