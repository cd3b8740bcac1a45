// Failures of the platform under the heap: a mapping that cannot be made at open; a growth that
// fails, after which the archive is as it was; and a growth after which even the old size cannot
// be mapped, which closes the archive and keeps what was written before.
#include <gtest/gtest.h>

#include <cstring>

#include "ArchiveHeap.h"
#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "MemoryFiles.h"
#include "SampleArchive.h"
#include "TempDir.h"

namespace cairn {
namespace {

using testing::FaultyFiles;

// Runs against in-memory files and against the operating system's files.
class FaultTest : public ::testing::TestWithParam<bool> {
 protected:
  PlatformFiles& Real() { return GetParam() ? PlatformFiles::Native() : memory_; }
  std::string Path(const char* name) { return GetParam() ? dir_.Path(name) : name; }
  testing::MemoryFiles memory_;
  testing::TempDir dir_;
};

TEST_P(FaultTest, MappingFailureFailsTheOpen) {
  FaultyFiles files(Real());
  files.FailMap(1, E_OUTOFMEMORY);
  std::unique_ptr<ArchiveHeap> heap;
  EXPECT_EQ(OpenArchive(files, Path("a.crn"), true, true, &heap), E_OUTOFMEMORY);
  EXPECT_EQ(heap, nullptr);

  FaultyFiles refusing(Real());
  refusing.FailOpen(1, E_ACCESSDENIED);
  EXPECT_EQ(OpenArchive(refusing, Path("b.crn"), true, true, &heap), E_ACCESSDENIED);
}

TEST_P(FaultTest, AFailedGrowthLeavesTheArchiveAsItWas) {
  testing::ExactGrowth exact;  // every allocation here grows the file
  FaultyFiles files(Real());
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(OpenArchive(files, Path("a.crn"), true, true, &heap), S_OK);
  const uint32_t a = heap->Allocate(16);
  std::memcpy(heap->Resolve(a, 16), "kept across fail", 16);
  heap->Allocate(4);  // so that freeing a cannot cut the end
  files.FailGrowth(files.Growths() + 1, false);
  EXPECT_EQ(heap->Allocate(100), 0u);
  EXPECT_EQ(heap->Refusals(), 1u);
  EXPECT_TRUE(heap->IsOpen());
  EXPECT_EQ(heap->DataSize(), 52u);
  EXPECT_EQ(std::memcmp(heap->Resolve(a, 16), "kept across fail", 16), 0);
  ASSERT_EQ(heap->Free(a, 16), S_OK) << "the free list grows from the data as it is";
  EXPECT_EQ(heap->Allocate(100), 64u) << "the next growth goes ahead";

  files.FailGrowth(files.Growths() + 1, true);  // the disk is full from now on
  EXPECT_EQ(heap->Allocate(8), 40u) << "the free list still serves (a small block from the top of a's)";
  EXPECT_EQ(heap->Allocate(100), 0u);
  EXPECT_EQ(heap->Allocate(100), 0u);
  EXPECT_EQ(heap->Refusals(), 3u);
  EXPECT_EQ(heap->LimitRefusals(), 0u) << "a full disk is not a full archive";
  EXPECT_TRUE(heap->IsOpen());
  ArchiveVisitor quiet;
  EXPECT_EQ(WalkArchive(*heap, quiet), S_OK);
}

TEST_P(FaultTest, FailedGrowthClosesTheArchiveAndKeepsWhatWasWritten) {
  const std::string path = Path("a.crn");
  {
    testing::ExactGrowth exact;  // every allocation here maps the file again
    FaultyFiles files(Real());
    // The open is map 1; the third growth fails, and so does mapping the old size again.
    files.FailMap(4, E_OUTOFMEMORY, 2);
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(files, path, true, true, &heap), S_OK);
    const uint32_t a = heap->Allocate(16);
    std::memcpy(heap->Resolve(a, 16), "kept across fail", 16);
    ASSERT_NE(heap->Allocate(16), 0u);
    ASSERT_TRUE(heap->SetHeaderField(header::kOptions, 0x0B));
    EXPECT_EQ(heap->Allocate(16), 0u);
    EXPECT_EQ(files.MapCalls(), 5);

    EXPECT_FALSE(heap->IsOpen());
    EXPECT_EQ(heap->DataSize(), 0u);
    EXPECT_EQ(heap->Allocate(16), 0u);
    EXPECT_EQ(heap->Free(a, 16), kArchiveClosed);
    EXPECT_EQ(heap->Resolve(a, 16), nullptr);
    EXPECT_EQ(heap->Read32(header::kVersion), 0u);
    EXPECT_FALSE(heap->Write32(header::kVersion, 1));
    FreeSpaceReport report;
    EXPECT_EQ(heap->FreeSpace(&report), kArchiveClosed);
    ArchiveVisitor quiet;
    EXPECT_EQ(WalkArchive(*heap, quiet), kArchiveClosed);
    EXPECT_EQ(files.MapCalls(), 5) << "nothing tries to map again";
  }
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(Real(), path, false, false, &heap), S_OK);
  EXPECT_EQ(heap->HeaderField(header::kOptions), 0x0Bu);
  ASSERT_GE(heap->DataSize(), 64u);
  EXPECT_EQ(std::memcmp(heap->Resolve(32, 16), "kept across fail", 16), 0);
}

TEST_P(FaultTest, GrowthBeyondThirtyTwoBitOffsetsIsRefusedAndTheArchiveStaysOpen) {
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(OpenArchive(Real(), Path("a.crn"), true, true, &heap), S_OK);
  EXPECT_EQ(heap->Allocate(0xFFFFFFF0u), 0u);
  EXPECT_TRUE(heap->IsOpen());
  EXPECT_EQ(heap->Allocate(8), 32u);
}

INSTANTIATE_TEST_SUITE_P(Files, FaultTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Native" : "Memory"; });

}  // namespace
}  // namespace cairn
