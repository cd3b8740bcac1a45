// Accessors over the records of the archive heap. A record is named by its archive offset and
// read field by field through the heap, so it stays valid when the mapping moves; every field
// access is bounds-checked by the heap (a field outside the data reads as 0 and is not written).
#pragma once

#include <cstdint>
#include <string>

#include "ArchiveHeap.h"

namespace cairn {

template <uint32_t Size>
class Record {
 public:
  static constexpr uint32_t kSize = Size;

  Record(ArchiveHeap& heap, uint32_t offset) : heap_(&heap), offset_(offset) {}

  uint32_t Offset() const { return offset_; }
  // The whole record lies inside the archive data, behind the header.
  bool IsValid() const { return offset_ >= header::kSize && heap_->Contains(offset_, kSize); }

 protected:
  uint32_t Get(uint32_t field) const { return heap_->Read32(offset_ + field); }
  bool Set(uint32_t field, uint32_t value) { return heap_->Write32(offset_ + field, value); }
  uint64_t Get64(uint32_t field) const {
    return static_cast<uint64_t>(Get(field)) | static_cast<uint64_t>(Get(field + 4)) << 32;
  }
  bool Set64(uint32_t field, uint64_t value) {
    return Set(field, static_cast<uint32_t>(value)) && Set(field + 4, static_cast<uint32_t>(value >> 32));
  }
  ArchiveHeap& Heap() const { return *heap_; }

 private:
  ArchiveHeap* heap_;
  uint32_t offset_;
};

// A 64-bit time or as-at stamp in FILETIME shape.
struct Stamp {
  uint32_t low = 0;
  uint32_t high = 0;
  friend bool operator==(const Stamp& a, const Stamp& b) { return a.low == b.low && a.high == b.high; }
};

// Orders stamps as FILETIMEs: negative, 0 or positive as a is earlier than, equal to or later than b.
inline int CompareStamps(Stamp a, Stamp b) {
  const uint64_t x = static_cast<uint64_t>(a.high) << 32 | a.low, y = static_cast<uint64_t>(b.high) << 32 | b.low;
  return x < y ? -1 : x > y ? 1 : 0;
}

// The stamp of snapshot number n when the snapshot has numbered as-at stamps.
inline Stamp NumberedStamp(int32_t number) { return Stamp{static_cast<uint32_t>(number), 0x7FFFFFFFu}; }

// A free area of the heap.
class FreeBlock : public Record<12> {
 public:
  using Record::Record;
  uint32_t Start() const { return Get(0); }
  uint32_t Length() const { return Get(4); }
  uint32_t Next() const { return Get(8); }
};

// Snapshot flag bits.
namespace snapshot_flags {
constexpr uint32_t kLive = 0x01;
constexpr uint32_t kDeleted = 0x02;
constexpr uint32_t kCompressed = 0x04;
constexpr uint32_t kBzip2 = 0x08;
constexpr uint32_t kNumberedStamps = 0x10;
}  // namespace snapshot_flags

class SnapshotRecord : public Record<36> {
 public:
  using Record::Record;
  uint32_t Next() const { return Get(0); }
  uint32_t Previous() const { return Get(4); }
  uint32_t Entries() const { return Get(8); }
  int32_t Number() const { return static_cast<int32_t>(Get(12)); }
  uint32_t Name() const { return Get(16); }
  uint32_t Comment() const { return Get(20); }
  Stamp Created() const { return Stamp{Get(24), Get(28)}; }
  uint32_t Flags() const { return Get(32); }
  // The stamp that orders this snapshot among revisions and other snapshots.
  Stamp AsAt() const {
    return (Flags() & snapshot_flags::kNumberedStamps) ? NumberedStamp(Number()) : Created();
  }

  bool SetNext(uint32_t v) { return Set(0, v); }
  bool SetPrevious(uint32_t v) { return Set(4, v); }
  bool SetEntries(uint32_t v) { return Set(8, v); }
  bool SetNumber(int32_t v) { return Set(12, static_cast<uint32_t>(v)); }
  bool SetName(uint32_t v) { return Set(16, v); }
  bool SetComment(uint32_t v) { return Set(20, v); }
  bool SetCreated(Stamp v) { return Set(24, v.low) && Set(28, v.high); }
  bool SetFlags(uint32_t v) { return Set(32, v); }
};

// A node of the named-stream list, a snapshot's entry list or a revision's child list.
class ListNode : public Record<8> {
 public:
  using Record::Record;
  uint32_t Next() const { return Get(0); }
  uint32_t Object() const { return Get(4); }
  bool SetNext(uint32_t v) { return Set(0, v); }
  bool SetObject(uint32_t v) { return Set(4, v); }
};

class ObjectRecord : public Record<12> {
 public:
  using Record::Record;
  uint32_t OldestRevision() const { return Get(0); }
  uint32_t Name() const { return Get(4); }
  bool SetOldestRevision(uint32_t v) { return Set(0, v); }
  bool SetName(uint32_t v) { return Set(4, v); }
};

// Revision types in the status block.
namespace revision_type {
constexpr uint32_t kFile = 0;     // a plain file or folder
constexpr uint32_t kStorage = 1;  // a compound file, or a storage inside one
constexpr uint32_t kStream = 2;   // a stream inside a compound file
}  // namespace revision_type

constexpr uint32_t kFolderAttribute = 0x10;

// Revision flag bits.
namespace revision_flags {
constexpr uint32_t kCompressed = 0x01;
constexpr uint32_t kBzip2 = 0x02;
}  // namespace revision_flags

// The status block kept with every revision: bytes 32 to 103 of the RevisionRecord, laid out as
// the 32-bit Windows STATSTG (72 bytes) with the file attributes in its last word. The engine
// converts it to and from the platform's own STATSTG at its boundary.
struct StatBlock {
  static constexpr uint32_t kSize = 72;
  uint32_t name = 0;  // always 0 in the archive
  uint32_t type = 0;
  uint64_t size = 0;
  uint64_t modified = 0;
  uint64_t created = 0;
  uint64_t accessed = 0;
  uint32_t mode = 0;
  uint32_t locksSupported = 0;
  uint8_t classId[16] = {};
  uint32_t stateBits = 0;
  uint32_t attributes = 0;

  void Load(const uint8_t* bytes);
  void Store(uint8_t* bytes) const;
};

class RevisionRecord : public Record<104> {
 public:
  static constexpr uint32_t kStatOffset = 32;
  using Record::Record;
  uint32_t Previous() const { return Get(0); }
  uint32_t Next() const { return Get(4); }
  uint32_t Differences() const { return Get(8); }
  uint32_t Children() const { return Get(12); }
  int32_t Number() const { return static_cast<int32_t>(Get(16)); }
  Stamp AsAt() const { return Stamp{Get(20), Get(24)}; }
  uint32_t Flags() const { return Get(28); }
  uint32_t Type() const { return Get(36); }
  uint64_t Size() const { return Get64(40); }
  uint32_t Attributes() const { return Get(100); }
  // Folders and compound-file storages have a child list; nothing else does.
  bool IsFolder() const { return (Attributes() & kFolderAttribute) != 0 || Type() == revision_type::kStorage; }

  bool SetPrevious(uint32_t v) { return Set(0, v); }
  bool SetNext(uint32_t v) { return Set(4, v); }
  bool SetDifferences(uint32_t v) { return Set(8, v); }
  bool SetChildren(uint32_t v) { return Set(12, v); }
  bool SetNumber(int32_t v) { return Set(16, static_cast<uint32_t>(v)); }
  bool SetAsAt(Stamp v) { return Set(20, v.low) && Set(24, v.high); }
  bool SetFlags(uint32_t v) { return Set(28, v); }

  // The status block; false when the record is not inside the archive.
  bool ReadStat(StatBlock* stat) const;
  bool WriteStat(const StatBlock& stat);
};

// Kinds of difference record.
namespace difference_kind {
constexpr uint8_t kInsertion = 1;
constexpr uint8_t kDeletion = 2;
constexpr uint8_t kChange = 4;
}  // namespace difference_kind

class DifferenceRecord : public Record<20> {
 public:
  using Record::Record;
  uint32_t Next() const { return Get(0); }
  uint8_t Kind() const { return static_cast<uint8_t>(Get(4) & 0xFF); }
  uint32_t Data() const { return Get(8); }
  uint32_t Length() const { return Get(12); }
  uint32_t Position() const { return Get(16); }
  // Deletions carry no data block; the others' block must lie inside the archive.
  bool HasSoundData() const {
    return Kind() == difference_kind::kDeletion ||
           (Data() >= header::kSize && Heap().Contains(Data(), Length()));
  }

  bool SetNext(uint32_t v) { return Set(0, v); }
  bool SetKind(uint8_t v) { return Set(4, v); }
  bool SetData(uint32_t v) { return Set(8, v); }
  bool SetLength(uint32_t v) { return Set(12, v); }
  bool SetPosition(uint32_t v) { return Set(16, v); }
};

// Reads the NUL-terminated string at offset. kCorruptArchive when it does not end inside the
// archive data or starts in the header.
HRESULT ReadString(const ArchiveHeap& heap, uint32_t offset, std::string* text);

// Stores text (which must hold no NUL) in a block of its length plus one; 0 when no room.
uint32_t WriteString(ArchiveHeap& heap, const std::string& text);

// Frees the string at offset with the length it was allocated with.
HRESULT FreeString(ArchiveHeap& heap, uint32_t offset);

}  // namespace cairn
