#include "ArchiveHeap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "ByteOrder.h"
#include "Profile.h"

namespace cairn {
namespace {

// FreeBlock fields.
constexpr uint32_t kFreeStart = 0;
constexpr uint32_t kFreeLength = 4;
constexpr uint32_t kFreeNext = 8;

}  // namespace

bool IsSelfExtractingName(const std::string& path) {
  size_t n = path.size();
  return n >= 2 && (path[n - 2] == 'x' || path[n - 2] == 'X') &&
         (path[n - 1] == 'e' || path[n - 1] == 'E');
}

ArchiveHeap::ArchiveHeap(std::unique_ptr<PlatformFile> file, uint64_t viewOffset, bool write)
    : file_(std::move(file)), viewOffset_(viewOffset), write_(write) {}

ArchiveHeap::~ArchiveHeap() {
  if (!file_) return;
  if (marked_ && IsWritable() && Read32(header::kReserved) == kWritingMark) Put32(header::kReserved, 0);
  const bool longer = IsWritable() && mapped_ > size_;
  file_->Unmap();
  // Where this fails (another opener still maps the file), the next open for writing cuts it.
  if (longer) file_->Truncate(viewOffset_ + size_);
}

HRESULT ArchiveHeap::Open(PlatformFiles& files, const std::string& path, bool create, bool write,
                          std::unique_ptr<ArchiveHeap>* heap) {
  heap->reset();
  std::unique_ptr<PlatformFile> file;
  HRESULT hr = files.Open(path, create, write, &file);
  if (FAILED(hr)) return hr;

  const uint64_t fileSize = file->Size();
  const bool fresh = fileSize == 0;
  // An empty file can only become a new archive; refusing it before mapping leaves it untouched.
  if (fresh && !(create && write)) return kNotAnArchive;
  const uint64_t viewOffset = IsSelfExtractingName(path) ? kSelfExtractingOffset : 0;
  const uint64_t mapSize = fresh ? header::kSize : fileSize;
  if (mapSize <= viewOffset) return E_FAIL;
  if (mapSize - viewOffset > std::numeric_limits<uint32_t>::max()) return E_FAIL;
  // Too short to hold a header: not an archive of any version, and never overwritten.
  if (mapSize - viewOffset < header::kSize) return kNotAnArchive;
  if (fresh && FAILED(hr = file->Reserve(mapSize))) return hr;

  std::unique_ptr<ArchiveHeap> opened(new ArchiveHeap(std::move(file), viewOffset, write));
  const uint32_t dataSize = static_cast<uint32_t>(mapSize - viewOffset);
  hr = opened->MapAt(dataSize, dataSize);
  if (FAILED(hr)) return hr;

  const uint32_t version = opened->Read32(header::kVersion);
  if (version != kFormatVersion) {
    if (version > kFormatVersion && version <= kNewestUnknownVersion) return kNewerVersion;
    if (!fresh) return kNotAnArchive;
    const uint32_t fields[] = {kFormatVersion, 0, 0, 1, options::kNewArchive, 0, 0, 0};
    for (uint32_t i = 0; i < 8; ++i) opened->Write32(i * 4, fields[i]);
  }
  *heap = std::move(opened);
  return S_OK;
}

void ArchiveHeap::EndRepair() {
  if (!IsWritable()) return;
  Put32(header::kReserved, 0);
  marked_ = false;
}

HRESULT ArchiveHeap::MapAt(uint32_t mapped, uint32_t size) {
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
  uint8_t* view = nullptr;
  HRESULT hr = file_->Map(viewOffset_ + mapped, viewOffset_, &view);
  if (FAILED(hr)) return hr;
  data_ = view;
  mapped_ = mapped;
  size_ = size;
  return S_OK;
}

bool ArchiveHeap::Reach(uint64_t end) const {
  if (write_ || data_ == nullptr) return false;
  const uint64_t fileSize = file_->Size();
  if (fileSize <= viewOffset_ || fileSize - viewOffset_ < end ||
      fileSize - viewOffset_ > std::numeric_limits<uint32_t>::max())
    return false;
  uint8_t* view = nullptr;
  if (FAILED(file_->MapAgain(fileSize, viewOffset_, &view))) return false;
  data_ = view;
  size_ = mapped_ = static_cast<uint32_t>(fileSize - viewOffset_);
  return true;
}

bool ArchiveHeap::EndsInZeros() const {
  return IsWritable() && mapped_ > header::kSize && data_[mapped_ - 1] == 0;
}

HRESULT ArchiveHeap::CutBack(uint32_t end) {
  if (!EndsInZeros()) return S_OK;
  // Only a file that ends in zeros can hold a step's unused part.
  uint32_t used = mapped_;
  static const uint8_t kZeros[4096] = {};
  while (used - header::kSize >= sizeof kZeros && std::memcmp(data_ + used - sizeof kZeros, kZeros, sizeof kZeros) == 0)
    used -= sizeof kZeros;
  while (used > header::kSize && data_[used - 1] == 0) --used;
  // Bytes that are not zero are never cut, even where nothing refers to them (the repair has
  // given back what it could).
  end = std::max(end, used);
  if (end >= mapped_) return S_OK;
  // An empty record whose start lies in the cut bytes (free bytes that came off the end) moves
  // to the new end, where walks do not take it for damage.
  if (end < size_) {
    LoopCheck loop;
    loop.Restart(Read32(header::kFreeList));
    for (uint32_t block = Read32(header::kFreeList); block != 0 && Contains(block, kFreeBlockSize);
         block = NextFreeBlock(block, loop))
      if (Read32(block + kFreeLength) == 0 && Read32(block + kFreeStart) > end) Put32(block + kFreeStart, end);
    index_.reset();
  }
  const uint32_t oldMapped = mapped_, oldSize = size_;
  file_->Unmap();
  if (FAILED(file_->Truncate(viewOffset_ + end))) return MapAt(oldMapped, oldSize);
  return MapAt(end, std::min(end, oldSize));
}

uint8_t* ArchiveHeap::Resolve(uint32_t offset, uint32_t length) const {
  return Contains(offset, length) && data_ != nullptr ? data_ + offset : nullptr;
}

uint32_t ArchiveHeap::OffsetOf(const void* address) const {
  const uint8_t* p = static_cast<const uint8_t*>(address);
  if (data_ == nullptr || p < data_ || p >= data_ + size_) return 0;
  return static_cast<uint32_t>(p - data_);
}

uint32_t ArchiveHeap::Read32(uint32_t offset) const {
  return Contains(offset, 4) ? LoadLE32(data_ + offset) : 0;
}

namespace {
// The test hook that watches every change of every archive (see SetChangeHook).
void (*g_changeHook)(uint64_t) = nullptr;
uint64_t g_changes = 0;
bool g_exactGrowth = false;
}  // namespace

void ArchiveHeap::SetExactGrowth(bool on) { g_exactGrowth = on; }

void ArchiveHeap::SetChangeHook(void (*hook)(uint64_t change)) {
  g_changeHook = hook;
  g_changes = 0;
}

void ArchiveHeap::Changed() {
  if (g_changeHook != nullptr) g_changeHook(++g_changes);
}

void ArchiveHeap::MarkWriting() {
  if (marked_) return;
  marked_ = true;
  if (Read32(header::kReserved) == 0) Put32(header::kReserved, kWritingMark);
}

bool ArchiveHeap::Write32(uint32_t offset, uint32_t value) {
  if (!write_ || !Contains(offset, 4)) return false;
  MarkWriting();
  // A word of the free list written from outside: the list is read again when next needed.
  const bool listHead = offset < header::kFreeList + 4 && offset + 4 > header::kFreeList;
  if (index_ && (listHead || index_->Overlaps(offset, 4))) index_.reset();
  Put32(offset, value);
  return true;
}

void ArchiveHeap::Put32(uint32_t offset, uint32_t value) {
  Changed();
  StoreLE32(data_ + offset, value);
}

FreeListIndex* ArchiveHeap::Index() {
  if (index_ || !indexAllowed_) return index_.get();
  struct Area {
    uint32_t start, length;
  };
  std::vector<Area> areas;
  std::unique_ptr<FreeListIndex> index(new FreeListIndex());
  LoopCheck loop;
  loop.Restart(Read32(header::kFreeList));
  for (uint32_t block = Read32(header::kFreeList); block != 0; block = Read32(block + kFreeNext)) {
    if (!IsSoundFreeBlock(block) || !loop.Step(Read32(block + kFreeNext))) return nullptr;
    const uint32_t start = Read32(block + kFreeStart), length = Read32(block + kFreeLength);
    index->Append(block, start, length);
    areas.push_back(Area{block, kFreeBlockSize});
    if (length != 0) areas.push_back(Area{start, length});
  }
  // Records and areas that overlap (or a record met twice) only come from a damaged archive.
  std::sort(areas.begin(), areas.end(), [](const Area& x, const Area& y) { return x.start < y.start; });
  for (size_t i = 1; i < areas.size(); ++i)
    if (static_cast<uint64_t>(areas[i - 1].start) + areas[i - 1].length > areas[i].start) return nullptr;
  index_ = std::move(index);
  return index_.get();
}

uint32_t ArchiveHeap::NextFreeBlock(uint32_t block, LoopCheck& loop) const {
  const uint32_t next = Read32(block + kFreeNext);
  return loop.Step(next) ? next : 0;
}

bool ArchiveHeap::IsSoundFreeBlock(uint32_t block) const {
  if (block < header::kSize || !Contains(block, kFreeBlockSize)) return false;
  const uint32_t start = Read32(block + kFreeStart);
  return start >= header::kSize && Contains(start, Read32(block + kFreeLength));
}

uint32_t ArchiveHeap::Allocate(uint32_t length) {
  if (!IsWritable() || length == 0) return 0;
  profile::Scope scope(profile::kAllocate);
  MarkWriting();
  Changed();

  // The lowest block that is long enough: contents freed below the others' merge with what
  // those leave, and the archive's top stays free to come off its end.
  uint32_t best = 0;
  FreeListIndex* index = Index();
  if (index != nullptr) best = index->LowestFit(length);
  uint32_t bestStart = best != 0 ? index->Start(best) : 0;
  LoopCheck loop;  // a damaged list that loops ends after a few rounds
  loop.Restart(index != nullptr ? 0 : Read32(header::kFreeList));
  for (uint32_t block = index != nullptr ? 0 : Read32(header::kFreeList); block != 0;
       block = NextFreeBlock(block, loop)) {
    if (!Contains(block, kFreeBlockSize)) break;
    if (!IsSoundFreeBlock(block)) continue;  // never hand out what lies outside the data
    const uint32_t start = Read32(block + kFreeStart);
    if (Read32(block + kFreeLength) >= length && (best == 0 || start < bestStart)) {
      best = block;
      bestStart = start;
    }
  }
  if (best == 0) return Grow(length);

  const uint32_t start = Read32(best + kFreeStart);
  const uint32_t bestExcess = Read32(best + kFreeLength) - length;
  if (length < kSmallBlock && bestExcess != 0) {
    // A small block comes from the top of the area, so that small records gather there and a
    // large block freed below merges with what is left rather than being hemmed in by them.
    Put32(best + kFreeLength, bestExcess);
    if (index != nullptr) index->Update(best, start, bestExcess);
    std::memset(data_ + start + bestExcess, 0, length);
    return start + bestExcess;
  }
  // Shrink first, then move the start: stopped between the two writes, the block still lies
  // inside the free area it was, so no live byte can ever be handed out twice.
  Put32(best + kFreeLength, bestExcess);
  Put32(best + kFreeStart, start + length);
  if (index != nullptr) index->Update(best, start + length, bestExcess);
  std::memset(data_ + start, 0, length);
  return start;
}

uint32_t ArchiveHeap::Grow(uint32_t length) {
  profile::Scope scope(profile::kGrow);
  const uint32_t oldSize = size_;
  const uint64_t needed = static_cast<uint64_t>(oldSize) + length;
  if (needed > std::numeric_limits<uint32_t>::max()) {
    ++refusals_;
    ++limitRefusals_;
    return 0;
  }
  if (needed > mapped_ && !Extend(needed)) {
    ++refusals_;
    return 0;
  }
  size_ = static_cast<uint32_t>(needed);
  std::memset(data_ + oldSize, 0, length);
  return oldSize;
}

bool ArchiveHeap::Extend(uint64_t needed) {
  uint64_t target = needed;
  if (!g_exactGrowth) {
    const uint64_t step = std::min<uint64_t>(std::max<uint64_t>(mapped_ / 8, kMinStep), kMaxStep);
    target = std::min<uint64_t>(std::max<uint64_t>(needed, mapped_ + step), std::numeric_limits<uint32_t>::max());
  }
  const uint32_t oldMapped = mapped_, oldSize = size_;
  file_->Unmap();
  // The new part is reserved before it is mapped: writing into a sparse part of a mapping on a
  // full disk faults instead of failing. A step the disk cannot hold gives way to the exact size,
  // so that a nearly full disk still takes what fits.
  HRESULT hr = file_->Reserve(viewOffset_ + target);
  if (FAILED(hr) && target > needed) hr = file_->Reserve(viewOffset_ + (target = needed));
  if (SUCCEEDED(hr) && SUCCEEDED(MapAt(static_cast<uint32_t>(target), oldSize))) return true;
  // The file could not grow: map it again as it was, so that only this allocation fails. When
  // even that fails, MapAt leaves the heap closed, and nothing may touch the lost mapping.
  if (file_->Size() > viewOffset_ + oldMapped) file_->Truncate(viewOffset_ + oldMapped);
  MapAt(oldMapped, oldSize);
  return false;
}

HRESULT ArchiveHeap::Free(uint32_t offset, uint32_t length) {
  profile::Scope scope(profile::kFree);
  if (!IsOpen()) return kArchiveClosed;
  if (!write_) return E_ACCESSDENIED;
  if (offset < header::kSize || !Contains(offset, length)) return E_INVALIDARG;
  if (length == 0) return S_OK;  // nothing to give back
  MarkWriting();

  const uint64_t end = static_cast<uint64_t>(offset) + length;
  FreeListIndex* index = Index();
  // Freeing bytes that hold a record of the list itself, or that it lists as free already, only
  // happens in a damaged archive.
  const bool damaged = index != nullptr && (index->Overlaps(offset, length) || index->AreaOverlaps(offset, length));
  if (damaged) {
    index_.reset();
    index = nullptr;
  }
  // The first blocks, in list order, that end where the area starts and start where it ends, and
  // the first empty record.
  uint32_t below = 0, above = 0, reusable = 0;
  if (index != nullptr) {
    below = index->EndingAt(offset);
    above = index->StartingAt(end);
    reusable = index->FirstEmpty();
  } else {
    LoopCheck loop;
    loop.Restart(Read32(header::kFreeList));
    for (uint32_t block = Read32(header::kFreeList); block != 0; block = NextFreeBlock(block, loop)) {
      if (!Contains(block, kFreeBlockSize)) break;
      if (!IsSoundFreeBlock(block)) continue;
      const uint32_t start = Read32(block + kFreeStart);
      const uint32_t blockLength = Read32(block + kFreeLength);
      if (below == 0 && static_cast<uint64_t>(start) + blockLength == offset) below = block;
      if (above == 0 && start == end) above = block;
      if (blockLength == 0 && reusable == 0) reusable = block;
    }
  }

  // The area the list then holds for it, and the record that describes it.
  uint32_t record = 0, start = offset;
  uint64_t stop = end;
  if (below != 0) {
    record = below;
    start = Read32(below + kFreeStart);
    uint64_t merged = Read32(below + kFreeLength) + static_cast<uint64_t>(length);
    if (above != 0) {
      // The block above gives its area up first: stopped between the writes, that area is lost
      // until the next repair, never listed twice.
      const uint32_t aboveLength = Read32(above + kFreeLength);
      Put32(above + kFreeLength, 0);
      if (index != nullptr) index->Update(above, index->Start(above), 0);
      merged += aboveLength;
      stop += aboveLength;
    }
    Put32(below + kFreeLength, static_cast<uint32_t>(merged));
    if (index != nullptr) index->Update(below, start, static_cast<uint32_t>(merged));
  } else if (above != 0) {
    record = above;
    const uint32_t aboveLength = Read32(above + kFreeLength);
    stop += aboveLength;
    // Stopped between these writes, the block covers less than it should: space leaks, no more.
    Put32(above + kFreeStart, offset);
    Put32(above + kFreeLength, aboveLength + length);
    if (index != nullptr) index->Update(above, offset, aboveLength + length);
  }
  // Free bytes that reach the logical end come off it instead of being listed.
  if (stop == size_ && CutFreeEnd(record, start, index)) return S_OK;
  if (record != 0) return S_OK;

  if (reusable != 0) {
    Put32(reusable + kFreeStart, offset);
    Put32(reusable + kFreeLength, length);
    if (index != nullptr) index->Update(reusable, offset, length);
    return S_OK;
  }
  uint32_t block = Allocate(kFreeBlockSize);
  start = offset;
  if (block == 0 && IsOpen() && length >= kFreeBlockSize) {
    // No room for a record of its own (a full disk): the area's first bytes hold it, so that
    // freeing never loses more than those.
    block = offset;
    start = offset + kFreeBlockSize;
    length -= kFreeBlockSize;
  }
  if (block == 0) return IsOpen() ? E_OUTOFMEMORY : kArchiveClosed;
  Put32(block + kFreeStart, start);
  Put32(block + kFreeLength, length);
  Put32(block + kFreeNext, Read32(header::kFreeList));
  Put32(header::kFreeList, block);
  // Allocating may have built the index again; after a damaged free it must not describe this.
  if (damaged)
    index_.reset();
  else if (index_)
    index_->Prepend(block, start, length);
  return S_OK;
}

bool ArchiveHeap::CutFreeEnd(uint32_t record, uint32_t start, FreeListIndex* index) {
  // Empty records must keep a start inside the data: those behind the new end move to it.
  std::vector<uint32_t> empty;
  if (index != nullptr) {
    if (index->Overlaps(start, size_ - start)) return false;  // a record of the list there
    empty = index->EmptyBehind(start);
  } else {
    // Without the index the list may be damaged: a record of it in the bytes to cut would be
    // lost with them, so then nothing is cut.
    LoopCheck loop;
    loop.Restart(Read32(header::kFreeList));
    for (uint32_t block = Read32(header::kFreeList); block != 0; block = NextFreeBlock(block, loop)) {
      if (!Contains(block, kFreeBlockSize) || block + kFreeBlockSize > start) return false;
      if (block != record && Read32(block + kFreeLength) == 0 && Read32(block + kFreeStart) > start)
        empty.push_back(block);
    }
  }
  // The record gives its area up before the end moves: stopped in between, the bytes are only
  // lost until the next repair cuts them.
  if (record != 0) {
    Put32(record + kFreeLength, 0);
    if (index != nullptr) index->Update(record, start, 0);
  }
  for (const uint32_t block : empty) {
    Put32(block + kFreeStart, start);
    if (index != nullptr) index->Update(block, start, 0);
  }
  Changed();
  std::memset(data_ + start, 0, size_ - start);
  size_ = start;
  return true;
}

HRESULT ArchiveHeap::CutLogicalEnd(uint32_t end) {
  if (!IsOpen()) return kArchiveClosed;
  if (!write_) return E_ACCESSDENIED;
  if (end < header::kSize || end > size_) return E_INVALIDARG;
  MarkWriting();
  Changed();
  // The bytes behind the logical end are zeros while the archive is open (see Grow).
  std::memset(data_ + end, 0, size_ - end);
  size_ = end;
  return S_OK;
}

HRESULT ArchiveHeap::FreeSpace(FreeSpaceReport* report) const {
  *report = FreeSpaceReport();
  if (!IsOpen()) return kArchiveClosed;
  uint64_t total = 0;
  LoopCheck loop;
  loop.Restart(Read32(header::kFreeList));
  for (uint32_t block = Read32(header::kFreeList); block != 0;
       block = Read32(block + kFreeNext)) {
    if (!IsSoundFreeBlock(block) || !loop.Step(Read32(block + kFreeNext))) return kCorruptArchive;
    const uint32_t length = Read32(block + kFreeLength);
    total += length;
    report->largest = std::max(report->largest, length);
    report->smallest = report->blocks == 0 ? length : std::min(report->smallest, length);
    ++report->blocks;
  }
  report->total = static_cast<uint32_t>(std::min<uint64_t>(total, std::numeric_limits<uint32_t>::max()));
  return S_OK;
}

}  // namespace cairn
