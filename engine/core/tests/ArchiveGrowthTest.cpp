// The file grows in steps while an archive is open; released, the archive is byte for byte what
// growing by exactly each allocation gives. A file left longer than its archive (the process
// ended before releasing it) is cut back when the archive is next opened for writing.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>

#include "ArchiveCoverage.h"
#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "ByteOrder.h"
#include "MemoryFiles.h"
#include "Revisions.h"
#include "SampleArchive.h"
#include "TempDir.h"

namespace cairn {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::FaultyFiles;
using testing::MemoryFiles;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

struct FailOnError final : InternalErrors {
  void Report(const char* module, int line) override { ADD_FAILURE() << module << " line " << line; }
};

// A randomized history: objects whose contents change by random edits, one revision at a time,
// with strings allocated and freed between them, the archive released and opened again now and
// then. The same seed writes the same history.
class History {
 public:
  History(PlatformFiles& files, std::string path, uint32_t mode) : files_(files), path_(std::move(path)), mode_(mode) {}

  void Write(unsigned seed, int steps) {
    std::mt19937 random(seed);
    Open();
    for (int step = 0; step < steps && !::testing::Test::HasFailure(); ++step) {
      if (step % 12 == 11) Open();
      const size_t k = std::min<size_t>(random() % 4, contents_.size());
      if (k == contents_.size()) {
        objects_.push_back(testing::ArchiveBuilder(*heap_).Object("C:\\object" + std::to_string(k)));
        ASSERT_NE(testing::ArchiveBuilder(*heap_).Push(header::kNamedStreams, objects_.back()), 0u);
        contents_.push_back(Bytes());
        newest_.push_back(0);
      }
      Edit(random, &contents_[k]);
      ASSERT_NO_FATAL_FAILURE(Store(k));
      // Strings come and go, so that the free list serves some of the allocations.
      strings_.push_back(WriteString(*heap_, std::string(random() % 300 + 1, 'n')));
      if (random() % 2 == 0) {
        uint32_t& string = strings_[random() % strings_.size()];
        if (string != 0) {
          ASSERT_EQ(FreeString(*heap_, string), S_OK);
          string = 0;  // never freed twice
        }
      }
      longer_ |= heap_->MappedSize() > heap_->DataSize();
    }
    heap_.reset();
  }

  // The newest content of every object reads back as written.
  void Check() {
    Open();
    FailOnError errors;
    for (size_t k = 0; k < contents_.size(); ++k) {
      MemoryContent out;
      ASSERT_EQ(RebuildContent(*heap_, newest_[k], out, errors, "Stream"), S_OK);
      EXPECT_EQ(out.Bytes(), contents_[k]) << "object " << k;
    }
    ArchiveVisitor quiet;
    EXPECT_EQ(WalkArchive(*heap_, quiet), S_OK);
    heap_.reset();
  }

  // Whether the file ran past the archive's data at some point while it was open.
  bool WasLonger() const { return longer_; }

 private:
  void Open() {
    heap_.reset();
    ASSERT_EQ(OpenArchive(files_, path_, false, true, &heap_), S_OK);
  }

  static void Edit(std::mt19937& random, Bytes* content) {
    const size_t at = content->empty() ? 0 : random() % content->size();
    const size_t length = random() % 3 == 0 ? random() % 200000 : random() % 5000;
    Bytes piece(length);
    const bool text = random() % 2 == 0;
    for (auto& b : piece) b = static_cast<uint8_t>(text ? 'a' + random() % 8 : random());
    switch (random() % 3) {
      case 0: content->insert(content->begin() + at, piece.begin(), piece.end()); break;
      case 1: content->erase(content->begin() + at, content->begin() + std::min(content->size(), at + length)); break;
      default:
        content->resize(std::max(content->size(), at + length));
        std::copy(piece.begin(), piece.end(), content->begin() + at);
    }
  }

  void Store(size_t k) {
    FailOnError errors;
    MemoryContent previous;
    if (newest_[k] != 0) {
      ASSERT_EQ(RebuildContent(*heap_, newest_[k], previous, errors, "Stream"), S_OK);
    }
    MemorySource before(previous.Bytes()), current(contents_[k]);
    const uint32_t revision = heap_->Allocate(RevisionRecord::kSize);
    ASSERT_NE(revision, 0u);
    RevisionRecord(*heap_, revision).SetPrevious(newest_[k]);
    StatBlock stat;
    stat.size = contents_[k].size();
    const HRESULT hr = StoreRevisionContent(*heap_, revision, before, current, mode_, NumberedStamp(++stamp_), &stat,
                                            errors, "Stream");
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE);
    if (hr == S_FALSE) {
      ASSERT_EQ(heap_->Free(revision, RevisionRecord::kSize), S_OK);
      return;
    }
    if (newest_[k] == 0) ObjectRecord(*heap_, objects_[k]).SetOldestRevision(revision);
    newest_[k] = revision;
  }

  PlatformFiles& files_;
  std::string path_;
  uint32_t mode_;
  std::unique_ptr<ArchiveHeap> heap_;
  std::vector<uint32_t> objects_, newest_, strings_;
  std::vector<Bytes> contents_;
  int32_t stamp_ = 0;
  bool longer_ = false;
};

// (self-extracting form, compression mode)
class SameBytesTest : public ::testing::TestWithParam<std::tuple<bool, uint32_t>> {};

TEST_P(SameBytesTest, StepGrowthLeavesTheBytesOfExactGrowth) {
  const bool selfExtracting = std::get<0>(GetParam());
  const uint32_t mode = std::get<1>(GetParam());
  testing::TempDir dir;
  PlatformFiles& files = PlatformFiles::Native();
  std::string empty;
  {
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(files, dir.Path("empty.crn"), true, true, &heap), S_OK);
    heap.reset();
    empty = ReadFileBytes(dir.Path("empty.crn"));
  }
  const std::string launcher = selfExtracting ? std::string(kSelfExtractingOffset, 'M') : std::string();
  const std::string extension = selfExtracting ? ".exe" : ".crn";
  const std::string exact = dir.Path("exact" + extension), stepped = dir.Path("stepped" + extension);
  ASSERT_TRUE(WriteFileBytes(exact, launcher + empty));
  ASSERT_TRUE(WriteFileBytes(stepped, launcher + empty));
  {
    testing::ExactGrowth exactGrowth;
    History history(files, exact, mode);
    // (Free bytes cut off the end stay mapped as zeros until release, so even exact growth may
    // run past the data; it never grows past what an allocation needs.)
    ASSERT_NO_FATAL_FAILURE(history.Write(17, 80));
  }
  History history(files, stepped, mode);
  ASSERT_NO_FATAL_FAILURE(history.Write(17, 80));
  EXPECT_TRUE(history.WasLonger());
  ASSERT_NO_FATAL_FAILURE(history.Check());

  const std::string a = ReadFileBytes(exact), b = ReadFileBytes(stepped);
  EXPECT_GT(a.size(), ArchiveHeap::kMinStep) << "the history grew the file by more than a step";
  EXPECT_EQ(a.size(), b.size());
  EXPECT_TRUE(a == b) << "the archives differ";
  EXPECT_EQ(b.substr(0, launcher.size()), launcher);
}

INSTANTIATE_TEST_SUITE_P(FormsAndModes, SameBytesTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(0u, 1u, 3u)),
                         [](const ::testing::TestParamInfo<SameBytesTest::ParamType>& info) {
                           return std::string(std::get<0>(info.param) ? "SelfExtracting" : "Plain") + "Mode" +
                                  std::to_string(std::get<1>(info.param));
                         });

class GrowthTest : public ::testing::Test {
 protected:
  std::unique_ptr<ArchiveHeap> Open(const std::string& name, bool write = true) {
    std::unique_ptr<ArchiveHeap> heap;
    EXPECT_EQ(OpenArchive(files_, name, true, write, &heap), S_OK);
    return heap;
  }
  MemoryFiles memory_;
  FaultyFiles files_{memory_};
};

TEST_F(GrowthTest, TheFileGrowsInStepsAndEndsAtTheDataOnRelease) {
  auto heap = Open("a.crn");
  EXPECT_EQ(heap->Allocate(100), 32u);
  EXPECT_EQ(heap->DataSize(), 132u);
  EXPECT_EQ(heap->MappedSize(), 32u + ArchiveHeap::kMinStep);
  EXPECT_EQ(memory_.Bytes("a.crn").size(), 32u + ArchiveHeap::kMinStep);
  FreeSpaceReport report;
  ASSERT_EQ(heap->FreeSpace(&report), S_OK);
  EXPECT_EQ(report.total, 0u) << "the step's zeros are no free space";
  EXPECT_EQ(heap->Resolve(132), nullptr) << "nor part of the archive";

  // An allocation that fills the step exactly needs no growth of the file; the next byte does.
  const int growths = files_.Growths();
  const uint32_t rest = heap->MappedSize() - heap->DataSize();
  EXPECT_EQ(heap->Allocate(rest), 132u);
  EXPECT_EQ(heap->DataSize(), heap->MappedSize());
  EXPECT_EQ(files_.Growths(), growths);
  const uint32_t full = heap->MappedSize();
  EXPECT_EQ(heap->Allocate(1), full);
  EXPECT_EQ(heap->MappedSize(), full + ArchiveHeap::kMinStep);

  // An allocation larger than the largest step grows the file by what it needs.
  const uint32_t large = ArchiveHeap::kMaxStep + (5u << 20);
  const uint32_t at = heap->DataSize();
  EXPECT_EQ(heap->Allocate(large), at);
  EXPECT_EQ(heap->MappedSize(), at + large);
  heap->Resolve(at + large - 1)[0] = 0x5A;
  // From there a step is an eighth of the mapped size.
  EXPECT_NE(heap->Allocate(1), 0u);
  EXPECT_EQ(heap->MappedSize(), at + large + (at + large) / 8);

  const uint32_t size = heap->DataSize();
  heap.reset();
  EXPECT_EQ(memory_.Bytes("a.crn").size(), size);
  EXPECT_EQ(memory_.Bytes("a.crn")[at + large - 1], 0x5A);
}

TEST_F(GrowthTest, ANearlyFullDiskStillTakesWhatFits) {
  auto heap = Open("a.crn");
  ASSERT_NE(heap->Allocate(ArchiveHeap::kMinStep), 0u);
  ASSERT_EQ(heap->DataSize(), heap->MappedSize());
  // The step is refused, the exact size is not.
  files_.FailGrowth(files_.Growths() + 1, false);
  const uint32_t end = heap->DataSize();
  EXPECT_EQ(heap->Allocate(10), end);
  EXPECT_EQ(heap->MappedSize(), end + 10);
  EXPECT_EQ(heap->Refusals(), 0u);
  // A full disk refuses both, and the archive stays as it was.
  files_.FailGrowth(files_.Growths() + 1, true);
  EXPECT_EQ(heap->Allocate(10), 0u);
  EXPECT_EQ(heap->Refusals(), 1u);
  EXPECT_TRUE(heap->IsOpen());
  EXPECT_EQ(heap->DataSize(), end + 10);
  EXPECT_EQ(memory_.Bytes("a.crn").size(), end + 10);
}

// A crash image: the bytes of a file whose archive is still open.
TEST_F(GrowthTest, AFileLeftLongerIsCutBackToItsLogicalEnd) {
  std::vector<uint8_t> atRest;
  {
    auto heap = Open("a.crn");
    ASSERT_TRUE(testing::BuildSampleArchive(*heap));
    heap.reset();
    heap = Open("a.crn");
    testing::ArchiveBuilder build(*heap);
    ASSERT_NE(build.Snapshot(std::string(3000, 'L'), 0x11), 0u);  // more than the free list holds
    ASSERT_GT(heap->MappedSize(), heap->DataSize());
    memory_.Bytes("crash.crn") = memory_.Bytes("a.crn");
    heap.reset();
    atRest = memory_.Bytes("a.crn");
  }
  std::vector<uint8_t>& crash = memory_.Bytes("crash.crn");
  ASSERT_GT(crash.size(), atRest.size());

  // Read-only, nothing changes; the zeros read as archive data there, and nothing refers to them.
  auto heap = Open("crash.crn", false);
  EXPECT_EQ(heap->DataSize(), crash.size());
  heap.reset();
  EXPECT_GT(crash.size(), atRest.size());

  // Damaged, it is left as it is.
  const std::vector<uint8_t> intact = crash;
  StoreLE32(crash.data() + header::kSnapshotList, static_cast<uint32_t>(crash.size()) - 8);
  heap = Open("crash.crn");
  EXPECT_EQ(heap->DataSize(), crash.size());
  heap.reset();
  EXPECT_EQ(crash.size(), intact.size());
  crash = intact;

  heap = Open("crash.crn");
  uint32_t end = 0;
  ASSERT_EQ(FindLogicalEnd(*heap, &end), S_OK);
  EXPECT_EQ(heap->DataSize(), end);
  EXPECT_EQ(heap->DataSize(), atRest.size());
  heap.reset();
  EXPECT_TRUE(crash == atRest);

  // Past the logical end of an archive that its writer never released (its mark is set), a byte
  // that is not zero is what that writer allocated and never linked: it goes too.
  std::vector<uint8_t>& marked = memory_.Bytes("b.crn");
  marked = intact;
  EXPECT_EQ(LoadLE32(marked.data() + header::kReserved), kWritingMark);
  marked[atRest.size() + 100] = 1;
  heap = Open("b.crn");
  EXPECT_EQ(heap->DataSize(), atRest.size());
  EXPECT_EQ(heap->HeaderField(header::kReserved), 0u);
  heap.reset();
  EXPECT_TRUE(marked == atRest);
  // Without the mark, nothing tells who wrote it: a byte that is not zero is never cut.
  marked = intact;
  StoreLE32(marked.data() + header::kReserved, 0);
  marked[atRest.size() + 100] = 1;
  heap = Open("b.crn");
  EXPECT_EQ(heap->DataSize(), atRest.size() + 101);
}

TEST_F(GrowthTest, AFileThatCouldNotBeCutOnReleaseIsCutOnTheNextOpen) {
  auto heap = Open("a.crn");
  ASSERT_TRUE(testing::BuildSampleArchive(*heap));
  const uint32_t size = heap->DataSize();
  files_.FailTruncate(true);
  heap.reset();
  EXPECT_GT(memory_.Bytes("a.crn").size(), size);
  files_.FailTruncate(false);
  heap = Open("a.crn");
  EXPECT_EQ(heap->DataSize(), size);
  EXPECT_EQ(memory_.Bytes("a.crn").size(), size);
}

}  // namespace
}  // namespace cairn
