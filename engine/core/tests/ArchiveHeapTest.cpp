// The archive heap over in-memory files: header creation and checks, the self-extracting
// offset, allocation from the lowest block that fits, growth, and Free's merges and cut of the end.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "ArchiveHeap.h"
#include "ArchiveOpen.h"
#include "ArchiveRecords.h"
#include "ByteOrder.h"
#include "MemoryFiles.h"

namespace cairn {
namespace {

using testing::MemoryFiles;

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> bytes(words.size() * 4);
  size_t i = 0;
  for (uint32_t w : words) StoreLE32(&bytes[4 * i++], w);
  return bytes;
}

class HeapTest : public ::testing::Test {
 protected:
  std::unique_ptr<ArchiveHeap> Create(const std::string& name = "a.crn") {
    std::unique_ptr<ArchiveHeap> heap;
    HRESULT hr = OpenArchive(files_, name, true, true, &heap);
    EXPECT_EQ(hr, S_OK) << std::hex << hr;
    return heap;
  }
  // The free list as (start, length) pairs from the head.
  std::vector<std::pair<uint32_t, uint32_t>> FreeList(ArchiveHeap& heap) {
    std::vector<std::pair<uint32_t, uint32_t>> list;
    for (uint32_t b = heap.HeaderField(header::kFreeList); b != 0 && list.size() < 100; b = FreeBlock(heap, b).Next())
      list.emplace_back(FreeBlock(heap, b).Start(), FreeBlock(heap, b).Length());
    return list;
  }
  // Replaces the free list with blocks made by hand, in this order, their records from growth.
  void SetFreeList(ArchiveHeap& heap, std::vector<std::pair<uint32_t, uint32_t>> blocks) {
    uint32_t next = 0;
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
      heap.SetHeaderField(header::kFreeList, 0);
      const uint32_t record = heap.Allocate(ArchiveHeap::kFreeBlockSize);
      heap.Write32(record, it->first);
      heap.Write32(record + 4, it->second);
      heap.Write32(record + 8, next);
      next = record;
    }
    heap.SetHeaderField(header::kFreeList, next);
  }
  MemoryFiles files_;
};

TEST_F(HeapTest, NewEmptyFileBecomesTheThirtyTwoByteHeader) {
  auto heap = Create();
  heap.reset();
  EXPECT_EQ(files_.Bytes("a.crn"), Words({11, 0, 0, 1, 7, 0, 0, 0}));
}

TEST_F(HeapTest, VersionWordDecidesWhetherTheFileOpens) {
  struct Case {
    uint32_t version;
    bool create;
    HRESULT expected;
  } cases[] = {
      {11, false, S_OK},          {11, true, S_OK},
      {12, false, kNewerVersion}, {12, true, kNewerVersion},
      {127, false, kNewerVersion}, {127, true, kNewerVersion},
      {128, false, kNotAnArchive}, {128, true, kNotAnArchive},
      {10, true, kNotAnArchive},  {0, true, kNotAnArchive},
      {0xFFFFFFFF, true, kNotAnArchive},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> original = Words({c.version, 0, 0, 5, 3, 0, 9, 0, 0xDEADBEEF});
    files_.Bytes("v.crn") = original;
    std::unique_ptr<ArchiveHeap> heap;
    HRESULT hr = OpenArchive(files_, "v.crn", c.create, true, &heap);
    EXPECT_EQ(hr, c.expected) << "version " << c.version << " create " << c.create << " got " << std::hex << hr;
    EXPECT_EQ(heap != nullptr, c.expected == S_OK);
    heap.reset();
    // An unknown or newer file is never overwritten, with or without the create flag.
    EXPECT_EQ(files_.Bytes("v.crn"), original) << "version " << c.version;
  }
}

TEST_F(HeapTest, FilesThatCannotBeArchivesAreLeftAlone) {
  std::unique_ptr<ArchiveHeap> heap;
  files_.Bytes("empty.crn");
  EXPECT_EQ(OpenArchive(files_, "empty.crn", false, true, &heap), kNotAnArchive);
  EXPECT_TRUE(files_.Bytes("empty.crn").empty());

  files_.Bytes("short.crn") = {11, 0, 0, 0, 0};
  EXPECT_EQ(OpenArchive(files_, "short.crn", true, true, &heap), kNotAnArchive);
  EXPECT_EQ(files_.Bytes("short.crn").size(), 5u);

  EXPECT_TRUE(FAILED(OpenArchive(files_, "missing.crn", false, true, &heap)));
  EXPECT_FALSE(files_.Exists("missing.crn"));

  // A new file can only be created writable.
  EXPECT_EQ(ArchiveHeap::Open(files_, "ro.crn", true, false, &heap), kNotAnArchive);
  EXPECT_TRUE(files_.Bytes("ro.crn").empty());

  // A self-extracting name cannot become a new archive: there is no launcher in front.
  EXPECT_TRUE(FAILED(OpenArchive(files_, "new.exe", true, true, &heap)));
  EXPECT_EQ(heap, nullptr);
}

TEST_F(HeapTest, SelfExtractingNamesReadTheArchiveBehindTheLauncher) {
  std::vector<uint8_t> archive = Words({11, 0, 0, 42, 0x0F, 0, 0, 0});
  std::vector<uint8_t> exe(kSelfExtractingOffset + archive.size(), 0xCC);
  std::copy(archive.begin(), archive.end(), exe.begin() + kSelfExtractingOffset);
  for (const char* name : {"a.exe", "b.EXE", "c.eXe", "d.xe"}) {
    files_.Bytes(name) = exe;
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(files_, name, false, true, &heap), S_OK) << name;
    EXPECT_EQ(heap->ViewOffset(), kSelfExtractingOffset);
    EXPECT_EQ(heap->DataSize(), 32u);
    EXPECT_EQ(heap->HeaderField(header::kNextSnapshotNumber), 42u) << name;
  }
  files_.Bytes("plain.crn") = archive;
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(OpenArchive(files_, "plain.crn", false, true, &heap), S_OK);
  EXPECT_EQ(heap->ViewOffset(), 0u);
  EXPECT_EQ(heap->HeaderField(header::kNextSnapshotNumber), 42u);

  // The same launcher-fronted bytes under an archive name start with the launcher: refused.
  files_.Bytes("front.crn") = exe;
  EXPECT_EQ(OpenArchive(files_, "front.crn", false, true, &heap), kNotAnArchive);
  EXPECT_FALSE(IsSelfExtractingName("a.exe.crn"));
  EXPECT_FALSE(IsSelfExtractingName("e"));
}

TEST_F(HeapTest, GrowthAppendsExactlyTheRequestZeroFilled) {
  auto heap = Create();
  EXPECT_EQ(heap->Allocate(0), 0u);
  const uint32_t a = heap->Allocate(100);
  EXPECT_EQ(a, 32u);
  std::memset(heap->Resolve(a, 100), 0xAB, 100);
  const uint32_t b = heap->Allocate(7);
  EXPECT_EQ(b, 132u);
  EXPECT_EQ(heap->DataSize(), 139u);
  const uint8_t* p = heap->Resolve(b, 7);
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(p[i], 0);
  EXPECT_EQ(heap->OffsetOf(p), b);
  EXPECT_EQ(heap->Resolve(b, 8), nullptr);
  EXPECT_EQ(heap->OffsetOf(p + 7), 0u);
  heap.reset();
  EXPECT_EQ(files_.Bytes("a.crn").size(), 139u);
}

TEST_F(HeapTest, AllocateTakesTheLowestFitSmallBlocksFromItsTopAndZeroesThem) {
  auto heap = Create();
  const uint32_t area = heap->Allocate(400);
  std::memset(heap->Resolve(area, 400), 0xEE, 400);
  // Free blocks of 40, 24, 30, 200 and 64 bytes, listed in that order.
  SetFreeList(*heap, {{area, 40}, {area + 40, 24}, {area + 70, 30}, {area + 100, 200}, {area + 336, 64}});
  const uint32_t size = heap->DataSize();

  const uint32_t taken = heap->Allocate(20);
  EXPECT_EQ(taken, area + 20) << "the lowest block that fits, a small block from its top";
  for (int i = 0; i < 20; ++i) EXPECT_EQ(heap->Resolve(taken)[i], 0);
  EXPECT_EQ(heap->Resolve(taken)[-1], 0xEE) << "only the request is zeroed";
  EXPECT_EQ(heap->Allocate(26), area + 74);
  EXPECT_EQ(heap->Allocate(150), area + 100) << "a large block from the bottom";
  EXPECT_EQ(heap->Allocate(60), area + 340);
  EXPECT_EQ(heap->Allocate(51), size) << "no block fits: the file grows";
  const auto list = FreeList(*heap);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0], std::make_pair(area, 20u));
  EXPECT_EQ(list[2], std::make_pair(area + 70, 4u));
  EXPECT_EQ(list[3], std::make_pair(area + 250, 50u));
  EXPECT_EQ(list[4], std::make_pair(area + 336, 4u));
}

TEST_F(HeapTest, ExactFitLeavesAnEmptyRecordThatTheNextFreeReuses) {
  auto heap = Create();
  const uint32_t a = heap->Allocate(16);
  heap->Allocate(4);
  const uint32_t c = heap->Allocate(16);
  heap->Allocate(4);
  ASSERT_EQ(heap->Free(a, 16), S_OK);
  EXPECT_EQ(heap->Allocate(16), a);
  auto list = FreeList(*heap);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].second, 0u) << "exact fit leaves a record of length 0";

  const uint32_t size = heap->DataSize();
  ASSERT_EQ(heap->Free(c, 16), S_OK);
  list = FreeList(*heap);
  ASSERT_EQ(list.size(), 1u) << "the empty record is reused, not a new one made";
  EXPECT_EQ(list[0], std::make_pair(c, 16u));
  EXPECT_EQ(heap->DataSize(), size);
}

TEST_F(HeapTest, FreeBetweenTwoFreeBlocksMergesWithBothAndFreeBytesAtTheEndComeOffIt) {
  auto heap = Create();
  // Blocks smaller than a FreeBlock record, so the records come from growth, not from them.
  const uint32_t a = heap->Allocate(8), b = heap->Allocate(8), c = heap->Allocate(8);
  heap->Allocate(4);
  ASSERT_EQ(heap->Free(a, 8), S_OK);
  ASSERT_EQ(heap->Free(c, 8), S_OK);
  ASSERT_EQ(FreeList(*heap).size(), 2u);
  ASSERT_EQ(heap->Free(b, 8), S_OK);
  const auto list = FreeList(*heap);
  ASSERT_EQ(list.size(), 2u);
  // c's block, at the head, gave its area up to a's, which now holds all three.
  EXPECT_EQ(list[0].second, 0u);
  EXPECT_EQ(list[1], std::make_pair(a, 24u));
  FreeSpaceReport report;
  ASSERT_EQ(heap->FreeSpace(&report), S_OK);
  EXPECT_EQ(report.total, 24u);
  EXPECT_EQ(report.largest, 24u);
  EXPECT_EQ(report.blocks, 2u);

  const uint32_t size = heap->DataSize();
  const uint32_t e = heap->Allocate(40);
  ASSERT_EQ(e, size);
  ASSERT_EQ(heap->Free(e, 40), S_OK);
  EXPECT_EQ(heap->DataSize(), size) << "freed at the end, the bytes come off it";
  EXPECT_EQ(FreeList(*heap).size(), 2u) << "and need no record";
  heap.reset();
  EXPECT_EQ(files_.Bytes("a.crn").size(), size);
}

TEST_F(HeapTest, FreeRefusesRangesOutsideTheData) {
  auto heap = Create();
  const uint32_t a = heap->Allocate(8);
  EXPECT_EQ(heap->Free(0, 8), E_INVALIDARG);
  EXPECT_EQ(heap->Free(31, 8), E_INVALIDARG);
  EXPECT_EQ(heap->Free(a, 9), E_INVALIDARG);
  EXPECT_EQ(heap->Free(0xFFFFFFF0u, 0x20), E_INVALIDARG);
  EXPECT_EQ(heap->HeaderField(header::kFreeList), 0u);
  FreeSpaceReport report;
  ASSERT_EQ(heap->FreeSpace(&report), S_OK);
  EXPECT_EQ(report.blocks, 0u);
  EXPECT_EQ(report.smallest, 0u);
}

TEST_F(HeapTest, ReadOnlyArchiveRefusesEveryChange) {
  Create().reset();
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(files_, "a.crn", false, false, &heap), S_OK);
  EXPECT_FALSE(heap->IsWritable());
  EXPECT_EQ(heap->Allocate(8), 0u);
  EXPECT_FALSE(heap->SetHeaderField(header::kOptions, 0));
  EXPECT_EQ(heap->Free(32, 0), E_ACCESSDENIED);
  EXPECT_EQ(heap->HeaderField(header::kOptions), 7u);
}

TEST_F(HeapTest, AllocationNeverTakesAnAreaOutsideTheData) {
  auto heap = Create();
  // A hostile free list: one block whose area covers the header, one beyond the end.
  SetFreeList(*heap, {{0, 64}, {40, 0x10000}});
  const uint32_t size = heap->DataSize();
  EXPECT_EQ(heap->Allocate(16), size);
  EXPECT_EQ(heap->HeaderField(header::kVersion), 11u);
  FreeSpaceReport report;
  EXPECT_EQ(heap->FreeSpace(&report), kCorruptArchive);
}

// Allocate and Free answer from the free list held in memory. Walking the list in the archive
// instead must give the same offsets and leave the same bytes, through lowest fits from either
// end of an area, exact fits that leave empty records, their reuse, merges on both sides, cuts of
// the end, growth and words of the list written from outside.
TEST_F(HeapTest, FreeListInMemoryAnswersAsTheWalk) {
  auto indexed = Create("a.crn");
  auto walked = Create("b.crn");
  walked->SetFreeListIndex(false);
  std::mt19937 random(20261208);  // fixed, so that a failure can be run again
  std::vector<std::pair<uint32_t, uint32_t>> live;
  for (int step = 0; step < 6000; ++step) {
    const uint32_t choice = random() % 20;
    if (choice < 9 || live.empty()) {
      const uint32_t length = choice == 0 ? 12 : 1 + random() % (random() % 4 == 0 ? 3000 : 40);
      const uint32_t a = indexed->Allocate(length);
      ASSERT_EQ(a, walked->Allocate(length)) << "step " << step;
      live.emplace_back(a, length);
    } else if (choice < 19) {
      const size_t i = random() % live.size();
      ASSERT_EQ(indexed->Free(live[i].first, live[i].second), walked->Free(live[i].first, live[i].second));
      live.erase(live.begin() + static_cast<long>(i));
    } else {
      // The first block given up from outside (its length set to 0), as a repair tool might.
      for (ArchiveHeap* heap : {indexed.get(), walked.get()})
        if (const uint32_t head = heap->HeaderField(header::kFreeList)) heap->Write32(head + 4, 0);
    }
    if (step % 16 == 0) {
      ASSERT_EQ(files_.Bytes("a.crn"), files_.Bytes("b.crn")) << "step " << step;
    }
  }
  ASSERT_EQ(files_.Bytes("a.crn"), files_.Bytes("b.crn"));
  FreeSpaceReport report;
  ASSERT_EQ(indexed->FreeSpace(&report), S_OK);
  EXPECT_GT(report.blocks, 10u);  // the run did build a list worth searching
}

}  // namespace
}  // namespace cairn
