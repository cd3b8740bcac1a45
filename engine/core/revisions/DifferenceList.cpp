#include "DifferenceList.h"

#include <cstring>
#include <exception>
#include <vector>

#include "Compression.h"
#include "LoopCheck.h"
#include "Profile.h"

namespace cairn {
namespace {

constexpr uint32_t kDifferencesField = 8;  // of a RevisionRecord

HRESULT Exhausted(const ArchiveHeap& heap) { return heap.IsOpen() ? E_OUTOFMEMORY : kArchiveClosed; }

// Moves *slot along the records already linked behind it, so that it holds the last one's
// link word (which is 0).
HRESULT AdvanceSlot(ArchiveHeap& heap, uint32_t* slot) {
  LoopCheck loop;
  loop.Restart(*slot);
  for (uint32_t next = heap.Read32(*slot); next != 0; next = heap.Read32(*slot)) {
    if (!DifferenceRecord(heap, next).IsValid() || !loop.Step(next)) return kCorruptArchive;
    *slot = next;  // a record's link word is its first field
  }
  return heap.Contains(*slot, 4) ? S_OK : kCorruptArchive;
}

// Fills a new difference record and links it at the list's tail slot.
void LinkRecord(ArchiveHeap& heap, uint32_t slot, uint32_t record, uint8_t kind, uint32_t position,
                uint32_t block, uint32_t length) {
  DifferenceRecord d(heap, record);
  d.SetKind(kind);
  d.SetPosition(position);
  d.SetData(block);
  d.SetLength(length);
  heap.Write32(slot, record);
}

}  // namespace

DifferenceList::DifferenceList(ArchiveHeap& heap, uint32_t revision)
    : heap_(heap), revision_(revision), tailSlot_(revision + kDifferencesField) {}

void DifferenceList::ResetTail() { tailSlot_ = revision_ + kDifferencesField; }

template <class Fill>
HRESULT DifferenceList::Append(uint8_t kind, uint32_t position, uint32_t length, Fill&& fill) {
  if (!heap_.IsOpen()) return kArchiveClosed;
  uint32_t slot = tailSlot_;
  HRESULT hr = AdvanceSlot(heap_, &slot);
  if (FAILED(hr)) return hr;
  const uint32_t record = heap_.Allocate(DifferenceRecord::kSize);
  if (record == 0) return Exhausted(heap_);
  uint32_t block = 0;
  if (kind != difference_kind::kDeletion) {
    block = heap_.Allocate(length);
    if (block == 0) {
      if (heap_.IsOpen()) heap_.Free(record, DifferenceRecord::kSize);
      return Exhausted(heap_);
    }
    // Addresses are taken only now: allocating may have moved the mapping.
    if (!fill(heap_.Resolve(block, length))) {
      heap_.Free(block, length);
      heap_.Free(record, DifferenceRecord::kSize);
      return E_FAIL;
    }
  }
  LinkRecord(heap_, slot, record, kind, position, block, length);
  tailSlot_ = slot;
  return S_OK;
}

HRESULT DifferenceList::AppendData(uint8_t kind, uint32_t position, const uint8_t* bytes, uint32_t count,
                                   uint32_t revisionFlags) {
  if (count == 0) return E_INVALIDARG;
  if (!compression::IsCompressed(revisionFlags)) return AppendStored(kind, position, bytes, count);
  std::vector<uint8_t> packed;
  {
    profile::Scope scope(profile::kCompress);
    if (!compression::Compress(revisionFlags, bytes, count, &packed)) return E_FAIL;
  }
  return AppendStored(kind, position, packed.data(), static_cast<uint32_t>(packed.size()));
}

HRESULT DifferenceList::AppendStored(uint8_t kind, uint32_t position, const uint8_t* stored, uint32_t length) {
  if ((kind != difference_kind::kInsertion && kind != difference_kind::kChange) || length == 0) return E_INVALIDARG;
  std::vector<uint8_t> held;
  if (heap_.OffsetOf(stored) != 0) {
    try {
      held.assign(stored, stored + length);  // growing the archive may move the bytes
    } catch (const std::exception&) {
      return E_OUTOFMEMORY;
    }
    stored = held.data();
  }
  return Append(kind, position, length, [&](uint8_t* block) {
    std::memcpy(block, stored, length);
    return true;
  });
}

HRESULT DifferenceList::AppendTaken(uint8_t kind, uint32_t position, uint32_t block, uint32_t length) {
  if ((kind != difference_kind::kInsertion && kind != difference_kind::kChange) || length == 0) return E_INVALIDARG;
  if (!heap_.IsOpen()) return kArchiveClosed;
  if (heap_.Resolve(block, length) == nullptr || taken_.count(block) != 0) return E_INVALIDARG;
  try {
    taken_.insert(block);
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
  uint32_t slot = tailSlot_;
  HRESULT hr = AdvanceSlot(heap_, &slot);
  const uint32_t record = SUCCEEDED(hr) ? heap_.Allocate(DifferenceRecord::kSize) : 0;
  if (record == 0) {
    taken_.erase(block);
    return FAILED(hr) ? hr : Exhausted(heap_);
  }
  LinkRecord(heap_, slot, record, kind, position, block, length);
  tailSlot_ = slot;
  return S_OK;
}

HRESULT DifferenceList::AppendFromView(uint8_t kind, uint32_t position, ContentView& view, uint32_t count) {
  if ((kind != difference_kind::kInsertion && kind != difference_kind::kChange) || count == 0) return E_INVALIDARG;
  return Append(kind, position, count, [&](uint8_t* to) { return CopyOut(view, position, count, to); });
}

HRESULT DifferenceList::AppendDeletion(uint32_t position, uint32_t length) {
  return Append(difference_kind::kDeletion, position, length, [](uint8_t*) { return true; });
}

HRESULT DifferenceList::RemoveLast() {
  if (!heap_.IsOpen()) return kArchiveClosed;
  const uint32_t record = heap_.Read32(tailSlot_);
  if (record == 0) return S_FALSE;
  DifferenceRecord d(heap_, record);
  if (!d.IsValid()) return kCorruptArchive;
  if (!heap_.Write32(tailSlot_, d.Next())) return E_ACCESSDENIED;
  if (d.Kind() != difference_kind::kDeletion && d.Data() != 0 && d.Length() != 0 && taken_.erase(d.Data()) == 0)
    heap_.Free(d.Data(), d.Length());
  return heap_.Free(record, DifferenceRecord::kSize);
}

}  // namespace cairn
