// An archive at the 4 GiB end of 32-bit offsets: the allocation that would pass it is refused as
// a full disk is, the revision it was for is taken back whole, and records at the top of the
// offset range read back without an offset wrapping. The archive is a sparse file: only its first
// and last records are ever written.
#include <gtest/gtest.h>

#include <random>

#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "Revisions.h"
#include "SampleArchive.h"
#include "TempDir.h"

namespace cairn {
namespace {

using Bytes = std::vector<uint8_t>;

struct CountingErrors final : InternalErrors {
  int reports = 0;
  void Report(const char*, int) override { ++reports; }
};

struct ProblemCount final : ArchiveVisitor {
  int problems = 0;
  void OnProblem(const std::string&, uint32_t) override { ++problems; }
};

class ArchiveLimitsTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kRoom = 64 * 1024;  // left below the largest archive offset
  static constexpr uint32_t kNearLimit = 0xFFFFFFFFu - kRoom;

  void Open() { ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path_, false, true, &heap_), S_OK); }

  std::vector<uint32_t> Chain() {
    std::vector<uint32_t> chain;
    ForEach<RevisionRecord>(*heap_, ObjectRecord(*heap_, object_).OldestRevision(), [&](RevisionRecord& r) {
      chain.push_back(r.Offset());
      return S_OK;
    });
    return chain;
  }

  // Stores content as the object's next revision; the record is taken back when that fails.
  HRESULT Add(const Bytes& content, uint32_t mode) {
    const std::vector<uint32_t> chain = Chain();
    const uint32_t previous = chain.empty() ? 0 : chain.back();
    MemorySource before(previous != 0 ? Read(previous) : Bytes()), current(content);
    const uint32_t offset = heap_->Allocate(RevisionRecord::kSize);
    if (offset == 0) return E_OUTOFMEMORY;
    RevisionRecord(*heap_, offset).SetPrevious(previous);
    StatBlock stat;
    stat.size = content.size();
    const HRESULT hr = StoreRevisionContent(*heap_, offset, before, current, mode, NumberedStamp(++stamp_), &stat,
                                            errors_, "FileRevision");
    if (hr == S_OK && previous == 0) ObjectRecord(*heap_, object_).SetOldestRevision(offset);
    if (hr != S_OK) heap_->Free(offset, RevisionRecord::kSize);
    return hr;
  }

  // Takes the free list out of the header, so that only growth serves allocations, and returns it.
  uint32_t SetFreeListAside() {
    const uint32_t list = heap_->HeaderField(header::kFreeList);
    heap_->SetHeaderField(header::kFreeList, 0);
    return list;
  }
  // Links a list set aside behind the free list.
  void PutBack(uint32_t list) {
    uint32_t tail = header::kFreeList;
    while (heap_->Read32(tail) != 0) tail = heap_->Read32(tail) + 8;
    heap_->Write32(tail, list);
  }

  Bytes Read(uint32_t revision) {
    MemoryContent out;
    EXPECT_EQ(RebuildContent(*heap_, revision, out, errors_, "Stream"), S_OK);
    return out.Bytes();
  }

  testing::TempDir dir_;
  std::string path_ = dir_.Path("limit.crn");
  std::unique_ptr<ArchiveHeap> heap_;
  uint32_t object_ = 0;
  int32_t stamp_ = 0;
  CountingErrors errors_;
};

TEST_F(ArchiveLimitsTest, AnArchiveAtFourGiBRefusesToGrowPastItAndStaysSound) {
  if (sizeof(void*) < 8) GTEST_SKIP() << "a view of 4 GiB needs a 64-bit address space";
  std::mt19937 rng(9);
  auto random = [&](size_t n) {
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
  };
  std::vector<Bytes> history = {random(20000)};
  history.push_back(history[0]);
  history[1][7000] ^= 1;
  {
    ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path_, true, true, &heap_), S_OK);
    testing::ArchiveBuilder build(*heap_);
    object_ = build.Object("C:\\big");
    ASSERT_NE(build.Push(header::kNamedStreams, object_), 0u);
    ASSERT_EQ(Add(history[0], 1), S_OK);
    ASSERT_EQ(Add(history[1], 1), S_OK);
    heap_.reset();
  }
  // The file grows to just below the limit with only its last byte written (a file that ends in
  // zeros would be cut back to its archive when opened).
  {
    std::unique_ptr<PlatformFile> file;
    ASSERT_EQ(PlatformFiles::Native().Open(path_, false, true, &file), S_OK);
    uint8_t* view = nullptr;
    ASSERT_EQ(file->Map(kNearLimit, 0, &view), S_OK);
    view[kNearLimit - 1] = 1;
    file->Unmap();
  }
  Open();
  ASSERT_EQ(heap_->DataSize(), kNearLimit);

  // A revision that fits is stored at the top of the offset range.
  const uint32_t below = SetFreeListAside();
  history.push_back(history[1]);
  history[2].insert(history[2].begin() + 12000, 300, 0x5A);
  ASSERT_EQ(Add(history[2], 0), S_OK);
  PutBack(below);
  std::vector<uint32_t> chain = Chain();
  ASSERT_EQ(chain.size(), 3u);
  EXPECT_GE(chain[2], kNearLimit);
  EXPECT_GT(RevisionRecord(*heap_, chain[2]).Differences(), kNearLimit);

  // The last bytes below the limit can be had, and not one more. Freed without room for a record
  // of its own, an area holds its own.
  const uint32_t freeList = SetFreeListAside();
  const uint32_t room = 0xFFFFFFFFu - heap_->DataSize();
  ASSERT_GT(room, 1000u);
  const uint32_t most = heap_->Allocate(room - 100);
  ASSERT_NE(most, 0u);
  EXPECT_EQ(heap_->Allocate(101), 0u);
  const uint32_t last = heap_->Allocate(100);
  EXPECT_EQ(last, 0xFFFFFFFFu - 100);
  EXPECT_EQ(heap_->Allocate(1), 0u);
  EXPECT_EQ(heap_->Allocate(0xFFFFFFFFu), 0u) << "a length that would wrap the offset";
  EXPECT_EQ(heap_->LimitRefusals(), 3u) << "each refusal at the end of the offsets is the archive's own limit";
  EXPECT_EQ(heap_->DataSize(), 0xFFFFFFFFu);
  ASSERT_EQ(heap_->Free(most, room - 100), S_OK);
  const uint32_t head = heap_->HeaderField(header::kFreeList);
  EXPECT_EQ(head, most) << "the area's record comes from the area";
  EXPECT_EQ(FreeBlock(*heap_, head).Start(), most + FreeBlock::kSize);
  EXPECT_EQ(heap_->Allocate(100), last - 100) << "a small block from the top of the area";
  ASSERT_EQ(heap_->Free(last, 100), S_OK);
  EXPECT_EQ(heap_->DataSize(), last) << "free bytes that reach the end come off it";
  PutBack(freeList);

  // A revision that does not fit is refused, reported and taken back; the newest stays current.
  const uint64_t refusals = heap_->Refusals();
  errors_.reports = 0;
  EXPECT_EQ(Add(random(3 * kRoom), 0), E_FAIL);
  EXPECT_GT(heap_->Refusals(), refusals);
  EXPECT_EQ(errors_.reports, 1);
  EXPECT_TRUE(heap_->IsOpen());
  EXPECT_EQ(Chain(), chain);
  EXPECT_EQ(RevisionRecord(*heap_, chain[2]).Next(), 0u);

  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "open" : "reopened");
    for (size_t k = 0; k < history.size(); ++k) EXPECT_EQ(Read(Chain()[k]), history[k]) << "revision " << k + 1;
    ProblemCount walk;
    EXPECT_EQ(WalkArchive(*heap_, walk), S_OK);
    EXPECT_EQ(walk.problems, 0);
    FreeSpaceReport report;
    EXPECT_EQ(heap_->FreeSpace(&report), S_OK);
    heap_.reset();
    if (pass == 0) Open();
  }
}

}  // namespace
}  // namespace cairn
