// Walking a whole archive: a sound archive reaches every record once; damaged links, loops and
// hostile shapes end in kCorruptArchive without stray reads, hangs or deep recursion.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <random>
#include <unordered_set>

#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "MemoryFiles.h"
#include "OffsetSet.h"
#include "SampleArchive.h"

namespace cairn {
namespace {

using testing::ArchiveBuilder;

struct Counts final : ArchiveVisitor {
  int free = 0, snapshots = 0, entries = 0, named = 0, objects = 0, revisions = 0, differences = 0,
      children = 0, problems = 0;
  std::vector<std::string> snapshotNames, objectNames;
  void OnFreeBlock(const FreeBlock&) override { ++free; }
  void OnSnapshot(const SnapshotRecord&, const std::string& name, const std::string&) override {
    ++snapshots;
    snapshotNames.push_back(name);
  }
  void OnEntry(const SnapshotRecord&, const ObjectRecord&) override { ++entries; }
  void OnNamedStream(const ObjectRecord&) override { ++named; }
  void OnObject(const ObjectRecord&, const std::string& name) override {
    ++objects;
    objectNames.push_back(name);
  }
  void OnRevision(const ObjectRecord&, const RevisionRecord&) override { ++revisions; }
  void OnDifference(const RevisionRecord&, const DifferenceRecord&) override { ++differences; }
  void OnChild(const RevisionRecord&, const ObjectRecord&) override { ++children; }
  void OnProblem(const std::string&, uint32_t) override { ++problems; }
};

class WalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OpenArchive(files_, "a.crn", true, true, &heap_), S_OK);
    ASSERT_TRUE(testing::BuildSampleArchive(*heap_));
  }
  // Offset of the first snapshot, and of the revision record of the named object.
  uint32_t FirstSnapshot() { return heap_->HeaderField(header::kSnapshotList); }
  uint32_t FindObject(const std::string& wanted) {
    struct Finder final : ArchiveVisitor {
      std::string wanted;
      uint32_t found = 0;
      void OnObject(const ObjectRecord& o, const std::string& name) override {
        if (name == wanted) found = o.Offset();
      }
    } finder;
    finder.wanted = wanted;
    WalkArchive(*heap_, finder);
    return finder.found;
  }
  testing::MemoryFiles files_;
  std::unique_ptr<ArchiveHeap> heap_;
};

TEST_F(WalkTest, SoundArchiveReachesEveryRecordOnce) {
  Counts counts;
  ASSERT_EQ(WalkArchive(*heap_, counts), S_OK);
  EXPECT_EQ(counts.problems, 0);
  EXPECT_EQ(counts.free, 3);
  EXPECT_EQ(counts.snapshots, 2);
  EXPECT_EQ(counts.snapshotNames, (std::vector<std::string>{"Snapshot;1", "Autosnap;2"}));
  EXPECT_EQ(counts.entries, 2);
  EXPECT_EQ(counts.named, 3);
  EXPECT_EQ(counts.objects, 7) << "the folder is an entry of both snapshots but one object";
  EXPECT_EQ(counts.revisions, 9);
  EXPECT_EQ(counts.differences, 4);
  EXPECT_EQ(counts.children, 4);
}

// Each case damages the sample archive in one way; the walk must notice and still end.
TEST_F(WalkTest, DamageIsFoundAndTheWalkEnds) {
  const uint32_t snapshot = FirstSnapshot();
  const uint32_t a = FindObject("C:\\Data\\a.txt");
  const uint32_t folder = FindObject("C:\\Data");
  ASSERT_NE(a, 0u);
  ASSERT_NE(folder, 0u);
  const uint32_t a1 = ObjectRecord(*heap_, a).OldestRevision();
  const uint32_t folder1 = ObjectRecord(*heap_, folder).OldestRevision();
  const uint32_t size = heap_->DataSize();

  struct Case {
    const char* what;
    std::function<void()> damage;
  } cases[] = {
      {"snapshot loops to itself", [&] { SnapshotRecord(*heap_, snapshot).SetNext(snapshot); }},
      {"snapshot link past the end", [&] { SnapshotRecord(*heap_, snapshot).SetNext(size - 8); }},
      {"snapshot link into the header", [&] { heap_->SetHeaderField(header::kSnapshotList, 4); }},
      {"snapshot name unterminated", [&] { SnapshotRecord(*heap_, snapshot).SetName(size - 1); *heap_->Resolve(size - 1) = 'x'; }},
      {"entry names no object", [&] { ListNode(*heap_, SnapshotRecord(*heap_, snapshot).Entries()).SetObject(0xFFFFFF00u); }},
      {"entry list loops", [&] { uint32_t e = SnapshotRecord(*heap_, snapshot).Entries(); ListNode(*heap_, e).SetNext(e); }},
      {"revision chain loops", [&] { RevisionRecord(*heap_, RevisionRecord(*heap_, a1).Next()).SetNext(a1); }},
      {"revision back link wrong", [&] { RevisionRecord(*heap_, RevisionRecord(*heap_, a1).Next()).SetPrevious(0); }},
      {"difference list loops", [&] { uint32_t d = RevisionRecord(*heap_, a1).Differences(); DifferenceRecord(*heap_, d).SetNext(d); }},
      {"difference data past the end", [&] { DifferenceRecord(*heap_, RevisionRecord(*heap_, a1).Differences()).SetLength(size); }},
      {"child list loops through another list", [&] {
         uint32_t c = RevisionRecord(*heap_, folder1).Children();
         ListNode(*heap_, ListNode(*heap_, c).Next()).SetNext(SnapshotRecord(*heap_, snapshot).Entries());
       }},
      {"free list loops", [&] { uint32_t f = heap_->HeaderField(header::kFreeList); heap_->Write32(f + 8, f); }},
      {"named stream list points past the end", [&] { heap_->SetHeaderField(header::kNamedStreams, 0xFFFFFFFCu); }},
  };
  const std::vector<uint8_t> sound = files_.Bytes("a.crn");
  for (const Case& c : cases) {
    heap_.reset();
    files_.Bytes("a.crn") = sound;
    ASSERT_EQ(OpenArchive(files_, "a.crn", false, true, &heap_), S_OK);
    c.damage();
    Counts counts;
    EXPECT_EQ(WalkArchive(*heap_, counts), kCorruptArchive) << c.what;
    EXPECT_GT(counts.problems, 0) << c.what;
    EXPECT_LE(counts.revisions, 9) << c.what;
  }
}

// The loop check on walks of every shape: a tail of t nodes into a loop of c nodes is caught
// within three times as many steps as the nodes it has, and a list without a loop never is.
TEST(LoopCheckTest, FindsEveryLoopSoonAndNothingElse) {
  for (uint32_t tail = 0; tail <= 40; ++tail) {
    for (uint32_t loop = 1; loop <= 40; ++loop) {
      auto next = [&](uint32_t node) { return node + 1 < tail + loop ? node + 1 : tail; };  // nodes 1.. as offsets
      LoopCheck check;
      uint32_t node = 1, steps = 0;
      check.Restart(node);
      while (check.Step(node = next(node - 1) + 1) && steps < 10000) ++steps;
      EXPECT_LE(steps, 3 * (tail + loop) + 2) << "tail " << tail << " loop " << loop;
    }
  }
  LoopCheck check;
  check.Restart(1);
  for (uint32_t node = 2; node < 100000; ++node) ASSERT_TRUE(check.Step(node));
  EXPECT_TRUE(check.Step(0)) << "the end of a list is no loop";
}

// The walks' set of offsets answers as a node-based set, 0 and values that share slots included,
// across its growth.
TEST(OffsetSetTest, AnswersAsAPlainSet) {
  std::mt19937 random(20261210);
  OffsetSet set;
  std::unordered_set<uint32_t> oracle;
  for (int i = 0; i < 200000; ++i) {
    // Few distinct values early (many repeats), multiples of a power of two, and 0 now and then.
    const uint32_t value = i % 997 == 0 ? 0 : i < 5000 ? random() % 300 : (random() % 100000) << (random() % 12);
    ASSERT_EQ(set.Insert(value), oracle.insert(value).second) << "insert " << value << " at " << i;
  }
  for (uint32_t value = 0; value < 5000; ++value) ASSERT_EQ(set.Contains(value << 3), oracle.count(value << 3) != 0);
}

// A list that loops back after a few nodes ends the walk after a few rounds, however many records
// the archive could hold.
TEST_F(WalkTest, ALoopEndsTheWalkWithinAFewRounds) {
  ASSERT_NE(heap_->Allocate(4u << 20), 0u);  // room for half a million nodes
  uint32_t first = 0, previous = 0, third = 0;
  for (int i = 0; i < 10; ++i) {
    const uint32_t node = heap_->Allocate(ListNode::kSize);
    ASSERT_NE(node, 0u);
    if (previous != 0) ListNode(*heap_, previous).SetNext(node);
    if (first == 0) first = node;
    if (i == 2) third = node;
    previous = node;
  }
  ListNode(*heap_, previous).SetNext(third);
  int visits = 0;
  EXPECT_EQ(ForEach<ListNode>(*heap_, first, [&](ListNode&) { return ++visits, S_OK; }), kCorruptArchive);
  EXPECT_LE(visits, 30);
}

TEST_F(WalkTest, FreeListLoopStillLetsAllocateAndFreeFinish) {
  const uint32_t f = heap_->HeaderField(header::kFreeList);
  heap_->Write32(f + 8, f);
  FreeSpaceReport report;
  EXPECT_EQ(heap_->FreeSpace(&report), kCorruptArchive);
  const uint32_t block = heap_->Allocate(1000);
  EXPECT_NE(block, 0u);
  EXPECT_EQ(heap_->Free(block, 1000), S_OK);
}

// Ten thousand nested folders: the walk keeps its own queue instead of recursing.
TEST_F(WalkTest, DeepNestingDoesNotRecurse) {
  ArchiveBuilder b(*heap_);
  uint32_t parentRevision = ObjectRecord(*heap_, FindObject("C:\\Data")).OldestRevision();
  for (int depth = 0; depth < 10000; ++depth) {
    const uint32_t child = b.Object("d");
    const uint32_t revision = b.Revision(child, NumberedStamp(1), kFolderAttribute, 0);
    ASSERT_NE(b.Push(parentRevision + 12, child), 0u);
    parentRevision = revision;
  }
  Counts counts;
  EXPECT_EQ(WalkArchive(*heap_, counts), S_OK);
  EXPECT_EQ(counts.objects, 7 + 10000);
}

// Sixty levels where every revision lists the next object twice: 2^60 paths, one visit each.
TEST_F(WalkTest, SharedChildrenAreWalkedOnce) {
  ArchiveBuilder b(*heap_);
  uint32_t parentRevision = ObjectRecord(*heap_, FindObject("C:\\Data")).OldestRevision();
  for (int depth = 0; depth < 60; ++depth) {
    const uint32_t child = b.Object("x");
    const uint32_t revision = b.Revision(child, NumberedStamp(1), kFolderAttribute, 0);
    b.Push(parentRevision + 12, child);
    b.Push(parentRevision + 12, child);
    parentRevision = revision;
  }
  const auto start = std::chrono::steady_clock::now();
  Counts counts;
  EXPECT_EQ(WalkArchive(*heap_, counts), S_OK);
  EXPECT_EQ(counts.objects, 7 + 60);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace cairn
