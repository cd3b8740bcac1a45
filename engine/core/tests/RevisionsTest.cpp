// The revision store: how contents become difference records (the records each kind of edit
// leaves), compressed data as standard streams, random histories that must rebuild exactly in
// every compression mode, and damaged records that must fail cleanly.
#include <gtest/gtest.h>
#include <bzlib.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>

#include "ArchiveAccounting.h"
#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "DifferenceList.h"
#include "Compression.h"
#include "MemoryFiles.h"
#include "RevisionAppend.h"
#include "Revisions.h"
#include "SampleArchive.h"
#include "Seed.h"

namespace cairn {
namespace {

using Bytes = std::vector<uint8_t>;

struct RecordingErrors final : InternalErrors {
  int reports = 0;
  void Report(const char*, int) override { ++reports; }
};

// A record of a list as the test sees it: data decoded with zlib and bzip2 themselves.
struct Rec {
  uint8_t kind;
  uint32_t position;
  uint32_t length;  // bytes decoded, or removed by a Deletion
  Bytes bytes;
  bool operator==(const Rec& o) const {
    return kind == o.kind && position == o.position && length == o.length && bytes == o.bytes;
  }
};

std::ostream& operator<<(std::ostream& os, const Rec& r) {
  return os << "{kind " << int(r.kind) << " at " << r.position << " length " << r.length << "}";
}

Bytes Decode(uint32_t flags, const uint8_t* data, uint32_t length) {
  Bytes out(1 << 20);
  unsigned int size = static_cast<unsigned int>(out.size());
  if (flags == 0) return Bytes(data, data + length);
  if (flags == 3) {
    EXPECT_EQ(BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.data()), &size,
                                         const_cast<char*>(reinterpret_cast<const char*>(data)), length, 0, 0),
              BZ_OK);
  } else {
    EXPECT_EQ(data[0], 0x78);
    EXPECT_EQ(data[1], 0x01) << "deflate level 1 with a 32 KB window";
    uLongf zsize = size;
    EXPECT_EQ(uncompress(out.data(), &zsize, data, length), Z_OK);
    size = static_cast<unsigned int>(zsize);
  }
  out.resize(size);
  return out;
}

Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// Objects and their revisions kept the way the engine keeps them.
class RevisionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenArchive(files_, "a.crn", true, true, &heap_), S_OK); }

  // A new object among the named streams, where walks find it.
  uint32_t NewObject() {
    testing::ArchiveBuilder build(*heap_);
    const uint32_t object = build.Object("C:\\f" + std::to_string(++objects_));
    build.Push(header::kNamedStreams, object);
    return object;
  }

  uint32_t Newest(uint32_t object) {
    uint32_t newest = 0;
    ForEach<RevisionRecord>(*heap_, ObjectRecord(*heap_, object).OldestRevision(), [&](RevisionRecord& r) {
      newest = r.Offset();
      return S_OK;
    });
    return newest;
  }

  // Stores content as the object's next revision (the engine's AddRevision); *stored is the new
  // revision, or 0 when nothing was stored.
  HRESULT Add(uint32_t object, const Bytes& content, uint32_t mode, uint32_t* stored = nullptr) {
    const uint32_t previous = Newest(object);
    MemorySource before(previous != 0 ? Read(previous) : Bytes());
    MemorySource current(content);
    const uint32_t offset = heap_->Allocate(RevisionRecord::kSize);
    RevisionRecord revision(*heap_, offset);
    revision.SetPrevious(previous);
    if (previous == 0) ObjectRecord(*heap_, object).SetOldestRevision(offset);
    const HRESULT hr = StoreRevisionContent(*heap_, offset, before, current, mode, NumberedStamp(++stamp_), nullptr,
                                            errors_, "StreamRevision");
    if (hr == S_OK) {
      StatBlock stat;
      stat.size = content.size();
      revision.WriteStat(stat);
    } else if (heap_->IsOpen()) {
      if (previous == 0) ObjectRecord(*heap_, object).SetOldestRevision(0);
      heap_->Free(offset, RevisionRecord::kSize);
    }
    if (stored != nullptr) *stored = hr == S_OK ? offset : 0;
    return hr;
  }

  Bytes Read(uint32_t revision, HRESULT expected = S_OK) {
    MemoryContent out;
    EXPECT_EQ(RebuildContent(*heap_, revision, out, errors_, "Stream"), expected);
    return out.Bytes();
  }

  std::vector<Rec> Records(uint32_t revision) {
    std::vector<Rec> list;
    const uint32_t flags = RevisionRecord(*heap_, revision).Flags();
    ForEach<DifferenceRecord>(*heap_, RevisionRecord(*heap_, revision).Differences(), [&](DifferenceRecord& d) {
      Rec r{d.Kind(), d.Position(), d.Length(), {}};
      if (d.Kind() != difference_kind::kDeletion) {
        r.bytes = Decode(flags, heap_->Resolve(d.Data(), d.Length()), d.Length());
        r.length = static_cast<uint32_t>(r.bytes.size());
      }
      list.push_back(r);
      return S_OK;
    });
    return list;
  }

  testing::MemoryFiles files_;
  std::unique_ptr<ArchiveHeap> heap_;
  RecordingErrors errors_;
  int objects_ = 0;
  int32_t stamp_ = 0;
};

Rec Insertion(uint32_t at, const Bytes& b, size_t from, size_t n) {
  return Rec{difference_kind::kInsertion, at, static_cast<uint32_t>(n), Bytes(b.begin() + from, b.begin() + from + n)};
}

TEST_F(RevisionsTest, NewestRevisionHoldsTheWholeContentIn8192ByteInsertions) {
  std::mt19937 rng(1);
  const Bytes content = RandomBytes(rng, 20000);
  for (uint32_t mode : {0u, 1u, 3u}) {
    SCOPED_TRACE(mode);
    const uint32_t object = NewObject();
    uint32_t revision = 0;
    ASSERT_EQ(Add(object, content, mode, &revision), S_OK);
    RevisionRecord r(*heap_, revision);
    EXPECT_EQ(r.Number(), 1);
    EXPECT_EQ(r.Flags(), mode);
    EXPECT_EQ(r.AsAt(), NumberedStamp(stamp_));
    EXPECT_EQ(Records(revision), (std::vector<Rec>{Insertion(0, content, 0, 8192), Insertion(8192, content, 8192, 8192),
                                                   Insertion(16384, content, 16384, 3616)}));
    uint32_t counts[3];
    ASSERT_EQ(CountDifferences(*heap_, revision, &counts[0], &counts[1], &counts[2]), S_OK);
    EXPECT_EQ(std::vector<uint32_t>(counts, counts + 3), (std::vector<uint32_t>{3, 0, 0}));
    EXPECT_EQ(Read(revision), content);

    // Storing it again changes nothing: the revision keeps its whole-content records.
    uint32_t again = 1;
    EXPECT_EQ(Add(object, content, mode, &again), S_FALSE);
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(r.Next(), 0u);
    EXPECT_EQ(Records(revision).size(), 3u);
  }
  const uint32_t empty = NewObject();
  uint32_t first = 0;
  ASSERT_EQ(Add(empty, {}, 1, &first), S_OK);
  EXPECT_EQ(RevisionRecord(*heap_, first).Number(), 1);
  EXPECT_EQ(RevisionRecord(*heap_, first).Differences(), 0u) << "an empty content has an empty list";
  EXPECT_EQ(errors_.reports, 0);
}

// A new whole content takes the stored bytes of unchanged chunks from the previous one instead of
// compressing them again: every block must still be exactly what compressing its chunk gives, in
// every mode, also where the previous revision was stored with other flags or a chunk moved.
TEST_F(RevisionsTest, WholeContentBlocksAreTheirChunksCompressedWhetherReusedOrNot) {
  std::mt19937 rng(7);
  Bytes content = RandomBytes(rng, 100000);
  for (size_t i = 0; i < content.size(); i += 3) content[i] = 'a';  // compressible
  for (uint32_t mode : {1u, 3u}) {
    SCOPED_TRACE(mode);
    const uint32_t object = NewObject();
    Bytes edited = content;
    ASSERT_EQ(Add(object, edited, mode == 1 ? 3u : 1u), S_OK);  // other flags: nothing to reuse
    for (int round = 0; round < 12; ++round) {
      edited[static_cast<size_t>(rng() % edited.size())] ^= 0x5A;
      if (round == 1) edited.insert(edited.begin() + 50000, 100, 'x');  // later chunks move
      uint32_t revision = 0;
      ASSERT_EQ(Add(object, edited, mode, &revision), S_OK);
      uint32_t position = 0;
      ForEach<DifferenceRecord>(*heap_, RevisionRecord(*heap_, revision).Differences(), [&](DifferenceRecord& d) {
        const uint32_t n = std::min<uint32_t>(8192, static_cast<uint32_t>(edited.size()) - position);
        std::vector<uint8_t> expected;
        EXPECT_TRUE(compression::Compress(mode, edited.data() + position, n, &expected));
        EXPECT_EQ(d.Position(), position);
        EXPECT_EQ(Bytes(heap_->Resolve(d.Data(), d.Length()), heap_->Resolve(d.Data(), d.Length()) + d.Length()),
                  expected);
        position += n;
        return S_OK;
      });
      EXPECT_EQ(position, edited.size());
      EXPECT_EQ(Read(RevisionRecord(*heap_, revision).Previous()).size(), round == 1 ? edited.size() - 100 : edited.size());
    }
  }
  EXPECT_EQ(errors_.reports, 0);
}

// Each edit leaves the previous revision the records that turn the new content back into it.
TEST_F(RevisionsTest, EachEditLeavesThePreviousRevisionItsReverseRecords) {
  std::mt19937 rng(2);
  const Bytes old = RandomBytes(rng, 20000);
  const Bytes unique = RandomBytes(rng, 200);
  auto with = [&](std::function<void(Bytes&)> edit) {
    Bytes b = old;
    edit(b);
    return b;
  };
  struct Case {
    const char* name;
    Bytes current;
    std::vector<Rec> expected;
  } cases[] = {
      {"append", with([&](Bytes& b) { b.insert(b.end(), unique.begin(), unique.end()); }),
       {{difference_kind::kDeletion, 20000, 200, {}}}},
      {"insert 100 in the middle", with([&](Bytes& b) { b.insert(b.begin() + 10000, unique.begin(), unique.begin() + 100); }),
       {{difference_kind::kDeletion, 10000, 100, {}}}},
      {"delete 100", with([&](Bytes& b) { b.erase(b.begin() + 10000, b.begin() + 10100); }),
       {Insertion(10000, old, 10000, 100)}},
      {"overwrite 200 in place", with([&](Bytes& b) { std::copy(unique.begin(), unique.end(), b.begin() + 5000); }),
       {{difference_kind::kChange, 5000, 256, Bytes(old.begin() + 5000, old.begin() + 5256)}}},
      {"truncate to 0", {},
       {Insertion(0, old, 0, 8192), Insertion(8192, old, 8192, 8192), Insertion(16384, old, 16384, 3616)}},
  };
  for (const Case& c : cases) {
    for (uint32_t mode : {0u, 1u, 3u}) {
      SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(mode));
      const uint32_t object = NewObject();
      uint32_t first = 0, second = 0;
      ASSERT_EQ(Add(object, old, mode, &first), S_OK);
      ASSERT_EQ(Add(object, c.current, mode, &second), S_OK);
      EXPECT_EQ(Records(first), c.expected);
      EXPECT_EQ(RevisionRecord(*heap_, first).Next(), second);
      EXPECT_EQ(RevisionRecord(*heap_, second).Number(), 2);
      EXPECT_EQ(Read(first), old);
      EXPECT_EQ(Read(second), c.current);
    }
  }
  EXPECT_EQ(errors_.reports, 0);
}

TEST_F(RevisionsTest, SmallUncompressedNewestRevisionIsReadInPlace) {
  std::mt19937 rng(3);
  const Bytes small = RandomBytes(rng, 100), big = RandomBytes(rng, 9000);
  const uint32_t plain = NewObject(), packed = NewObject(), large = NewObject();
  uint32_t older = 0, newest = 0, compressed = 0, multi = 0, data = 0, length = 0;
  ASSERT_EQ(Add(plain, big, 0, &older), S_OK);
  ASSERT_EQ(Add(plain, small, 0, &newest), S_OK);
  ASSERT_EQ(Add(packed, small, 1, &compressed), S_OK);
  ASSERT_EQ(Add(large, big, 0, &multi), S_OK);
  ASSERT_TRUE(InPlaceContent(*heap_, newest, &data, &length));
  EXPECT_EQ(Bytes(heap_->Resolve(data, length), heap_->Resolve(data, length) + length), small);
  EXPECT_FALSE(InPlaceContent(*heap_, older, &data, &length)) << "not the newest";
  EXPECT_FALSE(InPlaceContent(*heap_, compressed, &data, &length));
  EXPECT_FALSE(InPlaceContent(*heap_, multi, &data, &length));
}

TEST_F(RevisionsTest, ListTailAndRemovalOfTheLastRecord) {
  const uint32_t revision = heap_->Allocate(RevisionRecord::kSize);
  DifferenceList list(*heap_, revision);
  const uint8_t bytes[] = "abcdef";
  ASSERT_EQ(list.AppendData(difference_kind::kInsertion, 0, bytes, 6, 0), S_OK);
  ASSERT_EQ(list.AppendDeletion(6, 3), S_OK);
  DifferenceList other(*heap_, revision);  // a new tail slot first moves over what is linked
  ASSERT_EQ(other.AppendData(difference_kind::kChange, 9, bytes, 3, 0), S_OK);
  heap_->Allocate(4);  // so that what is removed does not end the archive, which would cut it
  ASSERT_EQ(other.RemoveLast(), S_OK);
  FreeSpaceReport report;
  ASSERT_EQ(heap_->FreeSpace(&report), S_OK);
  EXPECT_EQ(report.total, 20u + 3u) << "the record and its data block";
  ASSERT_EQ(list.AppendData(difference_kind::kChange, 9, bytes, 3, 0), S_OK);
  EXPECT_EQ(Records(revision).size(), 3u);
  ASSERT_EQ(FreeDifferences(*heap_, revision), S_OK);
  EXPECT_EQ(RevisionRecord(*heap_, revision).Differences(), 0u);
}

TEST(CompressionTest, DecompressionIsBoundedAndAnythingButACleanEndFails) {
  const Bytes text(1000, 'x');
  for (uint32_t flags : {1u, 3u}) {
    SCOPED_TRACE(flags);
    Bytes packed;
    ASSERT_TRUE(compression::Compress(flags, text.data(), 1000, &packed));
    Bytes trailing = packed;
    trailing.push_back(0);
    const struct {
      Bytes stream;
      uint32_t bound;
      compression::Inflated result;
    } cases[] = {
        {packed, 1000, compression::Inflated::kComplete},
        {packed, 0xFFFFFFFF, compression::Inflated::kComplete},
        {trailing, 1000, compression::Inflated::kComplete},
        {packed, 999, compression::Inflated::kFailed},
        {Bytes(packed.begin(), packed.end() - 1), 1000, compression::Inflated::kFailed},
        {Bytes(packed.size(), 0x5A), 1000, compression::Inflated::kFailed},
        {Bytes(), 1000, compression::Inflated::kFailed},
    };
    for (const auto& c : cases) {
      Bytes out;
      uint32_t produced = 0;
      EXPECT_EQ(compression::Decompress(flags, c.stream.data(), static_cast<uint32_t>(c.stream.size()), c.bound,
                                        [&](const uint8_t* b, uint32_t n) {
                                          out.insert(out.end(), b, b + n);
                                          return true;
                                        },
                                        &produced),
                c.result);
      EXPECT_LE(produced, c.bound);
      EXPECT_EQ(out.size(), produced);
      if (c.result == compression::Inflated::kComplete) {
        EXPECT_EQ(out, text);
      }
    }
  }
}

TEST(ContentStoreTest, MovesOverlapAndStayInside) {
  MemoryContent c;
  ASSERT_EQ(c.Resize(8), S_OK);
  const uint8_t digits[] = "01234567";
  ASSERT_EQ(c.Write(0, digits, 8), S_OK);
  ASSERT_EQ(c.Move(2, 0, 5), S_OK);
  EXPECT_EQ(std::string(c.Bytes().begin(), c.Bytes().end()), "01012347");
  ASSERT_EQ(c.Move(0, 3, 5), S_OK);
  EXPECT_EQ(std::string(c.Bytes().begin(), c.Bytes().end()), "12347347");
  EXPECT_EQ(c.Move(4, 0, 5), E_INVALIDARG);
  EXPECT_EQ(c.Write(0xFFFFFFFF, digits, 2), E_INVALIDARG);
  uint8_t out[2];
  EXPECT_EQ(c.Read(7, out, 2), E_INVALIDARG);
  MemorySource s(Bytes(4));
  EXPECT_EQ(s.Seek(5), E_INVALIDARG);
}

// Edits a content the way files change: insertions, deletions, overwrites, appends, truncation,
// moved blocks, scattered single bytes.
void Edit(std::mt19937& rng, Bytes& b, bool text) {
  auto pick = [&](size_t n) { return n == 0 ? size_t(0) : size_t(rng() % (n + 1)); };
  auto fresh = [&](size_t n) {
    Bytes f;
    static const char* words[] = {"the ", "archive ", "keeps ", "every ", "revision\r\n", "of ", "a ", "file "};
    while (f.size() < n) {
      if (text) {
        const char* w = words[rng() % 8];
        f.insert(f.end(), w, w + std::strlen(w));
      } else {
        f.push_back(rng() % 3 == 0 ? 0 : static_cast<uint8_t>(rng()));
      }
    }
    f.resize(n);
    return f;
  };
  const size_t at = pick(b.size()), n = 1 + rng() % (rng() % 4 == 0 ? 20000 : 300);
  const size_t end = std::min(b.size(), at + n);
  switch (rng() % 8) {
    case 0: { Bytes f = fresh(n); b.insert(b.begin() + at, f.begin(), f.end()); break; }
    case 1: b.erase(b.begin() + at, b.begin() + end); break;
    case 2: { Bytes f = fresh(end - at); std::copy(f.begin(), f.end(), b.begin() + at); break; }
    case 3: { Bytes f = fresh(n); b.insert(b.end(), f.begin(), f.end()); break; }
    case 4: b.resize(rng() % 5 == 0 ? 0 : pick(b.size())); break;
    case 5: {
      Bytes block(b.begin() + at, b.begin() + end);
      b.erase(b.begin() + at, b.begin() + end);
      const size_t to = pick(b.size());
      b.insert(b.begin() + to, block.begin(), block.end());
      break;
    }
    case 6: for (int i = 0; i < 12 && !b.empty(); ++i) b[rng() % b.size()] ^= 1 + rng() % 255; break;
    default: if (rng() % 4 == 0) b = fresh(rng() % 60000); break;
  }
  if (b.size() > 100000) b.resize(100000);
}

using testing::Accounting;

TEST_F(RevisionsTest, RandomHistoriesRebuildExactlyInEveryMode) {
  const uint32_t seed = testing::TestSeed();
  SCOPED_TRACE("CAIRN_SEED=" + std::to_string(seed));
  std::mt19937 rng(seed);

  // Objects with modes 0, 1, 3 and mixed, text-like and binary, grown side by side.
  const int kObjects = 4, kRevisions = 30;
  std::vector<uint32_t> objects;
  std::vector<std::vector<std::pair<uint32_t, Bytes>>> history(kObjects);
  std::vector<Bytes> contents(kObjects);
  for (int i = 0; i < kObjects; ++i) {
    objects.push_back(NewObject());
    Edit(rng, contents[i], i % 2 == 0);
  }
  for (int step = 0; step < kRevisions; ++step) {
    for (int i = 0; i < kObjects; ++i) {
      SCOPED_TRACE("object " + std::to_string(i) + " step " + std::to_string(step));
      const uint32_t mode = i < 3 ? (i == 0 ? 0 : i == 1 ? 1 : 3) : (rng() % 3 == 0 ? 0 : rng() % 2 ? 1 : 3);
      const Bytes before = contents[i];
      for (int e = 1 + rng() % 3; e > 0; --e) Edit(rng, contents[i], i % 2 == 0);
      uint32_t revision = 0;
      const bool same = !history[i].empty() && before == contents[i];
      ASSERT_EQ(Add(objects[i], contents[i], mode, &revision), same ? S_FALSE : S_OK);
      if (revision != 0) history[i].emplace_back(revision, contents[i]);
    }
  }
  for (int i = 0; i < kObjects; ++i)
    for (size_t k = 0; k < history[i].size(); ++k) {
      ASSERT_EQ(RevisionRecord(*heap_, history[i][k].first).Number(), static_cast<int32_t>(k + 1));
      ASSERT_EQ(Read(history[i][k].first), history[i][k].second) << "object " << i << " revision " << k + 1;
    }
  EXPECT_EQ(errors_.reports, 0);

  Accounting sum;
  EXPECT_EQ(WalkArchive(*heap_, sum), S_OK);
  EXPECT_EQ(sum.problems, 0);
  EXPECT_EQ(sum.bytes, heap_->DataSize()) << "every byte is live or free, once";
  EXPECT_LT(sum.free, heap_->DataSize() / 2) << "freed whole contents are reused";
}

// Appending to a content (as each log entry does) keeps the records a difference pass stores,
// while the previous revision's full pieces are handed over instead of written again.
TEST_F(RevisionsTest, AppendedRevisionsHoldTheRecordsADifferencePassStores) {
  std::mt19937 rng(11);
  const uint32_t passed = NewObject(), appended = NewObject();
  Bytes content = RandomBytes(rng, 100);
  ASSERT_EQ(Add(passed, content, 0), S_OK);
  ASSERT_EQ(Add(appended, content, 0), S_OK);
  // Tails that end inside a piece, on its end, and that span several pieces.
  const size_t tails[] = {20, 8072, 8192, 1, 8191, 20000, 64, 3 * 8192};
  std::vector<std::pair<uint32_t, Bytes>> history;
  AppendedPieces known;  // from the second append on, the pieces are taken from the one before
  for (size_t count : tails) {
    SCOPED_TRACE("appending " + std::to_string(count) + " to " + std::to_string(content.size()));
    const Bytes tail = RandomBytes(rng, count);
    const uint32_t before = Newest(appended);
    content.insert(content.end(), tail.begin(), tail.end());
    uint32_t general = 0;
    ASSERT_EQ(Add(passed, content, 0, &general), S_OK);

    const uint32_t offset = heap_->Allocate(RevisionRecord::kSize);
    RevisionRecord(*heap_, offset).SetPrevious(before);
    StatBlock stat;
    stat.size = content.size();
    ASSERT_EQ(AppendRevisionContent(*heap_, offset, tail.data(), static_cast<uint32_t>(count), NumberedStamp(++stamp_),
                                    stat, &known),
              S_OK);
    ASSERT_EQ(known.revision, offset);
    EXPECT_EQ(Records(offset), Records(general));
    EXPECT_EQ(Records(before), Records(RevisionRecord(*heap_, general).Previous()));
    EXPECT_EQ(RevisionRecord(*heap_, before).Next(), offset);
    EXPECT_EQ(RevisionRecord(*heap_, offset).Number(), RevisionRecord(*heap_, general).Number());
    EXPECT_EQ(RevisionRecord(*heap_, offset).Size(), content.size());
    history.emplace_back(offset, content);
  }
  for (const auto& revision : history) EXPECT_TRUE(Read(revision.first) == revision.second);
  EXPECT_LT(heap_->HeaderField(header::kReserved), header::kSize) << "no switch left under way";
  Accounting sum;
  EXPECT_EQ(WalkArchive(*heap_, sum), S_OK);
  EXPECT_EQ(sum.problems, 0);
  EXPECT_EQ(sum.bytes, heap_->DataSize()) << "every byte is live or free, once";
  EXPECT_EQ(errors_.reports, 0);

  // What the general way must store: a compressed revision, or none to extend.
  const uint32_t compressed = NewObject();
  ASSERT_EQ(Add(compressed, content, 1), S_OK);
  for (uint32_t previous : {Newest(compressed), 0u}) {
    const uint32_t offset = heap_->Allocate(RevisionRecord::kSize);
    RevisionRecord(*heap_, offset).SetPrevious(previous);
    EXPECT_EQ(AppendRevisionContent(*heap_, offset, content.data(), 10, NumberedStamp(1), StatBlock()), S_FALSE);
    EXPECT_EQ(RevisionRecord(*heap_, offset).Differences(), 0u);
  }
  EXPECT_EQ(RevisionRecord(*heap_, Newest(compressed)).Next(), 0u);
}

// A writer stopped inside the switch that hands the pieces over: the next writer's open relinks
// the shared pieces to the new ones, and both revisions read as they were stored. The heap opened
// alone for writing leaves the switch for that open, its journal still named.
TEST_F(RevisionsTest, AnInterruptedAppendSwitchIsFinishedOnTheNextOpen) {
  std::mt19937 rng(5);
  const uint32_t object = NewObject();
  Bytes content = RandomBytes(rng, 2 * 8192 + 100);
  const Bytes older = content;
  uint32_t previous = 0;
  ASSERT_EQ(Add(object, content, 0, &previous), S_OK);
  const Bytes tail = RandomBytes(rng, 50);
  content.insert(content.end(), tail.begin(), tail.end());
  const uint32_t offset = heap_->Allocate(RevisionRecord::kSize);
  RevisionRecord(*heap_, offset).SetPrevious(previous);
  StatBlock stat;
  stat.size = content.size();
  ASSERT_EQ(AppendRevisionContent(*heap_, offset, tail.data(), 50, NumberedStamp(2), stat), S_OK);

  // Back to the moment after the previous revision switched and before the relink.
  DifferenceRecord shared(*heap_, DifferenceRecord(*heap_, RevisionRecord(*heap_, offset).Differences()).Next());
  const uint32_t slot = shared.Offset(), own = shared.Next();
  ASSERT_EQ(DifferenceRecord(*heap_, own).Position(), 2u * 8192);
  const uint32_t journal = heap_->Allocate(kRelinkSwitchSize);
  SwitchRevisions(*heap_, journal, previous, offset, RevisionRecord(*heap_, previous).Differences(), slot, own);
  shared.SetNext(0);
  heap_->SetHeaderField(header::kReserved, journal);
  heap_.reset();

  ASSERT_EQ(ArchiveHeap::Open(files_, "a.crn", false, true, &heap_), S_OK);
  EXPECT_EQ(DifferenceRecord(*heap_, slot).Next(), 0u);
  ASSERT_NE(heap_->Allocate(16), 0u);  // a change that nothing links
  heap_.reset();

  ASSERT_EQ(OpenArchive(files_, "a.crn", false, true, &heap_), S_OK);
  EXPECT_EQ(DifferenceRecord(*heap_, slot).Next(), own);
  EXPECT_TRUE(Read(offset) == content);
  EXPECT_TRUE(Read(previous) == older);
  EXPECT_EQ(heap_->HeaderField(header::kReserved), 0u);
  Accounting sum;
  EXPECT_EQ(WalkArchive(*heap_, sum), S_OK);
  EXPECT_EQ(sum.bytes, heap_->DataSize()) << "what both writers left unlinked is given back";
}

TEST_F(RevisionsTest, LargeCompressedContentRebuildsBeyondWhatIsKeptInMemory) {
  std::mt19937 rng(7);
  Bytes content(9u << 20);
  for (size_t i = 0; i < content.size(); i += 4096) std::fill_n(content.begin() + i, 4096, static_cast<uint8_t>(rng()));
  Bytes changed = content;
  changed[5u << 20] ^= 1;
  const uint32_t object = NewObject();
  uint32_t first = 0, second = 0;
  ASSERT_EQ(Add(object, content, 1, &first), S_OK);
  ASSERT_EQ(Add(object, changed, 1, &second), S_OK);
  EXPECT_TRUE(Read(first) == content);
  EXPECT_TRUE(Read(second) == changed);
}

TEST_F(RevisionsTest, ReplacingAContentReusesItsSpace) {
  std::mt19937 rng(4);
  Bytes content = RandomBytes(rng, 50000);
  const uint32_t object = NewObject();
  ASSERT_EQ(Add(object, content, 0), S_OK);
  // The new whole content is written before the old one is freed (so that a stopped process
  // loses nothing): the first replacement grows the archive, later ones reuse the freed space.
  content[25000] ^= 1;
  ASSERT_EQ(Add(object, content, 0), S_OK);
  const uint32_t size = heap_->DataSize();
  for (int round = 0; round < 3; ++round) {
    content[1000 * round] ^= 1;
    ASSERT_EQ(Add(object, content, 0), S_OK);
  }
  // (The previous revisions' new records take some of the freed space, so a piece may not fit.)
  EXPECT_LT(heap_->DataSize() - size, 8192u + 1200u) << "each new whole content takes a freed one's place";
}

// A content that fails to read after a number of reads.
class FailingSource final : public ByteSource {
 public:
  FailingSource(Bytes bytes, int reads) : inner_(std::move(bytes)), reads_(reads) {}
  HRESULT Read(uint8_t* b, uint32_t n, uint32_t* got) override { return reads_-- > 0 ? inner_.Read(b, n, got) : E_FAIL; }
  HRESULT Seek(uint32_t p) override { return inner_.Seek(p); }
  uint32_t Position() const override { return inner_.Position(); }
  HRESULT Size(uint32_t* size) override { return inner_.Size(size); }

 private:
  MemorySource inner_;
  int reads_;
};

TEST_F(RevisionsTest, FailedReadOrGrowthLeavesThePreviousRevisionWhole) {
  std::mt19937 rng(5);
  const Bytes old = RandomBytes(rng, 300000);
  Bytes changed = old;
  for (size_t i = 0; i < changed.size(); i += 1000) changed[i] ^= 0xFF;
  const uint32_t object = NewObject();
  uint32_t first = 0;
  ASSERT_EQ(Add(object, old, 1, &first), S_OK);
  const uint32_t second = heap_->Allocate(RevisionRecord::kSize);
  RevisionRecord(*heap_, second).SetPrevious(first);
  // A content read through calls fails at its n-th read: in either pass, at any piece.
  StatBlock stat;
  stat.size = changed.size();
  for (int reads = 0;; ++reads) {
    SCOPED_TRACE(reads);
    errors_.reports = 0;
    MemorySource before(old);
    FailingSource current(changed, reads);
    const HRESULT hr = StoreRevisionContent(*heap_, second, before, current, 1, Stamp{}, &stat, errors_, "FileRevision");
    if (hr == S_OK) {
      ASSERT_GT(reads, 2) << "both passes read the content";
      break;
    }
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_GT(errors_.reports, 0);
    EXPECT_EQ(RevisionRecord(*heap_, first).Next(), 0u);
    EXPECT_EQ(RevisionRecord(*heap_, second).Differences(), 0u);
    ASSERT_EQ(Read(first), old);
  }
  ASSERT_EQ(Read(second), changed);
  // Back to one revision for what follows.
  ASSERT_EQ(FreeDifferences(*heap_, second), S_OK);
  RevisionRecord(*heap_, first).SetNext(0);
  ASSERT_EQ(FreeDifferences(*heap_, first), S_OK);
  MemorySource none, whole(old);
  stat.size = old.size();
  ASSERT_EQ(StoreRevisionContent(*heap_, first, none, whole, 1, Stamp{}, &stat, errors_, "FileRevision"), S_OK);
  const Bytes larger = RandomBytes(rng, 2000000);  // more than the free list holds

  // The archive cannot grow: the store is taken back and the archive stays as it was.
  testing::FaultyFiles faulty(files_);
  heap_.reset();
  ASSERT_EQ(OpenArchive(faulty, "a.crn", false, true, &heap_), S_OK);
  faulty.FailGrowth(faulty.Growths() + 1, true);
  MemorySource again(old), next(larger);
  errors_.reports = 0;
  EXPECT_EQ(StoreRevisionContent(*heap_, second, again, next, 1, Stamp{}, nullptr, errors_, "FileRevision"), E_FAIL);
  EXPECT_EQ(errors_.reports, 1) << "reported once, not once per record";
  EXPECT_TRUE(heap_->IsOpen());
  EXPECT_EQ(RevisionRecord(*heap_, first).Next(), 0u);
  EXPECT_EQ(RevisionRecord(*heap_, second).Differences(), 0u);
  EXPECT_EQ(Read(first), old);

  // Nor can the old size be mapped again: the archive closes, and the store says so.
  heap_.reset();
  ASSERT_EQ(OpenArchive(faulty, "a.crn", false, true, &heap_), S_OK);
  faulty.FailMap(faulty.MapCalls() + 1, E_OUTOFMEMORY, 2);
  MemorySource third(old), fourth(larger);
  EXPECT_EQ(StoreRevisionContent(*heap_, second, third, fourth, 1, Stamp{}, nullptr, errors_, "FileRevision"), kArchiveClosed);
  EXPECT_FALSE(heap_->IsOpen());
}

// A full disk at any growth of a round of stores, whether it passes (one growth fails) or stays
// (every later one fails too): each store is stored whole or taken back whole, every revision
// stored before rebuilds exactly, and every byte of the archive is live or free, once.
TEST_F(RevisionsTest, AFullDiskAtAnyGrowthLosesNothingStoredBefore) {
  testing::ExactGrowth exact;  // every allocation the free list cannot serve grows the file
  std::mt19937 rng(8);
  const uint32_t modes[] = {0, 1, 3, 1};
  std::vector<uint32_t> objects;
  std::vector<std::vector<Bytes>> history(4);
  for (int i = 0; i < 4; ++i) {
    objects.push_back(NewObject());
    for (int k = 0; k < 3; ++k) {
      Bytes content = k == 0 ? RandomBytes(rng, 6000 + 9000 * i) : history[i].back();
      if (k != 0) Edit(rng, content, i % 2 == 0);
      const HRESULT hr = Add(objects[i], content, modes[i]);
      ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
      if (hr == S_OK) history[i].push_back(content);
    }
  }
  std::vector<Bytes> next;
  for (int i = 0; i < 4; ++i) {
    next.push_back(history[i].back());
    for (int e = 0; e < 3; ++e) Edit(rng, next[i], i % 2 == 0);
    const Bytes added = RandomBytes(rng, 30000);  // more than the free list holds
    next[i].insert(next[i].begin() + next[i].size() / 2, added.begin(), added.end());
  }
  heap_.reset();
  const Bytes before = files_.Bytes("a.crn");

  int failedRounds = 0;
  for (bool diskStaysFull : {false, true}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE("growth " + std::to_string(n) + (diskStaysFull ? " and every later one" : " only"));
      files_.Bytes("a.crn") = before;
      testing::FaultyFiles faulty(files_);
      ASSERT_EQ(OpenArchive(faulty, "a.crn", false, true, &heap_), S_OK);
      const int growthsAtStart = faulty.Growths();
      faulty.FailGrowth(growthsAtStart + n, diskStaysFull);
      errors_.reports = 0;
      std::vector<HRESULT> results;
      for (int i = 0; i < 4; ++i) results.push_back(Add(objects[i], next[i], modes[i]));
      const bool failed = faulty.Growths() - growthsAtStart >= n;
      ASSERT_TRUE(heap_->IsOpen());
      EXPECT_EQ(heap_->Refusals() != 0, failed);

      // Checked in the open archive, then in the file it leaves behind.
      for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 4; ++i) {
          SCOPED_TRACE("object " + std::to_string(i) + (pass == 0 ? " open" : " reopened"));
          ASSERT_TRUE(results[i] == S_OK || (failed && results[i] == E_FAIL)) << std::hex << results[i];
          std::vector<uint32_t> chain;
          ForEach<RevisionRecord>(*heap_, ObjectRecord(*heap_, objects[i]).OldestRevision(), [&](RevisionRecord& r) {
            chain.push_back(r.Offset());
            return S_OK;
          });
          ASSERT_EQ(chain.size(), history[i].size() + (results[i] == S_OK ? 1 : 0));
          for (size_t k = 0; k < history[i].size(); ++k) ASSERT_EQ(Read(chain[k]), history[i][k]) << "revision " << k + 1;
          if (results[i] == S_OK) {
            ASSERT_EQ(Read(chain.back()), next[i]);
          }
        }
        Accounting sum;
        EXPECT_EQ(WalkArchive(*heap_, sum), S_OK);
        EXPECT_EQ(sum.problems, 0);
        EXPECT_EQ(sum.bytes, heap_->DataSize()) << "what a failed store had allocated is free again";
        heap_.reset();
        if (pass == 0) {
          ASSERT_EQ(OpenArchive(files_, "a.crn", false, true, &heap_), S_OK);
        }
      }
      if (failed) {
        EXPECT_GT(errors_.reports, 0) << "a refused store is reported";
      } else {
        break;  // the round needs fewer growths than n
      }
      ++failedRounds;
    }
  }
  EXPECT_GE(failedRounds, 30) << "a full disk was met at many points";
}

// Damaged records: each case breaks a sound archive in one way; rebuilding must fail with
// kCorruptArchive after reporting it, or apply the stored bytes where decompression fails.
TEST_F(RevisionsTest, DamagedRecordsFailCleanly) {
  std::mt19937 rng(6);
  const Bytes a = RandomBytes(rng, 300), unique = RandomBytes(rng, 100), x(1000, 'x');
  Bytes b = a;
  b.insert(b.begin() + 100, unique.begin(), unique.end());
  struct Revs {
    uint32_t older, newer, zlib, bzip2;  // a then b (uncompressed); x with zlib; x with bzip2
  };
  enum Expect { kCorrupt, kA, kB, kX, kStored };
  auto first = [&](uint32_t revision) { return DifferenceRecord(*heap_, RevisionRecord(*heap_, revision).Differences()); };
  auto size = [&](uint32_t revision, uint64_t n) {
    StatBlock s;
    s.size = n;
    RevisionRecord(*heap_, revision).WriteStat(s);
  };
  // The older revision as zlib Changes of all its bytes (and the Deletion), claiming a size.
  auto changes = [&](const Revs& r, uint64_t claimed) {
    ASSERT_EQ(FreeDifferences(*heap_, r.older), S_OK);
    RevisionRecord(*heap_, r.older).SetFlags(1);
    DifferenceList list(*heap_, r.older);
    list.AppendData(difference_kind::kChange, 0, a.data(), 100, 1);
    list.AppendDeletion(100, 100);
    list.AppendData(difference_kind::kChange, 100, a.data() + 100, 100, 1);
    list.AppendData(difference_kind::kChange, 200, a.data() + 200, 100, 1);
    size(r.older, claimed);
  };
  const struct {
    const char* name;
    std::function<void(const Revs&)> damage;
    uint32_t Revs::*rebuild;  // null: an offset past the archive
    Expect expect;
  } cases[] = {
      {"insertion past the end", [&](const Revs& r) { first(r.newer).SetPosition(1); }, &Revs::newer, kCorrupt},
      {"deletion longer than the content", [&](const Revs& r) { first(r.older).SetLength(0xFFFFFFFF); }, &Revs::older, kCorrupt},
      {"deletion wrapping 32 bits",
       [&](const Revs& r) { first(r.older).SetPosition(0xFFFFFFF0), first(r.older).SetLength(0x20); }, &Revs::older, kCorrupt},
      {"change past the end",
       [&](const Revs& r) {
         DifferenceRecord d = first(r.older);
         d.SetKind(difference_kind::kChange), d.SetData(first(r.newer).Data()), d.SetLength(400), d.SetPosition(1);
       },
       &Revs::older, kCorrupt},
      {"data block past the archive", [&](const Revs& r) { first(r.newer).SetData(heap_->DataSize() - 10); }, &Revs::newer, kCorrupt},
      {"data block in the header", [&](const Revs& r) { first(r.newer).SetData(8); }, &Revs::newer, kCorrupt},
      {"unknown kind", [&](const Revs& r) { first(r.older).SetKind(3); }, &Revs::older, kCorrupt},
      {"list loops", [&](const Revs& r) { first(r.older).SetNext(first(r.older).Offset()); }, &Revs::older, kCorrupt},
      {"chain loops", [&](const Revs& r) { RevisionRecord(*heap_, r.newer).SetNext(r.older); }, &Revs::older, kCorrupt},
      {"record in two lists",
       [&](const Revs& r) { RevisionRecord(*heap_, r.older).SetDifferences(first(r.newer).Offset()); }, &Revs::older, kCorrupt},
      {"records out of order", [&](const Revs& r) { DifferenceList(*heap_, r.older).AppendDeletion(50, 1); }, &Revs::older, kCorrupt},
      {"insertion beyond its revision's size", [&](const Revs& r) { size(r.newer, 10); }, &Revs::newer, kCorrupt},
      {"revision outside the archive", [&](const Revs&) {}, nullptr, kCorrupt},
      {"compressed changes", [&](const Revs& r) { changes(r, 300); }, &Revs::older, kA},
      {"compressed bytes above the revision's size", [&](const Revs& r) { changes(r, 299); }, &Revs::older, kCorrupt},
      {"stored bytes marked zlib", [&](const Revs& r) { RevisionRecord(*heap_, r.newer).SetFlags(1); }, &Revs::older, kA},
      {"stored bytes marked bzip2", [&](const Revs& r) { RevisionRecord(*heap_, r.newer).SetFlags(3); }, &Revs::newer, kB},
      {"zlib output above its size", [&](const Revs& r) { size(r.zlib, 999); }, &Revs::zlib, kStored},
      {"bzip2 output above its size", [&](const Revs& r) { size(r.bzip2, 999); }, &Revs::bzip2, kStored},
      {"absurd size allocates nothing up front", [&](const Revs& r) { size(r.bzip2, ~0ull); }, &Revs::bzip2, kX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    heap_.reset();
    files_.Bytes("a.crn").clear();
    SetUp();
    errors_.reports = 0;
    Revs r{};
    const uint32_t plain = NewObject();
    ASSERT_EQ(Add(plain, a, 0, &r.older), S_OK);
    ASSERT_EQ(Add(plain, b, 0, &r.newer), S_OK);
    ASSERT_EQ(Add(NewObject(), x, 1, &r.zlib), S_OK);
    ASSERT_EQ(Add(NewObject(), x, 3, &r.bzip2), S_OK);
    c.damage(r);
    const uint32_t target = c.rebuild ? r.*c.rebuild : heap_->DataSize() - 50;
    const Bytes got = Read(target, c.expect == kCorrupt ? kCorruptArchive : S_OK);
    switch (c.expect) {
      case kCorrupt: EXPECT_GT(errors_.reports, 0); break;
      case kA: EXPECT_EQ(got, a); break;
      case kB: EXPECT_EQ(got, b); break;
      case kX: EXPECT_EQ(got, x); break;
      case kStored: {
        DifferenceRecord d = first(target);
        EXPECT_EQ(got, Bytes(heap_->Resolve(d.Data(), d.Length()), heap_->Resolve(d.Data(), d.Length()) + d.Length()));
        break;
      }
    }
  }
}

TEST_F(RevisionsTest, FreeingADamagedListUnlinksItAndFreesNothing) {
  const uint32_t object = NewObject();
  uint32_t revision = 0;
  ASSERT_EQ(Add(object, Bytes(20000, 7), 0, &revision), S_OK);
  DifferenceRecord first(*heap_, RevisionRecord(*heap_, revision).Differences());
  DifferenceRecord(*heap_, first.Next()).SetData(first.Data());  // two records share a block
  FreeSpaceReport before, after;
  ASSERT_EQ(heap_->FreeSpace(&before), S_OK);
  EXPECT_EQ(FreeDifferences(*heap_, revision), kCorruptArchive);
  EXPECT_EQ(RevisionRecord(*heap_, revision).Differences(), 0u);
  ASSERT_EQ(heap_->FreeSpace(&after), S_OK);
  EXPECT_EQ(after.total, before.total);
}

}  // namespace
}  // namespace cairn
