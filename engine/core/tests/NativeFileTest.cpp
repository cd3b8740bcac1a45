// The heap over the operating system's own files and mappings (Win32 under Wine, or POSIX).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ArchiveHeap.h"
#include "ArchiveOpen.h"
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
  ASSERT_EQ(OpenArchive(files_, path, true, true, &heap), S_OK);
  heap.reset();
  const std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 32u);
  const uint32_t expected[8] = {11, 0, 0, 1, 7, 0, 0, 0};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(LoadLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4 * i), expected[i]) << "word " << i;
  ASSERT_EQ(ArchiveHeap::Open(files_, path, false, false, &heap), S_OK);
  EXPECT_EQ(heap->HeaderField(header::kNextSnapshotNumber), 1u);
}

// Temporary files start empty, are each their own, and grow, map and keep what is written.
TEST_F(NativeFileTest, TemporaryFilesAreSeparateAndWritable) {
  std::unique_ptr<PlatformFile> first, second;
  ASSERT_EQ(files_.OpenTemporary(&first), S_OK);
  ASSERT_EQ(files_.OpenTemporary(&second), S_OK);
  uint8_t* views[2] = {};
  PlatformFile* temporaries[2] = {first.get(), second.get()};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(temporaries[i]->Size(), 0u);
    ASSERT_EQ(temporaries[i]->Reserve(65536), S_OK);
    ASSERT_EQ(temporaries[i]->Map(65536, 0, &views[i]), S_OK);
    std::memset(views[i], 'a' + i, 65536);
  }
  EXPECT_EQ(views[0][65535], 'a');
  EXPECT_EQ(views[1][0], 'b');
  first->Unmap();
  ASSERT_EQ(first->Map(65536, 0, &views[0]), S_OK);
  EXPECT_EQ(views[0][100], 'a') << "written back and mapped again";
}

TEST_F(NativeFileTest, MissingFileWithoutCreateIsNotMade) {
  std::unique_ptr<ArchiveHeap> heap;
  EXPECT_TRUE(FAILED(OpenArchive(files_, dir_.Path("none.crn"), false, true, &heap)));
  EXPECT_TRUE(ReadFileBytes(dir_.Path("none.crn")).empty());
}

TEST_F(NativeFileTest, GrowthReachesTheFileAndSurvivesReopening) {
  const std::string path = dir_.Path("grow.crn");
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(OpenArchive(files_, path, true, true, &heap), S_OK);
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
  ASSERT_EQ(OpenArchive(files_, archivePath, true, true, &heap), S_OK);
  ASSERT_TRUE(testing::BuildSampleArchive(*heap));
  heap.reset();
  const std::string archive = ReadFileBytes(archivePath);
  const std::string exePath = dir_.Path("A.ExE");
  ASSERT_TRUE(WriteFileBytes(exePath, std::string(kSelfExtractingOffset, 'M') + archive));

  ASSERT_EQ(OpenArchive(files_, exePath, false, true, &heap), S_OK);
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
  ASSERT_EQ(OpenArchive(files_, path, true, true, &heap), S_OK);
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
  ASSERT_EQ(OpenArchive(files_, path, true, true, &writer), S_OK);
  ASSERT_EQ(ArchiveHeap::Open(files_, path, false, false, &reader), S_OK);
  EXPECT_EQ(OpenArchive(files_, path, false, true, &other), kSharingViolation) << "a second writer";
  ASSERT_TRUE(writer->SetHeaderField(header::kOptions, 3));
  EXPECT_EQ(reader->HeaderField(header::kOptions), 3u) << "one file, one set of bytes";
  // What the writer links past the end the reader mapped is reached all the same, and what the
  // reader had in hand stays readable.
  const uint8_t* header = reader->Resolve(0, header::kSize);
  const uint32_t far = writer->Allocate(3 * ArchiveHeap::kMinStep);
  ASSERT_NE(far, 0u);
  ASSERT_TRUE(writer->Write32(far + 8, 0xC0FFEE));
  ASSERT_TRUE(writer->SetHeaderField(header::kNamedStreams, far));
  EXPECT_EQ(reader->Read32(reader->HeaderField(header::kNamedStreams) + 8), 0xC0FFEEu);
  EXPECT_GE(reader->DataSize(), far + 12);
  EXPECT_EQ(header[16], 3) << "an earlier view stays mapped";
  EXPECT_EQ(reader->Read32(writer->MappedSize() + 4), 0u) << "nothing past the file";
  // The writer gone, the next one gets in, beside the reader.
  writer.reset();
  EXPECT_EQ(OpenArchive(files_, path, false, true, &other), S_OK);
}

// On a disk of 4 MiB that fills up (tests/full-disk.sh mounts one and names it in
// CAIRN_FULL_DISK_DIR), every byte the heap hands out can be written: growth the disk cannot hold
// is refused, never a fault while writing through the mapping. A nearly full disk still takes
// what fits, and what was written reads back after the archive is released.
TEST(FullDiskTest, GrowthThatDoesNotFitIsRefusedAndNothingFaults) {
  const char* folder = std::getenv("CAIRN_FULL_DISK_DIR");
  if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "runs on the disk that tests/full-disk.sh mounts";
  const std::string path = std::string(folder) + "/full.crn";
  std::remove(path.c_str());
  constexpr uint32_t kBlock = 40000;
  std::vector<uint32_t> blocks;
  {
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path, true, true, &heap), S_OK);
    for (uint32_t block; (block = heap->Allocate(kBlock)) != 0;) {
      std::memset(heap->Resolve(block, kBlock), static_cast<int>(blocks.size() % 250 + 1), kBlock);
      blocks.push_back(block);
    }
    EXPECT_EQ(heap->Refusals(), 1u);
    EXPECT_TRUE(heap->IsOpen());
    // Steps of 1 MiB alone would stop near 3 MiB.
    EXPECT_GT(heap->DataSize(), 3u * ArchiveHeap::kMinStep + ArchiveHeap::kMinStep / 2);
    ASSERT_EQ(heap->Free(blocks.back(), kBlock), S_OK);
    EXPECT_NE(heap->Allocate(kBlock / 2), 0u) << "freed space serves on a full disk";
    blocks.pop_back();
  }
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), path, false, false, &heap), S_OK);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const uint8_t* bytes = heap->Resolve(blocks[i], kBlock);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], i % 250 + 1);
    EXPECT_EQ(bytes[kBlock - 1], i % 250 + 1);
  }
  ArchiveVisitor quiet;
  EXPECT_EQ(WalkArchive(*heap, quiet), S_OK);
  heap.reset();
  std::remove(path.c_str());
}

}  // namespace
}  // namespace cairn
