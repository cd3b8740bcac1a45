// Record accessors: byte positions of fields, the 72-byte status block, strings, and accesses
// that fall outside the archive.
#include <gtest/gtest.h>

#include <cstring>

#include "ArchiveOpen.h"
#include "ArchiveRecords.h"
#include "ByteOrder.h"
#include "MemoryFiles.h"

namespace cairn {
namespace {

class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenArchive(files_, "a.crn", true, true, &heap_), S_OK); }
  testing::MemoryFiles files_;
  std::unique_ptr<ArchiveHeap> heap_;
};

TEST_F(RecordsTest, StatusBlockHasTheThirtyTwoBitLayoutAtByte32) {
  const uint32_t offset = heap_->Allocate(RevisionRecord::kSize);
  RevisionRecord revision(*heap_, offset);
  StatBlock stat;
  stat.type = 1;
  stat.size = 0x0000000500000007ull;
  stat.modified = 0x1111111122222222ull;
  stat.created = 0x3333333344444444ull;
  stat.accessed = 0x5555555566666666ull;
  stat.mode = 0x12;
  stat.locksSupported = 2;
  for (int i = 0; i < 16; ++i) stat.classId[i] = static_cast<uint8_t>(0xA0 + i);
  stat.stateBits = 0x77;
  stat.attributes = 0x10;
  ASSERT_TRUE(revision.WriteStat(stat));

  const uint8_t* r = heap_->Resolve(offset, RevisionRecord::kSize);
  EXPECT_EQ(LoadLE32(r + 32), 0u) << "name is always 0";
  EXPECT_EQ(LoadLE32(r + 36), 1u);
  EXPECT_EQ(LoadLE32(r + 40), 7u) << "size, low word first";
  EXPECT_EQ(LoadLE32(r + 44), 5u);
  EXPECT_EQ(LoadLE64(r + 48), stat.modified);
  EXPECT_EQ(LoadLE64(r + 56), stat.created);
  EXPECT_EQ(LoadLE64(r + 64), stat.accessed);
  EXPECT_EQ(LoadLE32(r + 72), 0x12u);
  EXPECT_EQ(LoadLE32(r + 76), 2u);
  EXPECT_EQ(r[80], 0xA0);
  EXPECT_EQ(r[95], 0xAF);
  EXPECT_EQ(LoadLE32(r + 96), 0x77u);
  EXPECT_EQ(LoadLE32(r + 100), 0x10u);
  EXPECT_EQ(revision.Size(), stat.size);
  EXPECT_TRUE(revision.IsFolder());

  StatBlock back;
  ASSERT_TRUE(revision.ReadStat(&back));
  EXPECT_EQ(std::memcmp(back.classId, stat.classId, 16), 0);
  EXPECT_EQ(back.accessed, stat.accessed);
  EXPECT_EQ(back.attributes, stat.attributes);
}

TEST_F(RecordsTest, FieldsSitWhereTheFormatSays) {
  const uint32_t s = heap_->Allocate(SnapshotRecord::kSize);
  SnapshotRecord snapshot(*heap_, s);
  snapshot.SetNext(1);
  snapshot.SetPrevious(2);
  snapshot.SetEntries(3);
  snapshot.SetNumber(-4);
  snapshot.SetName(5);
  snapshot.SetComment(6);
  snapshot.SetCreated(Stamp{7, 8});
  snapshot.SetFlags(9);
  const uint8_t* p = heap_->Resolve(s, 36);
  for (uint32_t i = 0; i < 9; ++i)
    EXPECT_EQ(LoadLE32(p + 4 * i), i == 3 ? static_cast<uint32_t>(-4) : i + 1) << "word " << i;

  const uint32_t d = heap_->Allocate(DifferenceRecord::kSize);
  DifferenceRecord difference(*heap_, d);
  difference.SetKind(difference_kind::kChange);
  difference.SetData(0x100);
  difference.SetLength(0x200);
  difference.SetPosition(0x300);
  p = heap_->Resolve(d, 20);
  EXPECT_EQ(p[4], 4);
  EXPECT_EQ(p[5] | p[6] | p[7], 0);
  EXPECT_EQ(LoadLE32(p + 8), 0x100u);
  EXPECT_EQ(LoadLE32(p + 12), 0x200u);
  EXPECT_EQ(LoadLE32(p + 16), 0x300u);
}

TEST_F(RecordsTest, AsAtStampOfASnapshot) {
  SnapshotRecord snapshot(*heap_, heap_->Allocate(SnapshotRecord::kSize));
  snapshot.SetNumber(12);
  snapshot.SetCreated(Stamp{0x1234, 0x01D00000});
  snapshot.SetFlags(0x11);
  EXPECT_EQ(snapshot.AsAt(), (Stamp{12, 0x7FFFFFFF}));
  snapshot.SetFlags(0x01);
  EXPECT_EQ(snapshot.AsAt(), (Stamp{0x1234, 0x01D00000}));
}

TEST_F(RecordsTest, StringsRoundTripAndMustEndInsideTheArchive) {
  const uint32_t name = WriteString(*heap_, "Autosnap;12");
  ASSERT_NE(name, 0u);
  EXPECT_EQ(heap_->DataSize(), 32u + 12u) << "a string takes its length plus one";
  std::string text;
  ASSERT_EQ(ReadString(*heap_, name, &text), S_OK);
  EXPECT_EQ(text, "Autosnap;12");
  const uint32_t empty = WriteString(*heap_, "");
  ASSERT_EQ(ReadString(*heap_, empty, &text), S_OK);
  EXPECT_EQ(text, "");

  // Overwrite the terminator of the last string in the file: it now runs off the end.
  *heap_->Resolve(empty) = 'x';
  EXPECT_EQ(ReadString(*heap_, empty, &text), kCorruptArchive);
  EXPECT_EQ(ReadString(*heap_, 0, &text), kCorruptArchive);
  EXPECT_EQ(ReadString(*heap_, 8, &text), kCorruptArchive) << "never inside the header";
  EXPECT_EQ(ReadString(*heap_, heap_->DataSize(), &text), kCorruptArchive);
  EXPECT_EQ(FreeString(*heap_, empty), kCorruptArchive);

  ASSERT_EQ(FreeString(*heap_, name), S_OK);
  FreeSpaceReport report;
  ASSERT_EQ(heap_->FreeSpace(&report), S_OK);
  EXPECT_EQ(report.total, 12u);
}

TEST_F(RecordsTest, AccessesOutsideTheArchiveReadZeroAndWriteNothing) {
  const uint32_t size = heap_->DataSize();
  ObjectRecord past(*heap_, size - 4);
  EXPECT_FALSE(past.IsValid());
  EXPECT_EQ(past.Name(), 0u);
  EXPECT_FALSE(past.SetName(1));
  EXPECT_FALSE(ObjectRecord(*heap_, 0).IsValid()) << "records never overlap the header";
  RevisionRecord huge(*heap_, 0xFFFFFFF0u);
  EXPECT_FALSE(huge.IsValid());
  EXPECT_EQ(huge.Next(), 0u);
  EXPECT_EQ(huge.Size(), 0u);
  StatBlock stat;
  EXPECT_FALSE(huge.ReadStat(&stat));
  EXPECT_FALSE(huge.WriteStat(stat));
  EXPECT_EQ(heap_->DataSize(), size);

  // A difference's data block must lie inside the archive; a deletion has none.
  DifferenceRecord d(*heap_, heap_->Allocate(DifferenceRecord::kSize));
  d.SetKind(difference_kind::kInsertion);
  d.SetData(heap_->DataSize() - 4);
  d.SetLength(8);
  EXPECT_FALSE(d.HasSoundData());
  d.SetLength(4);
  EXPECT_TRUE(d.HasSoundData());
  d.SetKind(difference_kind::kDeletion);
  d.SetData(0);
  d.SetLength(0xFFFFFFFF);
  EXPECT_TRUE(d.HasSoundData());
}

}  // namespace
}  // namespace cairn
