// The difference pass with moved data looked for anywhere ahead: random edit scripts of
// insertions, deletions and moves from 1 byte to 1 MB rebuild exactly; a wide insertion becomes
// one Deletion and a wide deletion a run of Insertions (behind a few KB of Changes), and the rest
// matches again; through the archive every revision rebuilds and the reverse differences stay
// small.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "ArchiveCheck.h"
#include "ArchiveOpen.h"
#include "ArchiveRecords.h"
#include "ArchiveWalk.h"
#include "MemoryFiles.h"
#include "PlainDifferences.h"
#include "ScriptedHistories.h"
#include "Seed.h"
#include "StoredContents.h"

namespace cairn {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::PlainRecord;

struct Quiet final : InternalErrors {
  int reports = 0;
  void Report(const char*, int) override { ++reports; }
};

std::vector<PlainRecord> MovedPass(ContentView& a, ContentView& b) {
  testing::RecordingSink sink;
  Quiet quiet;
  bool failed = true;
  RunDifferencePass(a, b, sink, quiet, "test", &failed, true);
  EXPECT_FALSE(failed);
  EXPECT_EQ(quiet.reports, 0);
  return sink.records;
}

std::vector<PlainRecord> MovedPass(const Bytes& a, const Bytes& b) {
  MemoryView x(a.data(), static_cast<uint32_t>(a.size())), y(b.data(), static_cast<uint32_t>(b.size()));
  return MovedPass(x, y);
}

uint64_t DataBytes(const std::vector<PlainRecord>& records) {
  uint64_t n = 0;
  for (const PlainRecord& r : records) n += r.bytes.size();
  return n;
}

// A length from 1 byte to 1 MB, as many of each order of magnitude.
uint32_t Width(std::mt19937& rng) { return 1 + static_cast<uint32_t>(rng() % (1u << (rng() % 21))); }

Bytes Content(std::mt19937& rng, size_t size) {
  switch (rng() % 4) {
    case 0: return testing::TextBytes(rng, size);
    case 1: {  // repeated pieces: probes that occur in many places
      const Bytes unit = testing::RandomBytes(rng, 1 + rng() % 5000);
      Bytes b(size);
      for (size_t i = 0; i < size; ++i) b[i] = unit[i % unit.size()];
      return b;
    }
    default: return testing::RandomBytes(rng, size);
  }
}

TEST(MovedDataTest, RandomEditScriptsOfInsertionsAndDeletionsUpTo1MBRebuildExactly) {
  const uint32_t seed = testing::TestSeed();
  SCOPED_TRACE("CAIRN_SEED=" + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 40; ++round) {
    const Bytes old = Content(rng, rng() % 3 == 0 ? rng() % 20000 : (1u << 20) + rng() % (2u << 20));
    Bytes edited = old;
    for (int e = 1 + rng() % 4; e > 0; --e) {
      const size_t at = edited.empty() ? 0 : rng() % (edited.size() + 1);
      const uint32_t n = Width(rng);
      switch (rng() % 4) {
        case 0: {
          const Bytes fresh = Content(rng, n);
          edited.insert(edited.begin() + at, fresh.begin(), fresh.end());
          break;
        }
        case 1: edited.erase(edited.begin() + at, edited.begin() + std::min(edited.size(), at + n)); break;
        case 2: {  // a block moved elsewhere
          const size_t end = std::min(edited.size(), at + n);
          const Bytes block(edited.begin() + at, edited.begin() + end);
          edited.erase(edited.begin() + at, edited.begin() + end);
          const size_t to = edited.empty() ? 0 : rng() % (edited.size() + 1);
          edited.insert(edited.begin() + to, block.begin(), block.end());
          break;
        }
        default:
          for (uint32_t i = 0; i < std::min<uint32_t>(n, 300) && at + i < edited.size(); ++i) edited[at + i] ^= 0x41;
          break;
      }
    }
    for (int direction = 0; direction < 2; ++direction) {
      const Bytes& a = direction == 0 ? old : edited;
      const Bytes& b = direction == 0 ? edited : old;
      SCOPED_TRACE("round " + std::to_string(round) + " direction " + std::to_string(direction));
      Bytes rebuilt;
      const std::vector<PlainRecord> records = MovedPass(a, b);
      ASSERT_TRUE(testing::ApplyRecords(records, b, &rebuilt));
      ASSERT_TRUE(rebuilt == a);
      testing::ChoppyView choppyA(a, seed + round), choppyB(b, ~seed - round);
      ASSERT_TRUE(MovedPass(choppyA, choppyB) == records) << "read in runs of any length";
    }
  }
}

TEST(MovedDataTest, AWideInsertionOrDeletionIsOneRecordAndTheRestMatchesAgain) {
  std::mt19937 rng(8);
  const Bytes old = testing::TextBytes(rng, 2u << 20);
  for (uint32_t width : {12288u, 300000u}) {
    SCOPED_TRACE(width);
    Bytes inserted = old;
    const Bytes fresh = testing::TextBytes(rng, width);
    inserted.insert(inserted.begin() + 700001, fresh.begin(), fresh.end());
    // The older content from the newer: the inserted bytes are deleted.
    std::vector<PlainRecord> records = MovedPass(old, inserted);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, difference_kind::kDeletion);
    EXPECT_EQ(records[0].position, 700001u);
    EXPECT_EQ(records[0].length, width);
    // The other way round, Changes until the previous content is searched too, then Insertions
    // of at most 8192 bytes each, one after the other, and nothing behind them.
    records = MovedPass(inserted, old);
    Bytes rebuilt;
    ASSERT_TRUE(testing::ApplyRecords(records, old, &rebuilt));
    EXPECT_TRUE(rebuilt == inserted);
    size_t first = 0;
    while (first < records.size() && records[first].kind == difference_kind::kChange) ++first;
    ASSERT_LT(first, records.size());
    EXPECT_LE(records[first].position, 700001u + 4096);
    for (size_t i = first; i < records.size(); ++i) {
      EXPECT_EQ(records[i].kind, difference_kind::kInsertion);
      EXPECT_LE(records[i].bytes.size(), 8192u);
    }
    // The Insertions hold the rest of the bytes taken out, and what the Changes overwrote.
    const uint64_t end = records.back().position + records.back().bytes.size();
    EXPECT_GE(end, 700001u + width);
    EXPECT_LE(end, 700001u + width + 4096);
    EXPECT_LE(DataBytes(records), width + 4096u);
  }
  // A block moved from the front to the back costs about its own size, not the content's.
  Bytes moved(old.begin() + 50000, old.end());
  moved.insert(moved.end(), old.begin(), old.begin() + 50000);
  const std::vector<PlainRecord> records = MovedPass(old, moved);
  Bytes rebuilt;
  ASSERT_TRUE(testing::ApplyRecords(records, moved, &rebuilt));
  EXPECT_TRUE(rebuilt == old);
  EXPECT_LE(DataBytes(records), 50000u + 8192);
}

TEST(MovedDataTest, WithTheOptionEveryRevisionRebuildsAndTheReverseDifferencesStaySmall) {
  const testing::History history = testing::LargeFileHistory(4u << 20, 3, 21);
  uint64_t older[2] = {};  // data bytes of the older revisions
  for (int findMoved = 0; findMoved < 2; ++findMoved) {
    SCOPED_TRACE(findMoved);
    testing::MemoryFiles files;
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(files, "a.crn", true, true, &heap), S_OK);
    heap->SetHeaderField(header::kOptions, options::kCompress | (findMoved ? options::kFindMoved : 0));
    const std::vector<uint32_t> revisions = testing::StoreContents(*heap, "C:\\big.bin", history[0], 1);
    ASSERT_EQ(revisions.size(), history[0].size());
    Quiet quiet;
    for (size_t r = 0; r < revisions.size(); ++r) {
      MemoryContent content;
      ASSERT_EQ(RebuildContent(*heap, revisions[r], content, quiet, "test"), S_OK);
      ASSERT_TRUE(content.Bytes() == history[0][r]) << "revision " << r + 1;
    }
    CheckReport report;
    ASSERT_EQ(CheckArchive(*heap, nullptr, nullptr, &report), S_OK);
    EXPECT_TRUE(report.Sound());
    for (size_t r = 0; r + 1 < revisions.size(); ++r)
      ForEach<DifferenceRecord>(*heap, RevisionRecord(*heap, revisions[r]).Differences(), [&](DifferenceRecord& d) {
        if (d.Kind() != difference_kind::kDeletion) older[findMoved] += d.Length();
        return S_OK;
      });
  }
  // Without the option each 12 KB insertion leaves about half the file behind as Changes; with
  // it, what the ten small overwrites and the insertion changed.
  EXPECT_LT(older[1] * 50, older[0]);
  EXPECT_LT(older[1], 3 * 10 * 300u);
}

}  // namespace
}  // namespace cairn
