#include "SampleArchive.h"

#include <cstring>

#include "ArchiveWalk.h"

namespace cairn {
namespace testing {

uint32_t ArchiveBuilder::Object(const std::string& name) {
  const uint32_t object = heap_.Allocate(ObjectRecord::kSize);
  const uint32_t text = WriteString(heap_, name);
  if (object == 0 || text == 0) return 0;
  ObjectRecord(heap_, object).SetName(text);
  return object;
}

uint32_t ArchiveBuilder::Revision(uint32_t object, Stamp asAt, uint32_t attributes, uint64_t size, uint32_t type) {
  const uint32_t offset = heap_.Allocate(RevisionRecord::kSize);
  if (offset == 0) return 0;
  RevisionRecord revision(heap_, offset);
  ObjectRecord owner(heap_, object);
  uint32_t newest = 0;
  ForEach<RevisionRecord>(heap_, owner.OldestRevision(), [&](RevisionRecord& r) {
    newest = r.Offset();
    return S_OK;
  });
  if (newest == 0) {
    owner.SetOldestRevision(offset);
    revision.SetNumber(1);
  } else {
    RevisionRecord previous(heap_, newest);
    previous.SetNext(offset);
    revision.SetPrevious(newest);
    revision.SetNumber(previous.Number() + 1);
  }
  revision.SetAsAt(asAt);
  StatBlock stat;
  stat.type = type;
  stat.size = size;
  stat.modified = 0x01D0000000000000ull;
  stat.created = stat.modified - 1;
  stat.accessed = stat.modified + 1;
  stat.attributes = attributes;
  revision.WriteStat(stat);
  return offset;
}

uint32_t ArchiveBuilder::Difference(uint32_t revision, uint8_t kind, uint32_t position,
                                    const std::vector<uint8_t>& data, uint32_t deletedLength) {
  const uint32_t offset = heap_.Allocate(DifferenceRecord::kSize);
  if (offset == 0) return 0;
  uint32_t block = 0;
  if (!data.empty()) {
    block = heap_.Allocate(static_cast<uint32_t>(data.size()));
    if (block == 0) return 0;
    std::memcpy(heap_.Resolve(block, static_cast<uint32_t>(data.size())), data.data(), data.size());
  }
  DifferenceRecord record(heap_, offset);
  record.SetKind(kind);
  record.SetPosition(position);
  record.SetData(block);
  record.SetLength(data.empty() ? deletedLength : static_cast<uint32_t>(data.size()));
  // Append at the tail of the revision's list.
  uint32_t slot = revision + 8;
  ForEach<DifferenceRecord>(heap_, heap_.Read32(slot), [&](DifferenceRecord& d) {
    slot = d.Offset();
    return S_OK;
  });
  heap_.Write32(slot, offset);
  return offset;
}

uint32_t ArchiveBuilder::Push(uint32_t headField, uint32_t object) {
  const uint32_t offset = heap_.Allocate(ListNode::kSize);
  if (offset == 0) return 0;
  ListNode node(heap_, offset);
  node.SetNext(heap_.Read32(headField));
  node.SetObject(object);
  heap_.Write32(headField, offset);
  return offset;
}

uint32_t ArchiveBuilder::Snapshot(const std::string& name, uint32_t flags) {
  const uint32_t offset = heap_.Allocate(SnapshotRecord::kSize);
  if (offset == 0) return 0;
  const int32_t number = static_cast<int32_t>(heap_.HeaderField(header::kNextSnapshotNumber));
  const uint32_t text = WriteString(heap_, name + ";" + std::to_string(number));
  const uint32_t comment = WriteString(heap_, "");
  if (text == 0 || comment == 0) return 0;
  SnapshotRecord snapshot(heap_, offset);
  snapshot.SetNumber(number);
  snapshot.SetName(text);
  snapshot.SetComment(comment);
  snapshot.SetCreated(Stamp{0xD53E8000u, 0x01D9C000u});
  snapshot.SetFlags(flags);
  uint32_t newest = 0;
  ForEach<SnapshotRecord>(heap_, heap_.HeaderField(header::kSnapshotList), [&](SnapshotRecord& s) {
    newest = s.Offset();
    return S_OK;
  });
  if (newest == 0) {
    heap_.SetHeaderField(header::kSnapshotList, offset);
  } else {
    SnapshotRecord(heap_, newest).SetNext(offset);
    snapshot.SetPrevious(newest);
  }
  heap_.SetHeaderField(header::kNextSnapshotNumber, static_cast<uint32_t>(number + 1));
  return offset;
}

bool BuildSampleArchive(ArchiveHeap& heap) {
  ArchiveBuilder b(heap);
  const std::vector<uint8_t> newest(100, 'n');
  const std::vector<uint8_t> older = {'o', 'l', 'd'};

  const uint32_t first = b.Snapshot("Snapshot", 0x11);
  const uint32_t folder = b.Object("C:\\Data");
  const uint32_t a = b.Object("C:\\Data\\a.txt");
  const uint32_t c = b.Object("C:\\Data\\c.doc");
  const uint32_t folder1 = b.Revision(folder, NumberedStamp(1), kFolderAttribute, 0);
  const uint32_t a1 = b.Revision(a, NumberedStamp(1), 0x20, 102);
  b.Difference(a1, difference_kind::kInsertion, 0, older);
  b.Difference(a1, difference_kind::kDeletion, 3, {}, 4);
  b.Difference(a1, difference_kind::kChange, 50, older);
  const uint32_t a2 = b.Revision(a, NumberedStamp(2), 0x20, newest.size());
  b.Difference(a2, difference_kind::kInsertion, 0, newest);
  const uint32_t c1 = b.Revision(c, NumberedStamp(1), 0x20, 512, revision_type::kStorage);
  b.Push(folder1 + 12, a);
  b.Push(folder1 + 12, c);
  b.Push(first + 8, folder);
  SnapshotRecord(heap, first).SetFlags(snapshot_flags::kDeleted | snapshot_flags::kNumberedStamps);

  const uint32_t second = b.Snapshot("Autosnap", 0x15);
  const uint32_t folder2 = b.Revision(folder, NumberedStamp(2), kFolderAttribute, 0);
  b.Push(folder2 + 12, a);
  b.Push(second + 8, folder);
  const uint32_t element = b.Object("C:\\Data\\c.doc\\Contents");
  b.Revision(element, NumberedStamp(1), 0, 3, revision_type::kStream);
  b.Push(c1 + 12, element);

  // Three separate free areas, each followed by a named stream's records (the FreeBlock records
  // of the later two come from the earlier).
  const uint32_t sizes[] = {40, 24, 64};
  uint32_t blocks[3];
  int i = 0;
  for (const char* name : {"\\\\.\\ArchiveLog", "\\\\.\\ExcFilter", "\\\\.\\IncFilter"}) {
    if ((blocks[i] = heap.Allocate(sizes[i])) == 0) return false;
    ++i;
    const uint32_t stream = b.Object(name);
    b.Revision(stream, Stamp{1, 2}, 0, 0, revision_type::kStream);
    b.Push(header::kNamedStreams, stream);
  }
  for (i = 0; i < 3; ++i)
    if (FAILED(heap.Free(blocks[i], sizes[i]))) return false;
  return heap.IsOpen() && first != 0 && second != 0;
}

}  // namespace testing
}  // namespace cairn
