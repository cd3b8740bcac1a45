// The heap over the operating system's own files and mappings (Win32 under Wine, or POSIX).
#include <gtest/gtest.h>

#include <cstring>

#include "ArchiveHeap.h"
#include "ArchiveWalk.h"
#include "ByteOrder.h"
#include "SampleArchive.h"
#include "TempDir.h"

namespace cairn {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

class NativeFileTest : public ::testing::Test {
 protected:
  PlatformFiles& files_ = PlatformFiles::Native();
  testing::TempDir dir_;
};

TEST_F(NativeFileTest, CreatesTheHeaderOnDiskAndReopensIt) {
  const std::string path = dir_.Path("new.crn");
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(files_, path, true, true, &heap), S_OK);
  heap.reset();
  const std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 32u);
  const uint32_t expected[8] = {11, 0, 0, 1, 7, 0, 0, 0};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(LoadLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4 * i), expected[i]) << "word " << i;
  ASSERT_EQ(ArchiveHeap::Open(files_, path, false, false, &heap), S_OK);
  EXPECT_EQ(heap->HeaderField(header::kNextSnapshotNumber), 1u);
}

TEST_F(NativeFileTest, MissingFileWithoutCreateIsNotMade) {
  std::unique_ptr<ArchiveHeap> heap;
  EXPECT_TRUE(FAILED(ArchiveHeap::Open(files_, dir_.Path("none.crn"), false, true, &heap)));
  EXPECT_TRUE(ReadFileBytes(dir_.Path("none.crn")).empty());
}

TEST_F(NativeFileTest, GrowthReachesTheFileAndSurvivesReopening) {
  const std::string path = dir_.Path("grow.crn");
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(files_, path, true, true, &heap), S_OK);
  ASSERT_TRUE(testing::BuildSampleArchive(*heap));
  uint32_t last = 0;
  for (uint32_t i = 1; i <= 200; ++i) {
    last = heap->Allocate(i * 10);
    ASSERT_NE(last, 0u);
    std::memset(heap->Resolve(last, i * 10), static_cast<int>(i), i * 10);
  }
  const uint32_t size = heap->DataSize();
  heap.reset();
  EXPECT_EQ(ReadFileBytes(path).size(), size);

  ASSERT_EQ(ArchiveHeap::Open(files_, path, false, false, &heap), S_OK);
  EXPECT_EQ(heap->Resolve(last)[0], 200);
  ArchiveVisitor quiet;
  EXPECT_EQ(WalkArchive(*heap, quiet), S_OK);
}

TEST_F(NativeFileTest, SelfExtractingFileIsReadInPlaceBehindTheLauncher) {
  const std::string archivePath = dir_.Path("a.crn");
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(files_, archivePath, true, true, &heap), S_OK);
  ASSERT_TRUE(testing::BuildSampleArchive(*heap));
  heap.reset();
  const std::string archive = ReadFileBytes(archivePath);
  const std::string exePath = dir_.Path("A.ExE");
  ASSERT_TRUE(WriteFileBytes(exePath, std::string(kSelfExtractingOffset, 'M') + archive));

  ASSERT_EQ(ArchiveHeap::Open(files_, exePath, false, true, &heap), S_OK);
  EXPECT_EQ(heap->DataSize(), archive.size());
  std::string name;
  ASSERT_EQ(ReadString(*heap, SnapshotRecord(*heap, heap->HeaderField(header::kSnapshotList)).Name(), &name), S_OK);
  EXPECT_EQ(name, "Snapshot;1");
  // Growth keeps the launcher in front and the archive offsets where they were.
  const uint32_t block = heap->Allocate(5000);
  EXPECT_EQ(block, archive.size());
  heap.reset();
  const std::string grown = ReadFileBytes(exePath);
  EXPECT_EQ(grown.size(), kSelfExtractingOffset + archive.size() + 5000);
  EXPECT_EQ(grown.substr(0, kSelfExtractingOffset), std::string(kSelfExtractingOffset, 'M'));
  EXPECT_EQ(grown.substr(kSelfExtractingOffset, archive.size()), archive);
}

TEST_F(NativeFileTest, ReadOnlyOpenLeavesTheFileUnchanged) {
  const std::string path = dir_.Path("ro.crn");
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(files_, path, true, true, &heap), S_OK);
  heap.reset();
  ASSERT_EQ(ArchiveHeap::Open(files_, path, false, false, &heap), S_OK);
  EXPECT_EQ(heap->Allocate(10), 0u);
  EXPECT_FALSE(heap->SetHeaderField(header::kOptions, 1));
  heap.reset();
  EXPECT_EQ(ReadFileBytes(path).size(), 32u);
}

TEST_F(NativeFileTest, OneWriterAndAnyReadersShareTheFile) {
  const std::string path = dir_.Path("shared.crn");
  std::unique_ptr<ArchiveHeap> writer, reader, other;
  ASSERT_EQ(ArchiveHeap::Open(files_, path, true, true, &writer), S_OK);
  ASSERT_EQ(ArchiveHeap::Open(files_, path, false, false, &reader), S_OK);
  EXPECT_EQ(ArchiveHeap::Open(files_, path, false, true, &other), kSharingViolation) << "a second writer";
  ASSERT_TRUE(writer->SetHeaderField(header::kOptions, 3));
  EXPECT_EQ(reader->HeaderField(header::kOptions), 3u) << "one file, one set of bytes";
  // The writer gone, the next one gets in, beside the reader.
  writer.reset();
  EXPECT_EQ(ArchiveHeap::Open(files_, path, false, true, &other), S_OK);
}

}  // namespace
}  // namespace cairn
