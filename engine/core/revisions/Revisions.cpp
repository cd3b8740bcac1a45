#include "Revisions.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ArchiveWalk.h"
#include "Compression.h"
#include "DifferenceList.h"
#include "DifferencePass.h"
#include "OffsetSet.h"
#include "PieceReuse.h"
#include "Profile.h"
#include "RecordWriter.h"
#include "WholeContent.h"

namespace cairn {
namespace {

// Reports held back while a pass reads the previous content in place: where that content turns
// out damaged, the pass is run again on the content as a rebuild gives it, which reports what it
// meets itself.
class HeldErrors final : public InternalErrors {
 public:
  explicit HeldErrors(InternalErrors& errors) : errors_(errors) {}
  void Report(const char* module, int line) override {
    try {
      held_.emplace_back(module, line);
    } catch (const std::exception&) {
      errors_.Report(module, line);
    }
  }
  void Forward() {
    for (const auto& report : held_) errors_.Report(report.first, report.second);
    held_.clear();
  }
  void Drop() { held_.clear(); }

 private:
  InternalErrors& errors_;
  std::vector<std::pair<const char*, int>> held_;
};

// A pass into list through a writer: true when it stored everything it found (*found tells
// whether it found a difference).
bool WritePass(ContentView& a, ContentView& b, DifferenceList& list, uint32_t flags, WorkerPool* pool,
               InternalErrors& errors, const char* module, Reuse* reuse, SamePieces* same, bool* found,
               bool findMoved = false) {
  RecordWriter writer(list, flags, pool, errors, module);
  writer.SetReuse(reuse);
  writer.SetSame(same);
  bool failed = false;
  *found = RunDifferencePass(a, b, writer, errors, module, &failed, findMoved) == S_OK;
  const bool stored = writer.Finish();
  return stored && !failed;
}

}  // namespace

namespace {

// Frees a list of difference records that nothing links any more, with their data blocks.
// Everything is checked before anything is freed: a damaged list (a loop, data outside the
// archive, records or blocks that overlap) is left where it is, since freeing it would hand out
// the same bytes twice. Data blocks in keep belong to another list as well and stay.
HRESULT FreeList(ArchiveHeap& heap, uint32_t first, const std::unordered_set<uint32_t>* keep = nullptr) {
  struct Area {
    uint32_t start, length;
  };
  std::vector<Area> areas;
  OffsetSet seen;
  bool sound = true;
  HRESULT hr = ForEach<DifferenceRecord>(heap, first, [&](DifferenceRecord& d) -> HRESULT {
    if (!seen.Insert(d.Offset())) return kCorruptArchive;
    if (!d.HasSoundData()) sound = false;
    areas.push_back(Area{d.Offset(), DifferenceRecord::kSize});
    if (d.Kind() != difference_kind::kDeletion && d.Length() != 0 && (keep == nullptr || keep->count(d.Data()) == 0))
      areas.push_back(Area{d.Data(), d.Length()});
    return S_OK;
  });
  if (FAILED(hr) || !sound) return kCorruptArchive;
  std::vector<Area> sorted = areas;
  std::sort(sorted.begin(), sorted.end(), [](const Area& x, const Area& y) { return x.start < y.start; });
  for (size_t i = 1; i < sorted.size(); ++i)
    if (static_cast<uint64_t>(sorted[i - 1].start) + sorted[i - 1].length > sorted[i].start) return kCorruptArchive;
  for (const Area& area : areas) {
    hr = heap.Free(area.start, area.length);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT FreeDifferences(ArchiveHeap& heap, uint32_t revision) {
  static const std::unordered_set<uint32_t> none;
  return FreeDifferences(heap, revision, none);
}

HRESULT FreeDifferences(ArchiveHeap& heap, uint32_t revision, const std::unordered_set<uint32_t>& keep) {
  if (!heap.IsOpen()) return kArchiveClosed;
  if (!heap.IsWritable()) return E_ACCESSDENIED;
  RevisionRecord owner(heap, revision);
  if (!owner.IsValid()) return kCorruptArchive;
  const uint32_t first = owner.Differences();
  owner.SetDifferences(0);  // unlinked first, freed after
  return FreeList(heap, first, &keep);
}

HRESULT StoreRevisionContent(ArchiveHeap& heap, uint32_t newRevision, ByteSource& previousContent,
                             ByteSource& current, uint32_t mode, Stamp asAt, const StatBlock* stat,
                             InternalErrors& errors, const char* module, WorkerPool* pool) {
  if (!heap.IsOpen()) return kArchiveClosed;
  if (!heap.IsWritable()) return E_ACCESSDENIED;
  RevisionRecord revision(heap, newRevision);
  if (!revision.IsValid()) return E_INVALIDARG;
  DifferenceList list(heap, newRevision);
  MemoryView empty(nullptr, 0);
  const uint32_t previousOffset = revision.Previous();
  auto failure = [&] { return heap.IsOpen() ? E_FAIL : kArchiveClosed; };

  // Both contents are read in place where they can be, else a window at a time.
  std::unique_ptr<WindowView> currentWindow;
  ContentView* now = current.Direct();
  if (now == nullptr) {
    currentWindow.reset(new (std::nothrow) WindowView(current));
    if (currentWindow == nullptr || currentWindow->Failed()) {
      errors.Report(module, __LINE__);
      return E_FAIL;
    }
    now = currentWindow.get();
  }
  bool found = false;
  auto workers = [&](uint32_t size) { return WorkerPool::For(pool, size); };

  // Everything the new revision holds is written before anything links to it, and the previous
  // revision changes in one switch at the end (see SwitchRevisions): a process stopped at any
  // point leaves every revision that was linked before whole.
  if (previousOffset == 0) {
    revision.SetFlags(mode);
    if (!WritePass(*now, empty, list, mode, workers(now->Size()), errors, module, nullptr, nullptr, &found)) {
      FreeDifferences(heap, newRevision);
      return failure();
    }
    const HRESULT verified = current.Verify();
    if (FAILED(verified)) {
      FreeDifferences(heap, newRevision);
      return verified;
    }
    revision.SetNumber(1);
    revision.SetAsAt(asAt);
    if (stat != nullptr) revision.WriteStat(*stat);
    return heap.IsOpen() ? S_OK : kArchiveClosed;
  }

  RevisionRecord previous(heap, previousOffset);
  if (!previous.IsValid()) {
    errors.Report(module, __LINE__);
    return kCorruptArchive;
  }
  // The reverse differences belong to the previous revision and are stored with its flags.
  const uint32_t previousFlags = previous.Flags();
  revision.SetFlags(previousFlags);
  const bool reusing = previousFlags == mode && compression::IsCompressed(mode);
  const bool findMoved = (heap.HeaderField(header::kOptions) & options::kFindMoved) != 0;

  // The previous content straight from its records where they hold it whole; where they turn
  // out damaged, the pass runs again on the content as a rebuild gives it.
  std::unique_ptr<WholeContent> whole;
  HRESULT hr = WholeContent::Open(heap, previousOffset, pool, &whole);
  if (FAILED(hr)) {
    errors.Report(module, __LINE__);
    return hr;
  }
  SamePieces same(now->Size());
  bool stored = false;
  if (whole != nullptr) {
    HeldErrors held(errors);
    stored = WritePass(*whole, *now, list, previousFlags, workers(std::max(whole->Size(), now->Size())), held, module,
                       nullptr, reusing ? &same : nullptr, &found, findMoved);
    if (!stored && whole->Damaged()) {
      held.Drop();
      FreeDifferences(heap, newRevision);
      whole.reset();
    } else {
      held.Forward();
    }
  }
  if (whole == nullptr) {
    std::unique_ptr<WindowView> window;
    ContentView* before = previousContent.Direct();
    if (before == nullptr) {
      window.reset(new (std::nothrow) WindowView(previousContent));
      if (window == nullptr || window->Failed()) {
        errors.Report(module, __LINE__);
        return E_FAIL;
      }
      before = window.get();
    }
    stored = WritePass(*before, *now, list, previousFlags, workers(std::max(before->Size(), now->Size())), errors,
                       module, nullptr, nullptr, &found, findMoved);
  }
  if (!stored) {
    FreeDifferences(heap, newRevision);
    return failure();
  }
  if (!found) return S_FALSE;

  // Hold the reverse differences aside and store the whole current content in the new revision.
  const uint32_t reverse = revision.Differences();
  revision.SetDifferences(0);
  list.ResetTail();
  revision.SetFlags(mode);
  ListReuse exact(heap, previous.Differences(), mode);
  std::unique_ptr<PieceReuse> pieces;
  if (reusing && whole != nullptr) pieces.reset(new (std::nothrow) PieceReuse(heap, *whole, same, exact));
  Reuse* reuse = !reusing ? nullptr : pieces != nullptr ? static_cast<Reuse*>(pieces.get()) : &exact;
  stored = WritePass(*now, empty, list, mode, workers(now->Size()), errors, module, reuse, nullptr, &found);
  HRESULT verified = stored ? current.Verify() : S_OK;
  const uint32_t journal = stored && SUCCEEDED(verified) ? heap.Allocate(kSwitchSize) : 0;
  if (journal == 0) {
    // Nothing links to the new records yet: take them back, but for the pieces they took over
    // from the previous revision, which stays whole.
    FreeDifferences(heap, newRevision, list.Taken());
    FreeList(heap, reverse);
    if (FAILED(verified)) return verified;
    if (stored) errors.Report(module, __LINE__);
    return failure();
  }
  revision.SetNumber(static_cast<int32_t>(static_cast<uint32_t>(previous.Number()) + 1));
  revision.SetAsAt(asAt);
  if (stat != nullptr) revision.WriteStat(*stat);

  const uint32_t wholeContent = previous.Differences();
  whole.reset();  // its records are freed next
  SwitchRevisions(heap, journal, previousOffset, newRevision, reverse);
  // The pieces the new revision took over are its own now.
  if (FAILED(FreeList(heap, wholeContent, &list.Taken()))) errors.Report(module, __LINE__);
  heap.Free(journal, kSwitchSize);
  return heap.IsOpen() ? S_OK : kArchiveClosed;
}

namespace {

// Marks a journal of kRelinkSwitchSize bytes behind its first three words ("RLNK").
constexpr uint32_t kRelinkTag = 0x4B4E4C52;

void Switch(ArchiveHeap& heap, uint32_t journal, uint32_t previous, uint32_t newest, uint32_t reverse, uint32_t slot,
            uint32_t value) {
  heap.Write32(journal, previous);
  heap.Write32(journal + 4, newest);
  heap.Write32(journal + 8, reverse);
  if (slot != 0) {
    heap.Write32(journal + 12, kRelinkTag);
    heap.Write32(journal + 16, slot);
    heap.Write32(journal + 20, value);
  }
  // The writer's mark (set by its first change) comes back once the switch is done.
  const uint32_t mark = heap.HeaderField(header::kReserved);
  heap.SetHeaderField(header::kReserved, journal);
  RevisionRecord older(heap, previous);
  older.SetNext(newest);
  older.SetDifferences(reverse);
  if (slot != 0) heap.Write32(slot, value);
  heap.SetHeaderField(header::kReserved, mark);
}

}  // namespace

void SwitchRevisions(ArchiveHeap& heap, uint32_t journal, uint32_t previous, uint32_t newest, uint32_t reverse) {
  Switch(heap, journal, previous, newest, reverse, 0, 0);
}

void SwitchRevisions(ArchiveHeap& heap, uint32_t journal, uint32_t previous, uint32_t newest, uint32_t reverse,
                     uint32_t slot, uint32_t value) {
  Switch(heap, journal, previous, newest, reverse, slot, value);
}

uint32_t SwitchJournalSize(const ArchiveHeap& heap, uint32_t journal) {
  return heap.Contains(journal, kRelinkSwitchSize) && heap.Read32(journal + 12) == kRelinkTag ? kRelinkSwitchSize
                                                                                             : kSwitchSize;
}

bool FinishInterruptedSwitch(ArchiveHeap& heap) {
  const uint32_t journal = heap.HeaderField(header::kReserved);
  if (journal < header::kSize || !heap.IsWritable()) return false;
  if (heap.Contains(journal, kSwitchSize)) {
    RevisionRecord older(heap, heap.Read32(journal)), newest(heap, heap.Read32(journal + 4));
    if (older.IsValid() && newest.IsValid() && newest.Previous() == older.Offset()) {
      older.SetNext(newest.Offset());
      older.SetDifferences(heap.Read32(journal + 8));
      if (SwitchJournalSize(heap, journal) == kRelinkSwitchSize) {
        DifferenceRecord slot(heap, heap.Read32(journal + 16)), value(heap, heap.Read32(journal + 20));
        if (slot.IsValid() && value.IsValid()) slot.SetNext(value.Offset());
      }
    }
  }
  // The writer that ended in the middle of the switch was at work: the journal and the old whole
  // content are lost space until the open's repair gives them back.
  heap.SetHeaderField(header::kReserved, kWritingMark);
  return true;
}

bool InPlaceContent(ArchiveHeap& heap, uint32_t revision, uint32_t* data, uint32_t* length) {
  RevisionRecord owner(heap, revision);
  if (!owner.IsValid() || owner.Next() != 0 || owner.Flags() != 0) return false;
  DifferenceRecord d(heap, owner.Differences());
  if (!d.IsValid() || d.Next() != 0 || d.Kind() != difference_kind::kInsertion || d.Position() != 0 ||
      !d.HasSoundData())
    return false;
  *data = d.Data();
  *length = d.Length();
  return true;
}

HRESULT CountDifferences(ArchiveHeap& heap, uint32_t revision, uint32_t* insertions, uint32_t* deletions,
                         uint32_t* changes) {
  *insertions = *deletions = *changes = 0;
  RevisionRecord owner(heap, revision);
  if (!owner.IsValid()) return kCorruptArchive;
  uint32_t counts[3] = {};
  const HRESULT hr = ForEach<DifferenceRecord>(heap, owner.Differences(), [&](DifferenceRecord& d) -> HRESULT {
    switch (d.Kind()) {
      case difference_kind::kInsertion: ++counts[0]; break;
      case difference_kind::kDeletion: ++counts[1]; break;
      case difference_kind::kChange: ++counts[2]; break;
      default: break;
    }
    return S_OK;
  });
  if (FAILED(hr)) return hr;
  *insertions = counts[0];
  *deletions = counts[1];
  *changes = counts[2];
  return S_OK;
}

}  // namespace cairn
