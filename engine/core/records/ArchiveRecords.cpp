#include "ArchiveRecords.h"

#include <cstring>

#include "ByteOrder.h"

namespace cairn {

void StatBlock::Load(const uint8_t* b) {
  name = LoadLE32(b);
  type = LoadLE32(b + 4);
  size = LoadLE64(b + 8);
  modified = LoadLE64(b + 16);
  created = LoadLE64(b + 24);
  accessed = LoadLE64(b + 32);
  mode = LoadLE32(b + 40);
  locksSupported = LoadLE32(b + 44);
  std::memcpy(classId, b + 48, 16);
  stateBits = LoadLE32(b + 64);
  attributes = LoadLE32(b + 68);
}

void StatBlock::Store(uint8_t* b) const {
  StoreLE32(b, name);
  StoreLE32(b + 4, type);
  StoreLE64(b + 8, size);
  StoreLE64(b + 16, modified);
  StoreLE64(b + 24, created);
  StoreLE64(b + 32, accessed);
  StoreLE32(b + 40, mode);
  StoreLE32(b + 44, locksSupported);
  std::memcpy(b + 48, classId, 16);
  StoreLE32(b + 64, stateBits);
  StoreLE32(b + 68, attributes);
}

bool RevisionRecord::ReadStat(StatBlock* stat) const {
  const uint8_t* bytes = IsValid() ? Heap().Resolve(Offset() + kStatOffset, StatBlock::kSize) : nullptr;
  if (bytes == nullptr) return false;
  stat->Load(bytes);
  return true;
}

bool RevisionRecord::WriteStat(const StatBlock& stat) {
  uint8_t* bytes = IsValid() && Heap().IsWritable()
                       ? Heap().Resolve(Offset() + kStatOffset, StatBlock::kSize)
                       : nullptr;
  if (bytes == nullptr) return false;
  stat.Store(bytes);
  return true;
}

HRESULT ReadString(const ArchiveHeap& heap, uint32_t offset, std::string* text) {
  text->clear();
  const uint8_t* start = offset >= header::kSize ? heap.Resolve(offset) : nullptr;
  if (start == nullptr) return kCorruptArchive;
  const size_t room = heap.DataSize() - offset;
  const void* end = std::memchr(start, 0, room);
  if (end == nullptr) return kCorruptArchive;
  text->assign(reinterpret_cast<const char*>(start), static_cast<const uint8_t*>(end) - start);
  return S_OK;
}

uint32_t WriteString(ArchiveHeap& heap, const std::string& text) {
  if (text.size() >= UINT32_MAX) return 0;
  const uint32_t length = static_cast<uint32_t>(text.size()) + 1;
  const uint32_t offset = heap.Allocate(length);
  if (offset == 0) return 0;
  std::memcpy(heap.Resolve(offset, length), text.data(), text.size());  // the block is zeroed
  return offset;
}

HRESULT FreeString(ArchiveHeap& heap, uint32_t offset) {
  std::string text;
  HRESULT hr = ReadString(heap, offset, &text);
  if (FAILED(hr)) return hr;
  return heap.Free(offset, static_cast<uint32_t>(text.size()) + 1);
}

}  // namespace cairn
