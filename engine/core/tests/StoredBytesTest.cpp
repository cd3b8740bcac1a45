// Archives written from scripted histories shaped like the benchmark's (a large file edited in
// place, a tree of small files) must stay byte for byte what the engine wrote before its
// difference pass, compression and rebuilding were made faster: the digests below were taken
// from that engine, in each compression mode. They changed once, when a new whole content came
// to take over the previous one's unchanged pieces instead of copying them (the same records,
// some data blocks elsewhere), and again when allocation came to take the lowest free block that
// fits and freeing to merge with both neighbours and cut free bytes off the end (the same
// records, blocks elsewhere); every revision is rebuilt and compared with its round's content
// before the digest is taken.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "ArchiveOpen.h"
#include "ArchiveRecords.h"
#include "ArchiveWalk.h"
#include "MemoryFiles.h"
#include "Revisions.h"
#include "SampleArchive.h"
#include "ScriptedHistories.h"

namespace cairn {
namespace {

struct NoErrors final : InternalErrors {
  int reports = 0;
  void Report(const char*, int) override { ++reports; }
};

uint64_t Digest(const std::vector<uint8_t>& bytes) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

// Stores every round of the histories as revisions of objects of their own, as snapshots do,
// and returns the digest of the archive file left behind.
uint64_t StoreHistories(const std::vector<testing::History>& histories, uint32_t mode, WorkerPool* pool) {
  testing::MemoryFiles files;
  std::unique_ptr<ArchiveHeap> heap;
  EXPECT_EQ(OpenArchive(files, "a.crn", true, true, &heap), S_OK);
  testing::ArchiveBuilder build(*heap);
  NoErrors errors;
  struct Tracked {
    const std::vector<testing::Content>* contents;
    uint32_t object;
    uint32_t newest;
  };
  std::vector<Tracked> tracked;
  std::vector<std::pair<uint32_t, const testing::Content*>> stored;  // every revision and its content
  size_t rounds = 0;
  for (const testing::History& history : histories)
    for (const auto& contents : history) {
      const uint32_t object = build.Object("C:\\data\\" + std::to_string(tracked.size()));
      build.Push(header::kNamedStreams, object);
      tracked.push_back(Tracked{&contents, object, 0});
      rounds = std::max(rounds, contents.size());
    }
  for (size_t r = 0; r < rounds; ++r) {
    for (Tracked& t : tracked) {
      if (r >= t.contents->size()) continue;
      const testing::Content& content = (*t.contents)[r];
      MemoryContent previous;
      if (t.newest != 0) {
        EXPECT_EQ(RebuildContent(*heap, t.newest, previous, errors, "Stream", pool), S_OK);
      }
      MemorySource before(previous.Bytes()), current(content);
      const uint32_t revision = heap->Allocate(RevisionRecord::kSize);
      RevisionRecord(*heap, revision).SetPrevious(t.newest);
      StatBlock stat;
      stat.size = content.size();
      stat.modified = 0x01D0000000000000ull + r;
      const HRESULT hr = StoreRevisionContent(*heap, revision, before, current, mode,
                                              NumberedStamp(static_cast<int32_t>(r + 1)), &stat, errors, "FileRevision",
                                              pool);
      EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
      if (hr == S_OK) {
        if (t.newest == 0) ObjectRecord(*heap, t.object).SetOldestRevision(revision);
        t.newest = revision;
        stored.emplace_back(revision, &content);
      } else {
        FreeDifferences(*heap, revision);
        heap->Free(revision, RevisionRecord::kSize);
      }
    }
  }
  for (const auto& revision : stored) {
    MemoryContent rebuilt;
    EXPECT_EQ(RebuildContent(*heap, revision.first, rebuilt, errors, "Stream", pool), S_OK);
    EXPECT_TRUE(rebuilt.Bytes() == *revision.second) << "revision at " << revision.first;
  }
  EXPECT_EQ(errors.reports, 0);
  heap.reset();
  return Digest(files.Bytes("a.crn"));
}

TEST(StoredBytesTest, ScriptedHistoriesGiveTheArchivesTheyAlwaysGave) {
  const std::vector<testing::History> histories = {testing::LargeFileHistory(1u << 20, 3, 11),
                                                   testing::TreeHistory(24, 20000, 3, 12)};
  const struct {
    uint32_t mode;
    uint64_t digest;
  } cases[] = {{0, 0x05e08f481d4ebb57ull}, {1, 0xedbcda1f08a6bf0cull}, {3, 0xbbe6ae4b59a68f0aull}};
  WorkerPool pool(2, 0);  // every content on the pool, however small
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(StoreHistories(histories, c.mode, nullptr), c.digest);
    EXPECT_EQ(StoreHistories(histories, c.mode, &pool), c.digest) << "with the worker pool";
  }
}

}  // namespace
}  // namespace cairn
