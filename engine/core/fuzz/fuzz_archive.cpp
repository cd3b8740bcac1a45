// Opens arbitrary bytes as an archive, walks every list it can reach, restores its newest
// snapshot into a scratch folder as the native crn does (for every fourth input), rebuilds the
// content of every revision it met and stores a new revision on one of them (an edit or an
// append), then allocates and frees through its free list and walks again. Any crash, hang or out-of-range access is a bug.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "ArchiveCoverage.h"
#include "ArchiveHeap.h"
#include "ArchiveOpen.h"
#include "ArchiveReader.h"
#include "ArchiveWalk.h"
#include "HostRestore.h"
#include "MemoryFiles.h"
#include "RevisionAppend.h"
#include "Revisions.h"

using namespace cairn;

namespace {

// Rebuilds per input, and what the chain of one may claim: rebuilding costs about the sizes
// its revisions claim, so inputs that claim much are skipped to keep the fuzzer fast.
constexpr size_t kMaxRebuilds = 16;
constexpr int kMaxLevels = 64;
constexpr uint64_t kMaxClaimed = 1u << 20;

struct Revisions final : ArchiveVisitor {
  std::vector<uint32_t> offsets;
  void OnRevision(const ObjectRecord&, const RevisionRecord& revision) override {
    if (offsets.size() < kMaxRebuilds) offsets.push_back(revision.Offset());
  }
};

struct Quiet final : InternalErrors {
  void Report(const char*, int) override {}
};

bool Affordable(ArchiveHeap& heap, uint32_t revision) {
  uint64_t claimed = 0;
  int levels = 0;
  return ForEach<RevisionRecord>(heap, revision, [&](RevisionRecord& r) {
           claimed += r.Size();
           return ++levels > kMaxLevels || claimed > kMaxClaimed ? S_FALSE : S_OK;
         }) != S_FALSE;
}

// Restores the newest live snapshot below a scratch folder of this process, emptied after.
void RestoreNewest(ArchiveHeap& heap) {
  static const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("fuzz-archive-restore-" + std::to_string(getpid()));
  static std::FILE* quiet = std::fopen("/dev/null", "w");
  std::vector<reader::SnapshotInfo> snapshots;
  if (FAILED(reader::ReadSnapshots(heap, &snapshots)) || reader::LatestLive(snapshots) == nullptr) return;
  crn::HostRestore restore(heap, *reader::LatestLive(snapshots), scratch.string(), quiet);
  restore.Run({});
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
}

// The free list's soundness as the map of the whole archive decides it, for comparing with
// CheckFreeList's own test; -1 where the two may rightly differ: an area at offset 0, which the
// map leaves uncovered and the heap never hands out.
int FreeListSoundByMap(ArchiveHeap& heap) {
  if (heap.HeaderField(header::kFreeList) == 0) return 1;
  FreeListCollector chain;
  ArchiveCoverage coverage;
  if (MapCoverage(heap, &coverage, &chain) == kArchiveClosed) return -1;
  for (const FreeSpan& block : chain.blocks)
    if (block.area.start == 0 && block.area.length != 0) return -1;
  return !chain.damaged && FindUnsoundFreeBlocks(heap, coverage, chain.blocks).empty() ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testing::MemoryFiles files;
  // The last byte picks the name: every fourth input is read as a self-extracting archive.
  const bool exe = size > 0 && data[size - 1] % 4 == 0;
  const std::string name = exe ? "a.exe" : "a.crn";
  std::vector<uint8_t>& bytes = files.Bytes(name);
  if (exe) bytes.assign(kSelfExtractingOffset, 0);
  bytes.insert(bytes.end(), data, data + size);

  std::unique_ptr<ArchiveHeap> heap;
  if (FAILED(OpenArchive(files, name, false, true, &heap))) return 0;
  Revisions revisions;
  WalkArchive(*heap, revisions);
  FreeSpaceReport report;
  heap->FreeSpace(&report);

  // Only where every revision was met and is cheap to rebuild, as below, and the disk is touched.
  if (size % 4 == 1 && revisions.offsets.size() < kMaxRebuilds &&
      std::all_of(revisions.offsets.begin(), revisions.offsets.end(),
                  [&](uint32_t revision) { return Affordable(*heap, revision); }))
    RestoreNewest(*heap);

  // Every revision met, rebuilt; the first newest one that rebuilds gets a new revision of an
  // edited content (which frees its old records, whatever they are).
  Quiet quiet;
  // A writer stores nothing in an archive whose free list names live bytes.
  bool stored = CheckFreeList(*heap) != S_OK;
  const int byMap = FreeListSoundByMap(*heap);
  if (byMap >= 0 && byMap != (stored ? 0 : 1)) __builtin_trap();  // the two tests must agree
  for (uint32_t revision : revisions.offsets) {
    if (!Affordable(*heap, revision)) continue;
    MemoryContent content;
    const HRESULT hr = RebuildContent(*heap, revision, content, quiet, "Stream");
    uint32_t in = 0, length = 0;
    InPlaceContent(*heap, revision, &in, &length);
    CountDifferences(*heap, revision, &in, &length, &in);
    if (stored || FAILED(hr) || RevisionRecord(*heap, revision).Next() != 0) continue;
    stored = true;
    // The input's length picks the edit (an insertion, an overwrite or a deletion in the middle,
    // which leave Deletions, Changes or Insertions behind, or an append as the log's entries are
    // stored) and the mode of the new revision.
    std::vector<uint8_t> edited = content.Bytes();
    const size_t middle = edited.size() / 2, n = std::min<size_t>(size, 100);
    const size_t edit = size / 3 % 4;
    if (edit == 0) edited.insert(edited.begin() + middle, data, data + n);
    for (size_t i = 0; edit == 1 && i < n && middle + i < edited.size(); ++i) edited[middle + i] ^= data[i] | 1;
    if (edit == 2) edited.erase(edited.begin() + middle, edited.begin() + std::min(edited.size(), middle + n));
    if (edit == 3) edited.insert(edited.end(), data, data + n);
    const uint32_t added = heap->Allocate(RevisionRecord::kSize);
    if (added == 0) break;
    RevisionRecord(*heap, added).SetPrevious(revision);
    MemorySource previous(content.Bytes()), current(edited);
    const uint32_t mode = size % 3 == 0 ? 0 : size % 3 == 1 ? 1 : 3;
    // An append hands the previous revision's pieces over where it is stored so; both revisions
    // must then read as they were meant to.
    const std::vector<uint8_t> before = content.Bytes();
    HRESULT result = edit == 3 && n != 0 ? AppendRevisionContent(*heap, added, data, static_cast<uint32_t>(n),
                                                                 Stamp{}, StatBlock())
                                         : S_FALSE;
    const bool appended = result == S_OK;
    if (result == S_FALSE)
      result = StoreRevisionContent(*heap, added, previous, current, mode, Stamp{}, nullptr, quiet, "StreamRevision");
    if (result == S_OK) {
      const bool older = RebuildContent(*heap, revision, content, quiet, "Stream") == S_OK && content.Bytes() == before;
      const bool newer = RebuildContent(*heap, added, content, quiet, "Stream") == S_OK && content.Bytes() == edited;
      if (appended && !(older && newer)) __builtin_trap();
    }
  }
  if (!heap->IsOpen()) return 0;

  // Allocation and release trust nothing in the free list either.
  uint32_t sizes[] = {12, 20, 104, 1, 4096};
  uint32_t blocks[5] = {};
  for (int i = 0; i < 5; ++i) blocks[i] = heap->Allocate(sizes[i]);
  for (int i = 4; i >= 0; i -= 2)
    if (blocks[i] != 0) heap->Free(blocks[i], sizes[i]);
  std::string text;
  ReadString(*heap, heap->HeaderField(header::kSnapshotList), &text);
  ArchiveVisitor walk;
  WalkArchive(*heap, walk);
  return 0;
}
