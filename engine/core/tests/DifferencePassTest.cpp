// The difference pass against the plain step-by-step pass kept in the tests: random edit scripts
// of every kind and size around the pass's own sizes (64, 4096, 8192), runs of changes across
// block boundaries, contents ending inside a block or exactly at its end, repeated patterns
// where the first match matters. Then the same through the archive: stored records byte for byte
// what compressing the plain pass's records gives, with and without the worker pool, and a
// failure of any one compressed piece taking the whole revision back.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "ArchiveAccounting.h"
#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "MemoryFiles.h"
#include "PlainDifferences.h"
#include "ProbeIndex.h"
#include "Revisions.h"
#include "SampleArchive.h"
#include "ScriptedHistories.h"
#include "Seed.h"

namespace cairn {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::PlainRecord;

struct CountingErrors final : InternalErrors {
  int reports = 0;
  void Report(const char*, int) override { ++reports; }
};

constexpr uint32_t kSizes[] = {1, 63, 64, 65, 4095, 4096, 4097, 8191, 8192, 8193, 12288};

// A content of one of the shapes the pass meets: random, text, or repeated patterns.
Bytes Base(std::mt19937& rng, size_t size) {
  switch (rng() % 6) {
    case 0: return testing::RandomBytes(rng, size);
    case 1: return testing::TextBytes(rng, size);
    case 2: return Bytes(size, static_cast<uint8_t>(rng()));
    default: {
      // A short period: every probe occurs at many offsets, and only the first is right.
      const Bytes unit = testing::RandomBytes(rng, 1 + rng() % (rng() % 2 ? 7 : 70));
      Bytes b(size);
      for (size_t i = 0; i < size; ++i) b[i] = unit[i % unit.size()];
      return b;
    }
  }
}

// One edit: an insertion, a deletion or an overwrite of one of kSizes (or a few bytes), at a
// random place or across a block boundary, with bytes that are fresh, copied from elsewhere in
// the content (so that probes match far away) or of the content's own pattern.
void Edit(std::mt19937& rng, Bytes& b) {
  const uint32_t n = rng() % 3 == 0 ? 1 + rng() % 200 : kSizes[rng() % (sizeof kSizes / sizeof kSizes[0])];
  size_t at = b.empty() ? 0 : rng() % (b.size() + 1);
  if (rng() % 3 == 0 && b.size() > 4096) at = std::min(b.size(), 4096 * (1 + rng() % (b.size() / 4096)) - rng() % 130);
  Bytes fresh;
  switch (rng() % 3) {
    case 0: fresh = testing::RandomBytes(rng, n); break;
    case 1: fresh = testing::TextBytes(rng, n); break;
    default:
      for (uint32_t i = 0; i < n; ++i) fresh.push_back(b.empty() ? 0 : b[(at + 1 + i * 7) % b.size()]);
      break;
  }
  switch (rng() % 3) {
    case 0: b.insert(b.begin() + at, fresh.begin(), fresh.end()); break;
    case 1: b.erase(b.begin() + at, b.begin() + std::min(b.size(), at + n)); break;
    default:
      for (uint32_t i = 0; i < n && at + i < b.size(); ++i) b[at + i] = fresh[i];
      break;
  }
}

// Two contents: one of the sizes around block ends, and it edited one to three times.
std::pair<Bytes, Bytes> EditScript(std::mt19937& rng) {
  static const size_t kBaseSizes[] = {0, 1, 100, 4095, 4096, 4097, 8192, 12288, 20000, 24576, 40000};
  Bytes old = Base(rng, kBaseSizes[rng() % (sizeof kBaseSizes / sizeof kBaseSizes[0])]);
  Bytes edited = old;
  for (int e = 1 + rng() % 3; e > 0; --e) Edit(rng, edited);
  if (rng() % 8 == 0) edited.resize(std::min<size_t>(edited.size(), 4096 * (rng() % 6)));  // ends at a block end
  return {old, edited};
}

std::vector<PlainRecord> FastPass(ContentView& a, ContentView& b) {
  testing::RecordingSink sink;
  CountingErrors errors;
  bool failed = true;
  RunDifferencePass(a, b, sink, errors, "test", &failed);
  EXPECT_FALSE(failed);
  EXPECT_EQ(errors.reports, 0);
  return sink.records;
}

TEST(DifferencePassTest, FindsThePlainPassRecordsOnRandomEditScripts) {
  const uint32_t seed = testing::TestSeed();
  SCOPED_TRACE("CAIRN_SEED=" + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 400; ++round) {
    const auto contents = EditScript(rng);
    for (int direction = 0; direction < 2; ++direction) {
      const Bytes& a = direction == 0 ? contents.first : contents.second;
      const Bytes& b = direction == 0 ? contents.second : contents.first;
      SCOPED_TRACE("round " + std::to_string(round) + " direction " + std::to_string(direction) + " sizes " +
                   std::to_string(a.size()) + ", " + std::to_string(b.size()));
      const std::vector<PlainRecord> plain = testing::PlainDifferences(a, b);
      MemoryView x(a.data(), static_cast<uint32_t>(a.size())), y(b.data(), static_cast<uint32_t>(b.size()));
      ASSERT_EQ(FastPass(x, y), plain);
      testing::ChoppyView choppyA(a, seed + round), choppyB(b, ~seed - round);
      ASSERT_EQ(FastPass(choppyA, choppyB), plain) << "read in runs of any length";
    }
  }
}

// Each case's reason: where trying every offset in turn and the index could part.
TEST(DifferencePassTest, ProbeIndexFindsTheFirstOccurrence) {
  std::mt19937 rng(31);
  for (int shape = 0; shape < 60; ++shape) {
    const Bytes text = Base(rng, 60000);
    ProbeIndex index;
    MemoryView view(text.data(), static_cast<uint32_t>(text.size()));
    // Moving along as a run of changes does, now and then jumping or going back.
    for (uint32_t at = 0; at + 64 <= text.size(); at += rng() % 5 == 0 ? rng() % 9000 : 64) {
      if (rng() % 50 == 0 && at != 0) at = rng() % at;
      const uint32_t count = std::min<uint32_t>(8192, static_cast<uint32_t>(text.size()) - at);
      const size_t from = std::min<size_t>(text.size() - 64, at + rng() % 9000);
      Bytes probe(text.begin() + from, text.begin() + from + 64);
      if (rng() % 3 == 0) probe[rng() % 64] ^= 1;
      int64_t found = -2;
      ASSERT_TRUE(index.Find(view, at, count, probe.data(), 64, &found));
      int64_t first = -1;
      for (uint32_t i = 0; i + 64 <= count && first < 0; ++i)
        if (std::equal(probe.begin(), probe.end(), text.begin() + at + i)) first = i;
      ASSERT_EQ(found, first) << "shape " << shape << " at " << at;
    }
  }
}

// Objects of an archive whose revisions are stored through the revision store.
class StoredDifferencesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenArchive(files_, "a.crn", true, true, &heap_), S_OK); }

  uint32_t NewObject() {
    testing::ArchiveBuilder build(*heap_);
    const uint32_t object = build.Object("C:\\f" + std::to_string(++objects_));
    build.Push(header::kNamedStreams, object);
    return object;
  }

  // Stores content as a new revision behind newest (0 for the first).
  HRESULT Store(uint32_t object, uint32_t newest, const Bytes& content, uint32_t mode, WorkerPool* pool,
                uint32_t* stored) {
    MemoryContent previous;
    if (newest != 0) {
      EXPECT_EQ(RebuildContent(*heap_, newest, previous, errors_, "Stream"), S_OK);
    }
    MemorySource before(previous.Bytes()), current(content);
    const uint32_t revision = heap_->Allocate(RevisionRecord::kSize);
    RevisionRecord(*heap_, revision).SetPrevious(newest);
    StatBlock stat;
    stat.size = content.size();
    const HRESULT hr = StoreRevisionContent(*heap_, revision, before, current, mode, Stamp{}, &stat, errors_,
                                            "FileRevision", pool);
    if (hr == S_OK) {
      if (newest == 0) ObjectRecord(*heap_, object).SetOldestRevision(revision);
      *stored = revision;
    } else {
      heap_->Free(revision, RevisionRecord::kSize);
      *stored = 0;
    }
    return hr;
  }

  // The revision's records, with their data blocks as stored.
  std::vector<PlainRecord> Stored(uint32_t revision) {
    std::vector<PlainRecord> list;
    ForEach<DifferenceRecord>(*heap_, RevisionRecord(*heap_, revision).Differences(), [&](DifferenceRecord& d) {
      PlainRecord r{d.Kind(), d.Position(), d.Length(), {}};
      if (d.Kind() != difference_kind::kDeletion) {
        const uint8_t* data = heap_->Resolve(d.Data(), d.Length());
        r.bytes.assign(data, data + d.Length());
      }
      list.push_back(r);
      return S_OK;
    });
    return list;
  }

  // The plain pass's records as a revision with flags stores them.
  static std::vector<PlainRecord> AsStored(std::vector<PlainRecord> records, uint32_t flags) {
    for (PlainRecord& r : records) {
      if (r.kind == difference_kind::kDeletion || flags == 0) continue;
      Bytes packed;
      EXPECT_TRUE(compression::Compress(flags, r.bytes.data(), static_cast<uint32_t>(r.bytes.size()), &packed));
      r.bytes = packed;
      r.length = static_cast<uint32_t>(packed.size());
    }
    return records;
  }

  testing::MemoryFiles files_;
  std::unique_ptr<ArchiveHeap> heap_;
  CountingErrors errors_;
  int objects_ = 0;
};

TEST_F(StoredDifferencesTest, StoredRecordsAreThePlainPassRecordsCompressedWithAndWithoutThePool) {
  const uint32_t seed = testing::TestSeed();
  SCOPED_TRACE("CAIRN_SEED=" + std::to_string(seed));
  std::mt19937 rng(seed);
  WorkerPool pool(2, 0);  // even the smallest contents on the pool
  for (int round = 0; round < 60; ++round) {
    const auto contents = EditScript(rng);
    const uint32_t mode = round % 10 == 9 ? 3 : round % 2;
    for (WorkerPool* workers : {static_cast<WorkerPool*>(nullptr), &pool}) {
      SCOPED_TRACE("round " + std::to_string(round) + " mode " + std::to_string(mode) +
                   (workers ? " pool" : " no pool"));
      const uint32_t object = NewObject();
      uint32_t first = 0, second = 0;
      ASSERT_EQ(Store(object, 0, contents.first, mode, workers, &first), S_OK);
      const HRESULT hr = Store(object, first, contents.second, mode, workers, &second);
      ASSERT_EQ(hr, contents.first == contents.second ? S_FALSE : S_OK);
      if (hr != S_OK) continue;
      EXPECT_EQ(Stored(first), AsStored(testing::PlainDifferences(contents.first, contents.second), mode));
      EXPECT_EQ(Stored(second), AsStored(testing::PlainDifferences(contents.second, Bytes()), mode));
    }
  }
  EXPECT_EQ(errors_.reports, 0);
}

using testing::Accounting;

TEST_F(StoredDifferencesTest, AFailedPieceOnThePoolTakesTheWholeRevisionBack) {
  const testing::History history = testing::LargeFileHistory(600000, 1, 41);
  const Bytes& old = history[0][0];
  const Bytes& edited = history[0][1];
  WorkerPool pool(2, 0);  // even the smallest contents on the pool
  const uint32_t object = NewObject();
  uint32_t first = 0;
  ASSERT_EQ(Store(object, 0, old, 1, &pool, &first), S_OK);
  const std::vector<PlainRecord> whole = Stored(first);
  // Every piece of both passes in turn: the reverse records, then the new whole content.
  int failures = 0;
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE(n);
    errors_.reports = 0;
    compression::FailCompressionAt(n);
    uint32_t second = 0;
    const HRESULT hr = Store(object, first, edited, 1, &pool, &second);
    const bool failed = compression::FailCompressionAt(0);
    if (!failed) {
      ASSERT_EQ(hr, S_OK);
      break;
    }
    ++failures;
    ASSERT_EQ(hr, E_FAIL);
    EXPECT_EQ(errors_.reports, 1) << "reported once";
    EXPECT_EQ(RevisionRecord(*heap_, first).Next(), 0u);
    EXPECT_EQ(Stored(first), whole) << "the previous revision keeps its whole content";
    Accounting sum;
    EXPECT_EQ(WalkArchive(*heap_, sum), S_OK);
    EXPECT_EQ(sum.bytes, heap_->DataSize()) << "nothing of the failed revision is left behind";
  }
  EXPECT_GT(failures, 10);
}

// A previous whole content with a piece that does not decompress is read as a rebuild reads it
// (its stored bytes applied): in the last piece the store goes on from that content, as it always
// did; in another one the content cannot be rebuilt and nothing is stored.
TEST_F(StoredDifferencesTest, ADamagedPieceOfThePreviousContentIsReadAsARebuildReadsIt) {
  std::mt19937 rng(23);
  const Bytes old = testing::TextBytes(rng, 5 * 8192 + 3000);
  Bytes edited = old;
  edited[100] ^= 1;
  for (bool last : {true, false}) {
    SCOPED_TRACE(last ? "last piece" : "middle piece");
    const uint32_t object = NewObject();
    uint32_t first = 0, second = 0;
    ASSERT_EQ(Store(object, 0, old, 1, nullptr, &first), S_OK);
    std::vector<uint32_t> records;
    ForEach<DifferenceRecord>(*heap_, RevisionRecord(*heap_, first).Differences(), [&](DifferenceRecord& d) {
      records.push_back(d.Offset());
      return S_OK;
    });
    DifferenceRecord damaged(*heap_, last ? records.back() : records[2]);
    heap_->Resolve(damaged.Data(), damaged.Length())[damaged.Length() / 2] ^= 0x55;
    MemoryContent rebuilt;
    const HRESULT readable = RebuildContent(*heap_, first, rebuilt, errors_, "Stream");
    ASSERT_EQ(readable, last ? S_OK : kCorruptArchive);
    const Bytes before = rebuilt.Bytes();
    errors_.reports = 0;
    if (last) {
      ASSERT_EQ(Store(object, first, edited, 1, nullptr, &second), S_OK);
      EXPECT_EQ(Stored(first), AsStored(testing::PlainDifferences(before, edited), 1));
    } else {
      // As a Stream on that revision answers: it cannot be rebuilt.
      struct Unreadable final : ByteSource {
        HRESULT Read(uint8_t*, uint32_t, uint32_t* read) override { return *read = 0, E_FAIL; }
        HRESULT Seek(uint32_t) override { return E_FAIL; }
        uint32_t Position() const override { return 0; }
        HRESULT Size(uint32_t*) override { return E_FAIL; }
      } unreadable;
      MemorySource current(edited);
      second = heap_->Allocate(RevisionRecord::kSize);
      RevisionRecord(*heap_, second).SetPrevious(first);
      EXPECT_EQ(StoreRevisionContent(*heap_, second, unreadable, current, 1, Stamp{}, nullptr, errors_, "FileRevision"),
                E_FAIL);
      EXPECT_EQ(RevisionRecord(*heap_, first).Next(), 0u);
      EXPECT_EQ(RevisionRecord(*heap_, second).Differences(), 0u);
      EXPECT_EQ(errors_.reports, 1) << "reported once, as the previous content could not be read";
    }
  }
}

// A content read in place whose file was written meanwhile (its Verify fails): the revision made
// from it is taken back, the first as well as a later one, and the failure is passed on.
class WrittenMeanwhile final : public ByteSource {
 public:
  explicit WrittenMeanwhile(const Bytes& bytes) : inner_(bytes) {}
  HRESULT Read(uint8_t* b, uint32_t n, uint32_t* got) override { return inner_.Read(b, n, got); }
  HRESULT Seek(uint32_t p) override { return inner_.Seek(p); }
  uint32_t Position() const override { return inner_.Position(); }
  HRESULT Size(uint32_t* size) override { return inner_.Size(size); }
  ContentView* Direct() override { return inner_.Direct(); }
  HRESULT Verify() override { return kWritten; }
  static constexpr HRESULT kWritten = static_cast<HRESULT>(0x80070020);

 private:
  MemorySource inner_;
};

TEST_F(StoredDifferencesTest, AContentWrittenMeanwhileTakesItsRevisionBack) {
  std::mt19937 rng(17);
  const Bytes old = testing::TextBytes(rng, 30000), edited = testing::TextBytes(rng, 30000);
  for (uint32_t mode : {0u, 1u}) {
    SCOPED_TRACE(mode);
    const uint32_t object = NewObject();
    const uint32_t firstTry = heap_->Allocate(RevisionRecord::kSize);
    MemorySource none;
    WrittenMeanwhile written(old);
    EXPECT_EQ(StoreRevisionContent(*heap_, firstTry, none, written, mode, Stamp{}, nullptr, errors_, "FileRevision"),
              WrittenMeanwhile::kWritten);
    EXPECT_EQ(RevisionRecord(*heap_, firstTry).Differences(), 0u);
    heap_->Free(firstTry, RevisionRecord::kSize);
    Accounting sum;
    EXPECT_EQ(WalkArchive(*heap_, sum), S_OK);
    EXPECT_EQ(sum.bytes, heap_->DataSize()) << "what the first revision held is free again";

    uint32_t first = 0;
    ASSERT_EQ(Store(object, 0, old, mode, nullptr, &first), S_OK);
    const std::vector<PlainRecord> whole = Stored(first);
    const uint32_t second = heap_->Allocate(RevisionRecord::kSize);
    RevisionRecord(*heap_, second).SetPrevious(first);
    MemorySource previous(old);
    WrittenMeanwhile changed(edited);
    EXPECT_EQ(StoreRevisionContent(*heap_, second, previous, changed, mode, Stamp{}, nullptr, errors_, "FileRevision"),
              WrittenMeanwhile::kWritten);
    EXPECT_EQ(RevisionRecord(*heap_, first).Next(), 0u);
    EXPECT_EQ(RevisionRecord(*heap_, second).Differences(), 0u);
    EXPECT_EQ(Stored(first), whole);
    heap_->Free(second, RevisionRecord::kSize);
  }
  EXPECT_EQ(errors_.reports, 0) << "not an internal error: the file is read again next time";
}

}  // namespace
}  // namespace cairn
