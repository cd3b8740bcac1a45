// What an archive's records cover, and how space that nothing covers comes back: at once after a
// failure, and at the next open for writing after a writer that never released the archive.
#include <gtest/gtest.h>

#include "ArchiveCoverage.h"
#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "ByteOrder.h"
#include "MemoryFiles.h"
#include "SampleArchive.h"

namespace cairn {
namespace {

class CoverageTest : public ::testing::Test {
 protected:
  std::unique_ptr<ArchiveHeap> Open(const std::string& path, bool write = true) {
    std::unique_ptr<ArchiveHeap> heap;
    EXPECT_EQ(OpenArchive(files_, path, true, write, &heap), S_OK);
    return heap;
  }
  // A sample archive at rest.
  void Sample(const std::string& path) {
    auto heap = Open(path);
    ASSERT_TRUE(testing::BuildSampleArchive(*heap));
  }
  static ArchiveCoverage Map(ArchiveHeap& heap, HRESULT expected = S_OK) {
    ArchiveCoverage coverage;
    EXPECT_EQ(MapCoverage(heap, &coverage), expected);
    return coverage;
  }

  testing::MemoryFiles files_;
};

TEST_F(CoverageTest, ASoundArchiveIsCoveredWholeAndWhatIsNotLinkedComesBack) {
  Sample("a.crn");
  auto heap = Open("a.crn");
  ArchiveCoverage coverage = Map(*heap);
  EXPECT_TRUE(coverage.gaps.empty());
  EXPECT_TRUE(coverage.overlaps.empty());
  EXPECT_EQ(coverage.logicalEnd, heap->DataSize());

  // Records allocated and never linked (some from the free list), something linked behind them
  // (a name longer than any free area), and one more at the end.
  const uint32_t a = heap->Allocate(100), b = heap->Allocate(50), c = heap->Allocate(7);
  testing::ArchiveBuilder build(*heap);
  build.Push(header::kNamedStreams, build.Object(std::string(200, 'L')));
  const uint32_t last = heap->Allocate(300);
  ASSERT_TRUE(a != 0 && b != 0 && c != 0 && last != 0);
  const uint32_t grown = heap->DataSize();
  coverage = Map(*heap);
  EXPECT_EQ(coverage.GapBytes(), 100u + 50 + 7);
  EXPECT_EQ(coverage.logicalEnd, last);

  uint64_t reclaimed = 0;
  ASSERT_EQ(ReclaimUnreachable(*heap, &reclaimed), S_OK);
  EXPECT_EQ(reclaimed, 100u + 50 + 7 + 300);
  EXPECT_EQ(heap->DataSize(), grown - 300) << "the end is cut off, not freed";
  coverage = Map(*heap);
  EXPECT_TRUE(coverage.gaps.empty());
  EXPECT_TRUE(coverage.overlaps.empty());
  EXPECT_NE(heap->Allocate(100), 0u);
  EXPECT_EQ(heap->DataSize(), grown - 300) << "freed space serves again";
}

TEST_F(CoverageTest, OverlappingBlocksAreDamageAndNothingIsFreed) {
  Sample("a.crn");
  auto heap = Open("a.crn");
  // Two objects named by one string.
  testing::ArchiveBuilder build(*heap);
  const uint32_t one = build.Object("twice"), two = build.Object("other");
  build.Push(header::kNamedStreams, one);
  build.Push(header::kNamedStreams, two);
  ObjectRecord(*heap, two).SetName(ObjectRecord(*heap, one).Name());
  const ArchiveCoverage coverage = Map(*heap);
  ASSERT_EQ(coverage.overlaps.size(), 1u);
  EXPECT_EQ(coverage.overlaps[0].start, ObjectRecord(*heap, one).Name());
  EXPECT_EQ(coverage.overlaps[0].length, 6u);
  const std::vector<uint8_t> bytes(heap->Resolve(0, heap->DataSize()), heap->Resolve(0) + heap->DataSize());
  EXPECT_EQ(ReclaimUnreachable(*heap), kCorruptArchive);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), heap->Resolve(0, heap->DataSize())));
}

// A writer marks the archive with its first change and clears the mark when it releases it; an
// archive still marked was left by a writer that ended in the middle, and the next writer gives
// back what that one had not linked. A reader changes nothing.
TEST_F(CoverageTest, TheWritersMarkTellsTheNextWriterToGiveBackWhatWasLeft) {
  Sample("a.crn");
  const std::vector<uint8_t> atRest = files_.Bytes("a.crn");
  EXPECT_EQ(LoadLE32(atRest.data() + header::kReserved), 0u);
  {
    auto heap = Open("a.crn");
    EXPECT_EQ(heap->HeaderField(header::kReserved), 0u) << "opening alone changes nothing";
    ASSERT_NE(heap->Allocate(64), 0u);
    ASSERT_NE(heap->Allocate(64), 0u);
    testing::ArchiveBuilder build(*heap);
    build.Push(header::kNamedStreams, build.Object(std::string(200, 'L')));  // linked behind them
    EXPECT_EQ(heap->HeaderField(header::kReserved), kWritingMark);
    files_.Bytes("crash.crn") = files_.Bytes("a.crn");  // the process ends here
  }
  EXPECT_EQ(LoadLE32(files_.Bytes("a.crn").data() + header::kReserved), 0u) << "released";

  {
    auto reader = Open("crash.crn", false);
    EXPECT_EQ(Map(*reader).GapBytes(), 128u);
    EXPECT_EQ(reader->HeaderField(header::kReserved), kWritingMark);
  }
  auto heap = Open("crash.crn");
  EXPECT_EQ(heap->HeaderField(header::kReserved), 0u);
  const ArchiveCoverage coverage = Map(*heap);
  EXPECT_TRUE(coverage.gaps.empty());
  EXPECT_EQ(coverage.logicalEnd, heap->DataSize());
}

// A writer that stopped after an exact fit used up a free area at the end leaves an empty record
// pointing into what the next writer cuts off: the record moves to the new end, so the archive
// walks soundly; an empty record anywhere hands out nothing, and never stops a writer.
TEST_F(CoverageTest, EmptyFreeRecordsFollowTheCutEndAndNeverStopAWriter) {
  Sample("a.crn");
  auto heap = Open("a.crn");
  const uint32_t record = heap->Allocate(ArchiveHeap::kFreeBlockSize);
  const uint32_t unlinked = heap->Allocate(5000);
  ASSERT_TRUE(record != 0 && unlinked != 0);
  ASSERT_EQ(unlinked + 5000, heap->DataSize()) << "taken from the end";
  heap->Write32(record, heap->DataSize());
  heap->Write32(record + 8, heap->HeaderField(header::kFreeList));
  heap->SetHeaderField(header::kFreeList, record);
  EXPECT_EQ(CheckFreeList(*heap), S_OK);

  ASSERT_EQ(ReclaimUnreachable(*heap), S_OK);
  EXPECT_EQ(heap->DataSize(), unlinked);
  EXPECT_EQ(heap->Read32(record), unlinked);
  EXPECT_TRUE(Map(*heap).gaps.empty());

  heap->Write32(record, heap->DataSize() + 50);
  EXPECT_EQ(CheckFreeList(*heap), S_OK);
}

// Where a sample archive keeps its free blocks, a data block, an object record and a string.
struct Landmarks final : ArchiveVisitor {
  std::vector<uint32_t> free;
  uint32_t data = 0, dataLength = 0, object = 0, name = 0;
  void OnFreeBlock(const FreeBlock& block) override { free.push_back(block.Offset()); }
  void OnObject(const ObjectRecord& record, const std::string&) override {
    if (object == 0) object = record.Offset(), name = record.Name();
  }
  void OnDifference(const RevisionRecord&, const DifferenceRecord& difference) override {
    if (data == 0 && difference.Kind() != difference_kind::kDeletion)
      data = difference.Data(), dataLength = difference.Length();
  }
};

bool Intersect(const FreeSpan& block, uint32_t start, uint32_t length) {
  return block.record < uint64_t{start} + length && uint64_t{block.record} + ArchiveHeap::kFreeBlockSize > start;
}

struct FreeSpans final : ArchiveVisitor {
  std::vector<FreeSpan> blocks;
  void OnFreeBlock(const FreeBlock& block) override {
    blocks.push_back(FreeSpan{block.Offset(), ByteRange{block.Start(), block.Length()}});
  }
};

// A free list that names bytes something else holds would have the next allocation overwrite
// them: it is damage, whatever it overlaps, and checking it changes nothing.
TEST_F(CoverageTest, AFreeListOverLiveBytesOrPastTheEndIsDamage) {
  Sample("a.crn");
  const std::vector<uint8_t> sound = files_.Bytes("a.crn");
  Landmarks marks;
  {
    auto heap = Open("a.crn", false);
    ASSERT_EQ(WalkArchive(*heap, marks), S_OK);
    EXPECT_EQ(CheckFreeList(*heap), S_OK) << "a reader may check as well";
  }
  ASSERT_GE(marks.free.size(), 2u);
  ASSERT_TRUE(marks.data != 0 && marks.object != 0 && marks.name != 0);
  struct Case {
    const char* what;
    uint32_t start, length;
    FreeFault fault;
  } cases[] = {
      {"a data block", marks.data + 1, 1, FreeFault::kOverlap},
      {"an object record", marks.object, ObjectRecord::kSize, FreeFault::kOverlap},
      {"a string", marks.name, 2, FreeFault::kOverlap},
      {"another free block's record", marks.free[1], 4, FreeFault::kOverlap},
      {"the end of the file", static_cast<uint32_t>(sound.size()) - 4, 8, FreeFault::kPastEnd},
  };
  for (const Case& c : cases) {
    files_.Bytes("a.crn") = sound;
    StoreLE32(files_.Bytes("a.crn").data() + marks.free[0], c.start);
    StoreLE32(files_.Bytes("a.crn").data() + marks.free[0] + 4, c.length);
    const std::vector<uint8_t> damaged = files_.Bytes("a.crn");
    {
      auto heap = Open("a.crn");
      EXPECT_EQ(CheckFreeList(*heap), kCorruptArchive) << c.what;
      // The damaged block is named first, with its fault; a free block whose record it covers as well.
      FreeSpans spans;
      ArchiveCoverage coverage;
      MapCoverage(*heap, &coverage, &spans);
      const std::vector<UnsoundFreeBlock> unsound = FindUnsoundFreeBlocks(*heap, coverage, spans.blocks);
      ASSERT_FALSE(unsound.empty()) << c.what;
      for (const UnsoundFreeBlock& other : unsound)
        EXPECT_TRUE(other.block.record == marks.free[0] || Intersect(other.block, c.start, c.length)) << c.what;
      EXPECT_EQ(unsound[0].block.record, marks.free[0]) << c.what;
      EXPECT_EQ(unsound[0].block.area.start, c.start) << c.what;
      EXPECT_TRUE(unsound[0].fault == c.fault) << c.what;
    }
    EXPECT_EQ(files_.Bytes("a.crn"), damaged) << c.what;
  }
  // A link past the end names nothing yet, but the bytes the archive grows into next.
  files_.Bytes("a.crn") = sound;
  StoreLE32(files_.Bytes("a.crn").data() + marks.free[0] + 8, static_cast<uint32_t>(sound.size()) + 64);
  {
    auto heap = Open("a.crn");
    EXPECT_EQ(CheckFreeList(*heap), kCorruptArchive) << "a link past the end";
  }
  files_.Bytes("a.crn") = sound;
  auto heap = Open("a.crn");
  EXPECT_EQ(CheckFreeList(*heap), S_OK);
}

}  // namespace
}  // namespace cairn
