// A long life as snapshots write it, through the revision store: 50 files of 2 KB, stored
// uncompressed, 300 snapshots, five of them appended to (3 to 300 bytes) before each snapshot
// after the first, each change logged, and each snapshot's folder revision listing all 50. Free
// space must stay within a tenth of the archive, and every revision rebuild exactly.
#include <gtest/gtest.h>

#include <random>

#include "ArchiveOpen.h"
#include "MemoryFiles.h"
#include "RevisionAppend.h"
#include "Revisions.h"
#include "SampleArchive.h"

namespace cairn {
namespace {

using Bytes = std::vector<uint8_t>;

struct Errors final : InternalErrors {
  int reports = 0;
  void Report(const char*, int) override { ++reports; }
};

TEST(LongLifeTest, FreeSpaceStaysWithinATenthAndEveryRevisionRebuilds) {
  testing::MemoryFiles files;
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(OpenArchive(files, "a.crn", true, true, &heap), S_OK);
  testing::ArchiveBuilder build(*heap);
  Errors errors;
  std::mt19937 random(300);
  const auto text = [&](size_t n) {
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(random() % 7 == 0 ? ' ' : 'a' + random() % 26);
    return bytes;
  };
  // Stores content as a new revision of object: the log's entries by appending, others whole.
  std::vector<std::pair<uint32_t, Bytes>> stored;  // every revision and its content
  AppendedPieces logPieces;
  const auto store = [&](uint32_t object, uint32_t* newest, const Bytes& content, size_t appended, int32_t number) {
    const uint32_t revision = heap->Allocate(RevisionRecord::kSize);
    RevisionRecord(*heap, revision).SetPrevious(*newest);
    StatBlock stat;
    stat.size = content.size();
    HRESULT hr = S_FALSE;
    if (appended != 0 && *newest != 0)
      hr = AppendRevisionContent(*heap, revision, content.data() + content.size() - appended,
                                 static_cast<uint32_t>(appended), NumberedStamp(number), stat, &logPieces);
    if (hr == S_FALSE) {
      MemoryContent previous;
      if (*newest != 0) EXPECT_EQ(RebuildContent(*heap, *newest, previous, errors, "Stream"), S_OK);
      MemorySource old(previous.Bytes()), current(content);
      hr = StoreRevisionContent(*heap, revision, old, current, 0, NumberedStamp(number), &stat, errors, "Stream");
    }
    ASSERT_EQ(hr, S_OK);
    if (*newest == 0) ObjectRecord(*heap, object).SetOldestRevision(revision);
    *newest = revision;
    stored.emplace_back(revision, content);
  };

  const uint32_t folder = build.Object("C:\\tree"), log = build.Object("\\\\.\\ArchiveLog");
  build.Push(header::kNamedStreams, log);
  std::vector<uint32_t> objects, newest(50);
  std::vector<Bytes> contents;
  uint32_t logNewest = 0;
  Bytes logContent;
  for (int i = 0; i < 50; ++i) {
    objects.push_back(build.Object("C:\\tree\\file" + std::to_string(i)));
    contents.push_back(text(2048));
  }
  for (int32_t snapshot = 1; snapshot <= 300 && !::testing::Test::HasFailure(); ++snapshot) {
    std::vector<int> changed;
    for (int i = 0; i < 50; ++i) changed.push_back(i);
    if (snapshot > 1) {
      std::shuffle(changed.begin(), changed.end(), random);
      changed.resize(5);
      for (int i : changed) {
        const Bytes tail = text(3 + random() % 298);
        contents[i].insert(contents[i].end(), tail.begin(), tail.end());
      }
    }
    for (int i : changed) {
      ASSERT_NO_FATAL_FAILURE(store(objects[i], &newest[i], contents[i], 0, snapshot));
      const Bytes entry = text(60 + random() % 40);
      logContent.insert(logContent.end(), entry.begin(), entry.end());
      ASSERT_NO_FATAL_FAILURE(store(log, &logNewest, logContent, entry.size(), snapshot));
    }
    const uint32_t listing = build.Revision(folder, NumberedStamp(snapshot), 0x10, 0);
    for (uint32_t object : objects) build.Push(listing + 12, object);
    ASSERT_NE(build.Push(build.Snapshot("Autosnap", 0x11) + 8, folder), 0u);
  }

  FreeSpaceReport report;
  ASSERT_EQ(heap->FreeSpace(&report), S_OK);
  EXPECT_LE(report.total * 10.0, heap->DataSize()) << report.total << " free bytes of " << heap->DataSize();
  for (const auto& revision : stored) {
    MemoryContent rebuilt;
    ASSERT_EQ(RebuildContent(*heap, revision.first, rebuilt, errors, "Stream"), S_OK);
    ASSERT_TRUE(rebuilt.Bytes() == revision.second) << "revision at " << revision.first;
  }
  EXPECT_EQ(errors.reports, 0);
}

}  // namespace
}  // namespace cairn
