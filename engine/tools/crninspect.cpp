// crninspect: prints what an archive file holds (header, free space, snapshots, named streams,
// objects with their revisions), checking every link on the way, and then what links alone do
// not show: blocks that overlap, bytes that nothing covers, children whose stored names do not
// belong to their folder, folders met again below themselves, and free blocks over stored data
// or past the end (which writers refuse). Any of these is reported and makes the exit code 1.
// With --create it first makes a new, empty archive when the file is missing or empty. /check
// checks the whole archive instead, rebuilding every revision (InspectCheck.h).
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ArchiveCheck.h"
#include "ArchiveCoverage.h"
#include "ArchiveHeap.h"
#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "InspectCheck.h"
#include "StoredNames.h"

namespace {

using namespace cairn;

const char* const kUsage =
    "usage: crninspect [--create] ARCHIVE\n"
    "       crninspect /check ARCHIVE\n"
    "  Prints the header, free space, snapshots, named streams and objects of ARCHIVE.\n"
    "  --create  make a new, empty archive first when ARCHIVE is missing or empty\n"
    "  /check    check every link and rebuild every revision; exit code 0 sound, 1 damaged,\n"
    "            2 unreadable\n";

// A FILETIME (100 ns ticks since 1601-01-01 UTC) as "YYYY-MM-DD hh:mm:ss UTC".
std::string FormatTime(Stamp stamp) {
  const uint64_t ticks = static_cast<uint64_t>(stamp.high) << 32 | stamp.low;
  if (stamp.high == 0x7FFFFFFFu) return "numbered " + std::to_string(stamp.low);
  int64_t seconds = static_cast<int64_t>(ticks / 10000000u) - 11644473600LL;  // to 1970
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t rest = seconds - days * 86400;
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  char text[64];
  std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRId64 ":%02" PRId64 ":%02" PRId64 " UTC",
                year, month, day, rest / 3600, rest / 60 % 60, rest % 60);
  return text;
}

std::string Flags(uint32_t value, const std::pair<uint32_t, const char*>* names, size_t count) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%02" PRIX32, value);
  std::string text = hex;
  std::string words;
  for (size_t i = 0; i < count; ++i)
    if (value & names[i].first) words += (words.empty() ? "" : ", ") + std::string(names[i].second);
  return words.empty() ? text : text + " (" + words + ")";
}

const std::pair<uint32_t, const char*> kOptionNames[] = {
    {options::kCompress, "compress"}, {options::kShowProgress, "progress window"},
    {options::kAutoDismiss, "auto-dismiss"}, {options::kBzip2, "bzip2"}, {options::kUtf8Names, "UTF-8 names"}};
const std::pair<uint32_t, const char*> kSnapshotFlagNames[] = {
    {snapshot_flags::kLive, "live"}, {snapshot_flags::kDeleted, "deleted"},
    {snapshot_flags::kCompressed, "compressed"}, {snapshot_flags::kBzip2, "bzip2"},
    {snapshot_flags::kNumberedStamps, "numbered"}};

const char* KindName(uint8_t kind) {
  switch (kind) {
    case difference_kind::kInsertion: return "insertion";
    case difference_kind::kDeletion: return "deletion";
    case difference_kind::kChange: return "change";
    default: return "unknown kind";
  }
}

class Printer final : public ArchiveVisitor {
 public:
  explicit Printer(ArchiveHeap& heap) : heap_(heap) {}

  // Children whose names do not fit their folder, and folders met again below themselves.
  int Problems() const { return problems_; }
  // The free list's blocks as the walk met them.
  const std::vector<FreeSpan>& FreeBlocks() const { return free_; }
  void OnFreeBlock(const FreeBlock& block) override {
    free_.push_back(FreeSpan{block.Offset(), ByteRange{block.Start(), block.Length()}});
    Section("free list");
    std::printf("  @%" PRIu32 ": %" PRIu32 " bytes at %" PRIu32 "\n", block.Offset(), block.Length(), block.Start());
  }
  void OnSnapshot(const SnapshotRecord& s, const std::string& name, const std::string& comment) override {
    Section("snapshots");
    std::printf("  @%" PRIu32 ": number %" PRId32 " \"%s\" flags %s as-at %s\n", s.Offset(), s.Number(),
                name.c_str(), Flags(s.Flags(), kSnapshotFlagNames, 5).c_str(), FormatTime(s.AsAt()).c_str());
    std::printf("    created %s", FormatTime(s.Created()).c_str());
    if (!comment.empty()) std::printf(", comment \"%s\"", comment.c_str());
    std::printf("\n");
  }
  void OnEntry(const SnapshotRecord&, const ObjectRecord& object) override {
    std::printf("    entry: object @%" PRIu32 "\n", object.Offset());
  }
  void OnNamedStream(const ObjectRecord& object) override {
    Section("named streams");
    std::printf("  object @%" PRIu32 "\n", object.Offset());
  }
  void OnObject(const ObjectRecord& object, const std::string& name) override {
    Section("objects");
    std::printf("  @%" PRIu32 ": \"%s\"\n", object.Offset(), name.c_str());
    object_ = object.Offset();
    objectName_ = name;
  }
  void OnRevision(const ObjectRecord&, const RevisionRecord& r) override {
    std::printf("    revision %" PRId32 " @%" PRIu32 ": as-at %s, flags %" PRIu32 ", type %" PRIu32
                ", size %" PRIu64 ", attributes 0x%" PRIX32 "\n",
                r.Number(), r.Offset(), FormatTime(r.AsAt()).c_str(), r.Flags(), r.Type(), r.Size(), r.Attributes());
  }
  void OnDifference(const RevisionRecord&, const DifferenceRecord& d) override {
    std::printf("      %s at %" PRIu32 ", %" PRIu32 " bytes\n", KindName(d.Kind()), d.Position(), d.Length());
  }
  void OnChild(const RevisionRecord& revision, const ObjectRecord& child) override {
    std::printf("      child: object @%" PRIu32 "\n", child.Offset());
    std::string name;
    if (SUCCEEDED(ReadString(heap_, child.Name(), &name)) && !IsChildName(objectName_, name)) {
      std::fprintf(stderr, "crninspect: the child \"%s\" of revision @%" PRIu32 " is not named under its folder \"%s\"\n",
                   name.c_str(), revision.Offset(), objectName_.c_str());
      ++problems_;
    }
    children_[object_].push_back(child.Offset());
  }
  void OnProblem(const std::string& what, uint32_t offset) override {
    std::fprintf(stderr, "crninspect: damaged %s at archive offset %" PRIu32 "\n", what.c_str(), offset);
  }

  // Reports each folder that a child list leads back to: a loop across lists, which a restore
  // would follow without end.
  void CheckLoops() {
    for (uint32_t folder : FoldersBelowThemselves(children_)) {
      std::fprintf(stderr, "crninspect: the folder object @%" PRIu32 " is met again below itself\n", folder);
      ++problems_;
    }
  }

 private:
  void Section(const char* title) {
    if (section_ == title) return;
    section_ = title;
    std::printf("%s:\n", title);
  }
  ArchiveHeap& heap_;
  std::string section_;
  uint32_t object_ = 0;
  std::string objectName_;
  std::map<uint32_t, std::vector<uint32_t>> children_;  // folder object to child objects
  std::vector<FreeSpan> free_;
  int problems_ = 0;
};

// Reports blocks that overlap and bytes that nothing covers; the number of problems. Zeros past
// the logical end are what a writer that never released the archive leaves; the next writer cuts
// them off, so they are only noted.
int ReportCoverage(const ArchiveHeap& heap, const ArchiveCoverage& coverage) {
  int problems = 0;
  for (const ByteRange& overlap : coverage.overlaps) {
    std::fprintf(stderr, "crninspect: blocks overlap: %" PRIu32 " bytes at archive offset %" PRIu32 "\n",
                 overlap.length, overlap.start);
    ++problems;
  }
  for (const ByteRange& gap : coverage.gaps) {
    std::fprintf(stderr, "crninspect: nothing covers %" PRIu32 " bytes at archive offset %" PRIu32 "\n", gap.length,
                 gap.start);
    ++problems;
  }
  const uint32_t end = coverage.logicalEnd;
  if (end < heap.DataSize()) {
    const uint8_t* tail = heap.Resolve(end, heap.DataSize() - end);
    bool zeros = tail != nullptr;
    for (uint32_t i = 0; zeros && i < heap.DataSize() - end; ++i) zeros = tail[i] == 0;
    if (zeros) {
      std::printf("%" PRIu32 " bytes of zeros past the archive's end (left by a writer that did not release it)\n",
                  heap.DataSize() - end);
    } else {
      std::fprintf(stderr, "crninspect: nothing covers %" PRIu32 " bytes past the archive's end at %" PRIu32 "\n",
                   heap.DataSize() - end, end);
      ++problems;
    }
  }
  return problems;
}

// Reports each free block that a writer would hand out over bytes something else holds, or past
// the end, and for which it refuses to write; the number of such blocks.
int ReportFreeBlocks(const ArchiveHeap& heap, const ArchiveCoverage& coverage, const std::vector<FreeSpan>& blocks) {
  const std::vector<UnsoundFreeBlock> unsound = FindUnsoundFreeBlocks(heap, coverage, blocks);
  for (const UnsoundFreeBlock& found : unsound)
    std::fprintf(stderr, "crninspect: the free block @%" PRIu32 " (%" PRIu32 " bytes at %" PRIu32 ") %s\n",
                 found.block.record, found.block.area.length, found.block.area.start,
                 found.fault == FreeFault::kPastEnd ? "passes the archive's end" : "overlaps stored data or another free block");
  return static_cast<int>(unsound.size());
}

const char* Describe(HRESULT hr) {
  if (hr == kNewerVersion) return "the archive was created by a newer version of Cairn";
  if (hr == kNotAnArchive) return "not a Cairn archive";
  if (hr == kCorruptArchive) return "the archive is damaged";
  return "cannot open or map the file";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "/check") == 0) return RunCheck(argv[2], stdout, stderr);
  bool create = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--create") == 0 && !create) {
      create = true;
    } else if (argv[i][0] != '-' && path == nullptr) {
      path = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (path == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::unique_ptr<ArchiveHeap> heap;
  HRESULT hr = OpenArchive(PlatformFiles::Native(), path, create, create, &heap);
  if (FAILED(hr)) {
    std::fprintf(stderr, "crninspect: %s: %s (0x%08" PRIX32 ")\n", path, Describe(hr), static_cast<uint32_t>(hr));
    return 1;
  }

  std::printf("archive %s: %" PRIu32 " bytes of archive data from file offset %" PRIu64 "\n", path,
              heap->DataSize(), heap->ViewOffset());
  std::printf("version %" PRIu32 ", next snapshot number %" PRId32 ", options %s, last progress count %" PRIu32 "\n",
              heap->HeaderField(header::kVersion), static_cast<int32_t>(heap->HeaderField(header::kNextSnapshotNumber)),
              Flags(heap->HeaderField(header::kOptions), kOptionNames, 5).c_str(),
              heap->HeaderField(header::kLastProgressCount));
  FreeSpaceReport free;
  if (SUCCEEDED(heap->FreeSpace(&free)))
    std::printf("free space %" PRIu32 " bytes in %" PRIu32 " blocks (largest %" PRIu32 ", smallest %" PRIu32 ")\n",
                free.total, free.blocks, free.largest, free.smallest);

  Printer printer(*heap);
  ArchiveCoverage coverage;
  hr = MapCoverage(*heap, &coverage, &printer);
  if (FAILED(hr)) {
    std::fprintf(stderr, "crninspect: %s: %s\n", path, Describe(hr));
    return 1;
  }
  printer.CheckLoops();
  const int problems =
      printer.Problems() + ReportCoverage(*heap, coverage) + ReportFreeBlocks(*heap, coverage, printer.FreeBlocks());
  if (problems != 0) {
    std::fprintf(stderr, "crninspect: %s: the archive is damaged (%d problems)\n", path, problems);
    return 1;
  }
  return 0;
}
