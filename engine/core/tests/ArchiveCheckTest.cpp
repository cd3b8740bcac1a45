// The whole-archive check: sound histories pass with every revision rebuilt; damage that the
// links do not show (a flipped byte in a compressed record, a record outside its content, a size
// that does not fit) is named by object, revision and the snapshots that hold it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ArchiveCheck.h"
#include "ArchiveCoverage.h"
#include "ArchiveOpen.h"
#include "MemoryFiles.h"
#include "SampleArchive.h"
#include "ScriptedHistories.h"
#include "StoredContents.h"

namespace cairn {
namespace {

class ArchiveCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenArchive(files_, "a.crn", true, true, &heap_), S_OK); }

  std::vector<uint32_t> History(const std::string& name, const std::vector<testing::Content>& contents,
                                uint32_t mode) {
    return testing::StoreContents(*heap_, name, contents, mode);
  }

  // Releases the writer and checks the archive as a reader beside no writer.
  CheckReport Check(HRESULT expected = S_OK, CheckProgress* progress = nullptr) {
    heap_.reset();
    EXPECT_EQ(ArchiveHeap::Open(files_, "a.crn", false, false, &heap_), S_OK);
    WorkerPool pool(2, 0);
    CheckReport report;
    EXPECT_EQ(CheckArchive(*heap_, &pool, progress, &report), expected);
    return report;
  }

  // Reopens the archive for writing, to damage it.
  void Reopen() {
    heap_.reset();
    ASSERT_EQ(OpenArchive(files_, "a.crn", false, true, &heap_), S_OK);
  }

  // The first record of revision's list that holds data.
  uint32_t DataRecord(uint32_t revision) {
    uint32_t found = 0;
    ForEach<DifferenceRecord>(*heap_, RevisionRecord(*heap_, revision).Differences(), [&](DifferenceRecord& d) {
      if (d.Kind() == difference_kind::kDeletion || d.Length() < 16) return S_OK;
      found = d.Offset();
      return S_FALSE;
    });
    return found;
  }

  bool LinksPass() {
    ArchiveCoverage coverage;
    return MapCoverage(*heap_, &coverage) == S_OK && coverage.gaps.empty() && coverage.overlaps.empty();
  }

  testing::MemoryFiles files_;
  std::unique_ptr<ArchiveHeap> heap_;
};

std::vector<testing::Content> Edited(uint32_t size, int rounds, uint32_t seed) {
  return testing::LargeFileHistory(size, rounds, seed)[0];
}

TEST_F(ArchiveCheckTest, SoundHistoriesInEveryModePassWithEveryRevisionRebuilt) {
  uint32_t revisions = 0;
  uint64_t bytes = 0;
  for (uint32_t mode : {0u, 1u, 3u}) {
    const std::vector<testing::Content> contents = Edited(200000, 3, mode);
    revisions += static_cast<uint32_t>(History("C:\\big" + std::to_string(mode), contents, mode).size());
    for (const testing::Content& content : contents) bytes += content.size();
  }
  const testing::History tree = testing::TreeHistory(6, 9000, 2, 5);
  for (size_t i = 0; i < tree.size(); ++i) {
    for (uint32_t revision : History("C:\\tree\\" + std::to_string(i), tree[i], 1)) {
      bytes += RevisionRecord(*heap_, revision).Size();
      ++revisions;
    }
  }
  const CheckReport report = Check();
  EXPECT_TRUE(report.Sound()) << DescribeProblem(report.findings.front());
  EXPECT_EQ(report.objects, 9u);
  EXPECT_EQ(report.revisions, revisions);
  EXPECT_EQ(report.bytesRebuilt, bytes);
  EXPECT_FALSE(report.writerAtWork);
}

TEST_F(ArchiveCheckTest, AFlippedByteInAnOldCompressedRecordIsNamedThoughTheLinksPass) {
  const std::vector<uint32_t> revisions = History("C:\\file.txt", Edited(60000, 3, 7), 1);
  const uint32_t record = DataRecord(revisions[1]);
  ASSERT_NE(record, 0u);
  Reopen();
  const DifferenceRecord d(*heap_, record);
  heap_->Resolve(d.Data(), d.Length())[d.Length() / 2] ^= 0x5A;
  ASSERT_TRUE(LinksPass());

  const CheckReport report = Check();
  ASSERT_FALSE(report.Sound());
  EXPECT_EQ(report.DamagedRevisions(), 2u) << "revision 2, and revision 1, which is rebuilt from it";
  const CheckFinding& first = report.findings.front();
  EXPECT_EQ(first.object, "C:\\file.txt");
  EXPECT_EQ(first.revision, 2);
  EXPECT_EQ(first.problem, CheckProblem::kUnclean);
  EXPECT_EQ(first.record, record);
  EXPECT_EQ(first.snapshots, std::vector<std::string>{"Snapshot;2"});
  const CheckFinding& last = report.findings.back();
  EXPECT_EQ(last.revision, 1);
  EXPECT_EQ(last.snapshots, std::vector<std::string>{"Snapshot;1"});
  if (last.problem == CheckProblem::kAfterDamage) {
    EXPECT_EQ(last.newer, 2);
  }
  for (const CheckFinding& finding : report.findings) EXPECT_LT(finding.revision, 3) << DescribeProblem(finding);
}

TEST_F(ArchiveCheckTest, RecordsOutsideTheirContentAndSizesThatDoNotFitAreNamed) {
  const std::vector<uint32_t> a = History("C:\\a", Edited(30000, 2, 1), 0);
  const std::vector<uint32_t> b = History("C:\\b", Edited(30000, 2, 2), 0);
  const std::vector<uint32_t> c = History("C:\\c", Edited(30000, 2, 3), 0);
  Reopen();
  {
    DifferenceRecord d(*heap_, DataRecord(a[0]));
    d.SetPosition(1u << 30);
  }
  StatBlock stat;
  RevisionRecord(*heap_, b[1]).ReadStat(&stat);
  ++stat.size;
  RevisionRecord(*heap_, b[1]).WriteStat(stat);
  DifferenceRecord(*heap_, DataRecord(c[1])).SetKind(3);
  ASSERT_TRUE(LinksPass());

  const CheckReport report = Check();
  ASSERT_EQ(report.findings.size(), 5u);
  EXPECT_EQ(report.findings[0].object, "C:\\a");
  EXPECT_EQ(report.findings[0].problem, CheckProblem::kRebuild);
  EXPECT_EQ(report.findings[0].fault, RebuildFault::kOutside);
  EXPECT_EQ(report.findings[0].revision, 1);
  EXPECT_EQ(report.findings[1].object, "C:\\b");
  EXPECT_EQ(report.findings[1].problem, CheckProblem::kSize);
  EXPECT_EQ(report.findings[1].statedSize, report.findings[1].rebuiltSize + 1);
  EXPECT_EQ(report.findings[2].problem, CheckProblem::kAfterDamage) << "b's revision 1 is rebuilt from revision 2";
  EXPECT_EQ(report.findings[2].newer, 2);
  EXPECT_EQ(report.findings[3].object, "C:\\c");
  EXPECT_EQ(report.findings[3].fault, RebuildFault::kKind);
  EXPECT_EQ(report.findings[3].revision, 2);
  EXPECT_EQ(report.findings[4].problem, CheckProblem::kAfterDamage) << "c's revision 1 cannot be reached";
  EXPECT_EQ(report.DamagedRevisions(), 5u);
}

TEST_F(ArchiveCheckTest, ProgressCountsObjectsAndCancels) {
  for (int i = 0; i < 4; ++i) History("C:\\f" + std::to_string(i), Edited(10000, 1, i), 1);
  struct Counting final : CheckProgress {
    std::vector<uint32_t> done;
    uint32_t total = 0;
    uint32_t stopAt = 0;
    bool Checked(uint32_t d, uint32_t t) override {
      done.push_back(d);
      total = t;
      return d != stopAt;
    }
  } counting;
  Check(S_OK, &counting);
  EXPECT_EQ(counting.done, (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(counting.total, 4u);
  counting.done.clear();
  counting.stopAt = 2;
  Check(kCheckCancelled, &counting);
  EXPECT_EQ(counting.done.size(), 2u);
}

TEST_F(ArchiveCheckTest, BytesNothingCoversAreDamageOnlyWithoutAWriterAtWork) {
  History("C:\\f", Edited(10000, 1, 9), 0);
  ASSERT_NE(heap_->Allocate(100), 0u);  // never linked
  testing::ArchiveBuilder(*heap_).Push(header::kNamedStreams, testing::ArchiveBuilder(*heap_).Object("x"));
  CheckReport report = Check();
  ASSERT_EQ(report.findings.size(), 1u);
  EXPECT_EQ(report.findings[0].problem, CheckProblem::kUncovered);
  EXPECT_EQ(report.findings[0].length, 100u);

  heap_.reset();
  files_.Bytes("a.crn")[header::kReserved] = kWritingMark;  // a writer at work, or one that stopped
  ASSERT_EQ(ArchiveHeap::Open(files_, "a.crn", false, false, &heap_), S_OK);
  ASSERT_EQ(CheckArchive(*heap_, nullptr, nullptr, &report), S_OK);
  EXPECT_TRUE(report.Sound());
  EXPECT_TRUE(report.writerAtWork);
  EXPECT_EQ(report.unlinkedBytes, 100u);
}

}  // namespace
}  // namespace cairn
