#include "RevisionAppend.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "ArchiveWalk.h"
#include "Revisions.h"

namespace cairn {
namespace {

constexpr uint32_t kPiece = 8192;

// The previous revision's whole content as the pieces of its list.
struct Pieces {
  uint64_t size = 0;      // the content's size
  uint32_t lastFull = 0;  // the last piece of 8192 bytes, 0 when there is none
  uint32_t partial = 0;   // a shorter last piece, 0 when there is none
};

// S_OK when the list at first is Insertions at 0, 8192, 16384, ... of 8192 bytes but the last,
// each block inside the archive, and none of the records, blocks and the revision itself overlap:
// the pieces stay where they are, so a write to one of them must never change another.
HRESULT ReadPieces(ArchiveHeap& heap, uint32_t revision, Pieces* pieces) {
  std::vector<std::pair<uint32_t, uint32_t>> areas;
  try {
    areas.emplace_back(revision, RevisionRecord::kSize);
    const HRESULT hr =
        ForEach<DifferenceRecord>(heap, RevisionRecord(heap, revision).Differences(), [&](DifferenceRecord& d) -> HRESULT {
          if (pieces->partial != 0 || d.Kind() != difference_kind::kInsertion || d.Position() != pieces->size ||
              d.Length() == 0 || d.Length() > kPiece || !d.HasSoundData())
            return S_FALSE;
          pieces->size += d.Length();
          (d.Length() == kPiece ? pieces->lastFull : pieces->partial) = d.Offset();
          areas.emplace_back(d.Offset(), DifferenceRecord::kSize);
          areas.emplace_back(d.Data(), d.Length());
          return S_OK;
        });
    if (hr != S_OK || pieces->size > UINT32_MAX) return S_FALSE;
    std::sort(areas.begin(), areas.end());
  } catch (const std::exception&) {
    return S_FALSE;
  }
  for (size_t i = 1; i < areas.size(); ++i)
    if (static_cast<uint64_t>(areas[i - 1].first) + areas[i - 1].second > areas[i].first) return S_FALSE;
  return S_OK;
}

// The record before last in the chain that starts at first.
uint32_t PieceBefore(ArchiveHeap& heap, uint32_t first, uint32_t last) {
  uint32_t before = first;
  for (uint32_t at = first; at != last && at != 0; at = DifferenceRecord(heap, at).Next()) before = at;
  return before;
}

HRESULT Exhausted(const ArchiveHeap& heap) { return heap.IsOpen() ? E_OUTOFMEMORY : kArchiveClosed; }

// Records allocated for the new revision, freed again should a later allocation fail.
class MadeRecords {
 public:
  explicit MadeRecords(ArchiveHeap& heap) : heap_(heap) {}
  ~MadeRecords() {
    if (!kept_ && heap_.IsOpen())
      for (const auto& block : blocks_) heap_.Free(block.first, block.second);
  }
  // A zeroed block of length bytes, 0 when the heap cannot hold it.
  uint32_t Allocate(uint32_t length) {
    const uint32_t block = heap_.Allocate(length);
    if (block == 0) return 0;
    try {
      blocks_.emplace_back(block, length);
    } catch (const std::exception&) {
      heap_.Free(block, length);
      return 0;
    }
    return block;
  }
  void Keep() { kept_ = true; }

 private:
  ArchiveHeap& heap_;
  std::vector<std::pair<uint32_t, uint32_t>> blocks_;
  bool kept_ = false;
};

}  // namespace

HRESULT AppendRevisionContent(ArchiveHeap& heap, uint32_t newRevision, const uint8_t* bytes, uint32_t count,
                              Stamp asAt, StatBlock stat, AppendedPieces* known) {
  if (!heap.IsOpen()) return kArchiveClosed;
  if (!heap.IsWritable()) return E_ACCESSDENIED;
  RevisionRecord revision(heap, newRevision);
  if (!revision.IsValid()) return E_INVALIDARG;
  const uint32_t previousOffset = revision.Previous();
  RevisionRecord previous(heap, previousOffset);
  if (count == 0 || bytes == nullptr || previousOffset == 0 || !previous.IsValid() || previous.Flags() != 0)
    return S_FALSE;
  Pieces pieces;
  if (known != nullptr && known->revision == previousOffset && previous.Differences() != 0) {
    // Stored by this writer's last append, and nothing but the log's next entry changes them.
    pieces.size = known->size;
    pieces.lastFull = known->lastFull;
    pieces.partial = known->partial;
  } else if (ReadPieces(heap, previousOffset, &pieces) != S_OK) {
    return S_FALSE;
  }
  if (pieces.size + count > UINT32_MAX) return S_FALSE;
  const uint32_t oldSize = static_cast<uint32_t>(pieces.size);

  // The bytes of the new last pieces: the short last piece's, then the appended ones.
  std::vector<uint8_t> carry;
  uint32_t start = oldSize;
  try {
    if (pieces.partial != 0) {
      DifferenceRecord last(heap, pieces.partial);
      const uint8_t* held = heap.Resolve(last.Data(), last.Length());
      if (held == nullptr) return S_FALSE;
      carry.assign(held, held + last.Length());
      start -= last.Length();
    }
    carry.insert(carry.end(), bytes, bytes + count);
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }

  // Everything new is written before anything the archive reaches links to it.
  MadeRecords made(heap);
  uint32_t firstNew = 0, lastNew = 0;
  for (uint32_t at = 0; at < carry.size(); at += kPiece) {
    const uint32_t n = std::min<uint32_t>(kPiece, static_cast<uint32_t>(carry.size()) - at);
    const uint32_t record = made.Allocate(DifferenceRecord::kSize);
    const uint32_t block = record != 0 ? made.Allocate(n) : 0;
    if (block == 0) return Exhausted(heap);
    std::memcpy(heap.Resolve(block, n), carry.data() + at, n);  // resolved after the mapping may have moved
    DifferenceRecord piece(heap, record);
    piece.SetKind(difference_kind::kInsertion);
    piece.SetPosition(start + at);
    piece.SetData(block);
    piece.SetLength(n);
    if (lastNew != 0) DifferenceRecord(heap, lastNew).SetNext(record);
    if (firstNew == 0) firstNew = record;
    lastNew = record;
  }
  // The previous revision's reverse difference: the appended bytes go again.
  const uint32_t reverse = made.Allocate(DifferenceRecord::kSize);
  const uint32_t journalSize = pieces.lastFull != 0 ? kRelinkSwitchSize : kSwitchSize;
  const uint32_t journal = reverse != 0 ? heap.Allocate(journalSize) : 0;
  if (journal == 0) return Exhausted(heap);
  made.Keep();
  DifferenceRecord deletion(heap, reverse);
  deletion.SetKind(difference_kind::kDeletion);
  deletion.SetPosition(oldSize);
  deletion.SetLength(count);

  revision.SetFlags(0);
  revision.SetDifferences(pieces.lastFull != 0 ? previous.Differences() : firstNew);
  revision.SetNumber(static_cast<int32_t>(static_cast<uint32_t>(previous.Number()) + 1));
  revision.SetAsAt(asAt);
  stat.size = static_cast<uint64_t>(oldSize) + count;
  revision.WriteStat(stat);
  // The full pieces become the new revision's: the last of them links to its new pieces in the
  // same switch that gives the previous revision its reverse difference.
  if (pieces.lastFull != 0)
    SwitchRevisions(heap, journal, previousOffset, newRevision, reverse, pieces.lastFull, firstNew);
  else
    SwitchRevisions(heap, journal, previousOffset, newRevision, reverse);
  if (pieces.partial != 0) {
    DifferenceRecord last(heap, pieces.partial);
    heap.Free(last.Data(), last.Length());
    heap.Free(pieces.partial, DifferenceRecord::kSize);
  }
  heap.Free(journal, journalSize);
  if (known != nullptr) {
    // The new last piece is full, or the last full one is the one before it (new or shared).
    const uint32_t last = DifferenceRecord(heap, lastNew).Length() == kPiece ? lastNew : 0;
    uint32_t lastFull = last != 0 ? lastNew : pieces.lastFull;
    if (last == 0 && firstNew != lastNew) lastFull = PieceBefore(heap, firstNew, lastNew);
    *known = AppendedPieces{newRevision, oldSize + count, lastFull, last != 0 ? 0 : lastNew};
  }
  return heap.IsOpen() ? S_OK : kArchiveClosed;
}

}  // namespace cairn
