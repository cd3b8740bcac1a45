// The archive file as a private heap of records linked by 32-bit archive offsets.
//
// The whole archive data is one mapped view. Every offset and length is checked against the
// archive's data size before use, so a corrupt or hostile file yields errors, never stray
// accesses. Addresses returned by Resolve are valid only until the next Allocate: growing the
// file re-creates the mapping, which may move.
//
// The data size is the archive's logical end, where growing the file by exactly each allocation
// would have ended it. The file itself grows in large steps while the archive is open; what lies
// past the logical end is zeros that belong to nothing, and releasing the heap sets the file's
// end back to the logical end, so an archive at rest is byte for byte what exact growth gives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "FreeListIndex.h"
#include "LoopCheck.h"
#include "PlatformFile.h"
#include "Result.h"

namespace cairn {

// Where the archive data begins in a self-extracting archive: behind the launcher.
constexpr uint64_t kSelfExtractingOffset = 65536;

// True when a file of this name holds its archive data from kSelfExtractingOffset on: its name
// ends in the letters "xe" in any case.
bool IsSelfExtractingName(const std::string& path);

// The archive header at archive offset 0.
namespace header {
constexpr uint32_t kSize = 32;
constexpr uint32_t kVersion = 0;
constexpr uint32_t kFreeList = 4;
constexpr uint32_t kSnapshotList = 8;
constexpr uint32_t kNextSnapshotNumber = 12;
constexpr uint32_t kOptions = 16;
constexpr uint32_t kNamedStreams = 20;
constexpr uint32_t kLastProgressCount = 24;
constexpr uint32_t kReserved = 28;
}  // namespace header

// The header's reserved word: 0 at rest; kWritingMark from a writer's first change until it
// releases the archive; during a revision switch, the offset of the switch journal.
constexpr uint32_t kWritingMark = 1;

constexpr uint32_t kFormatVersion = 11;
constexpr uint32_t kNewestUnknownVersion = 127;

// Archive option bits.
namespace options {
constexpr uint32_t kCompress = 0x01;
constexpr uint32_t kShowProgress = 0x02;
constexpr uint32_t kAutoDismiss = 0x04;
constexpr uint32_t kBzip2 = 0x08;
// A disk file whose size, last-write time and attributes are those of its newest revision is
// unchanged, and is not read (a compound document tested as a whole file).
constexpr uint32_t kTimeAndSize = 0x10;
// The difference pass looks for moved data anywhere ahead, not only within its probe window.
constexpr uint32_t kFindMoved = 0x20;
// The archive's stored names (objects', snapshots' and comments') are UTF-8, not the system code
// page's. Set only while the archive has no snapshot: an archive never changes its names' encoding.
constexpr uint32_t kUtf8Names = 0x40;
constexpr uint32_t kNewArchive = kCompress | kShowProgress | kAutoDismiss;
}  // namespace options

// The free-space report. The smallest figure is the true smallest length in the free list.
struct FreeSpaceReport {
  uint32_t total = 0;
  uint32_t largest = 0;
  uint32_t smallest = 0;
  uint32_t blocks = 0;
};

class ArchiveHeap {
 public:
  static constexpr uint32_t kFreeBlockSize = 12;
  // Blocks shorter than this (records, names) are taken from the top of a free area, longer ones
  // (contents) from its bottom.
  static constexpr uint32_t kSmallBlock = 128;

  // Opens the archive file at path (see PlatformFiles::Open for create and write). A new,
  // empty file opened with create receives a new header. Fails with kNewerVersion for a
  // version word of 12 to 127 and with kNotAnArchive for any other unknown content, which is
  // never overwritten. Failures of the platform are passed on as they are.
  // The heap alone: an archive that a writer changed and never released is opened as it was
  // left. Writers open an archive with OpenArchive (ArchiveOpen.h), which repairs it.
  static HRESULT Open(PlatformFiles& files, const std::string& path, bool create, bool write,
                      std::unique_ptr<ArchiveHeap>* heap);

  // Unmaps the archive and sets the file's end back to the logical end. A writer clears the
  // header's reserved word first: the archive is at rest again.
  ~ArchiveHeap();
  ArchiveHeap(const ArchiveHeap&) = delete;
  ArchiveHeap& operator=(const ArchiveHeap&) = delete;

  // False once the file could neither grow nor be mapped again as it was; every call then fails
  // without touching memory.
  bool IsOpen() const { return data_ != nullptr; }
  bool IsWritable() const { return write_ && IsOpen(); }
  // Bytes of archive data: the logical end (0 when closed).
  uint32_t DataSize() const { return size_; }
  // Bytes of the file now mapped behind the view offset: the data and the zeros of the step.
  uint32_t MappedSize() const { return mapped_; }
  // File offset at which the archive data begins (0, or 65536 in a self-extracting archive).
  uint64_t ViewOffset() const { return viewOffset_; }

  // A zero-filled block of length bytes from the lowest free block that holds it (a block shorter
  // than kSmallBlock from the top of its area, a longer one from the bottom), else by growing the
  // file.
  // Returns 0 when there is no room, the archive is read-only or closed, or length is 0. No room
  // means the file cannot grow (a full disk) or would pass 4 GiB, where 32-bit offsets end; the
  // archive stays as it was and usable.
  uint32_t Allocate(uint32_t length);
  // How many allocations found no room since the archive was opened: a caller compares the count
  // before and after a long operation to learn whether any step of it was refused.
  uint64_t Refusals() const { return refusals_; }
  // Of those, how many were refused because the archive would pass 4 GiB (rather than because
  // the disk had no room): the archive is full, whatever the disk holds.
  uint64_t LimitRefusals() const { return limitRefusals_; }

  // Returns a block to the free list; length is what was allocated. It merges with the free
  // blocks on both sides; free bytes that reach the logical end come off it instead (the archive
  // then ends where they began). E_INVALIDARG for a range that is not inside the archive data
  // behind the header.
  HRESULT Free(uint32_t offset, uint32_t length);
  // Moves the logical end back to end, zeroing what lies behind it: for bytes at the end that
  // nothing refers to. E_INVALIDARG unless end lies between the header's end and the data size.
  HRESULT CutLogicalEnd(uint32_t end);

  // Address of length bytes at offset, or null when they are not all inside the archive data.
  uint8_t* Resolve(uint32_t offset, uint32_t length = 1) const;
  // Asks the processor to fetch the bytes at offset, when they are mapped, for a read soon after.
  void Prefetch(uint32_t offset) const {
    if (data_ != nullptr && offset < size_) __builtin_prefetch(data_ + offset);
  }
  // Archive offset of an address inside the mapping, or 0 when it is outside.
  uint32_t OffsetOf(const void* address) const;
  // True when length bytes at offset are inside the archive data. A reader beside a writer in
  // another process maps more of the file when the writer has grown it past what it mapped.
  bool Contains(uint32_t offset, uint64_t length) const {
    const uint64_t end = static_cast<uint64_t>(offset) + length;
    return end <= size_ || Reach(end);
  }

  // A word at offset; 0 when it lies outside the archive data.
  uint32_t Read32(uint32_t offset) const;
  // Writes a word; false when it lies outside or the archive cannot be written.
  bool Write32(uint32_t offset, uint32_t value);

  uint32_t HeaderField(uint32_t field) const { return Read32(field); }
  bool SetHeaderField(uint32_t field, uint32_t value) { return Write32(field, value); }

  // The heap's part of a repair (see OpenArchive), for a writer. EndRepair clears the header's
  // reserved word once what the writer before left is given back; this writer's next change sets
  // it again. EndsInZeros tells whether the file ends in zero bytes, which a growth step that was
  // never released may have left. CutBack(end) cuts the file back to end, the logical end a walk
  // of the whole archive finds, but never past a byte that is not zero; empty free records that
  // start in the cut bytes then start at the new end.
  void EndRepair();
  bool EndsInZeros() const;
  HRESULT CutBack(uint32_t end);

  // Writes the archive's changes to the disk.
  HRESULT Flush() { return IsOpen() ? file_->Flush() : kArchiveClosed; }

  // Sums up the free list. kCorruptArchive when the list leaves the archive or does not end.
  HRESULT FreeSpace(FreeSpaceReport* report) const;

  // For crash tests: hook(n) is called before the n-th change (a word written, a block allocated)
  // of any archive in the process, so a test can end the process at any point of an operation.
  // (Changes are stores into the mapped view, which the platform layer never sees; full-disk
  // tests fail growths in the platform layer instead.)
  static void SetChangeHook(void (*hook)(uint64_t change));
  // For tests: grow the file by exactly each allocation, as the archive at rest looks, rather
  // than in steps. Applies to every archive in the process.
  static void SetExactGrowth(bool on);

  // How far the file grows at least when it must (an eighth of the mapped size within these).
  static constexpr uint32_t kMinStep = 1u << 20;
  static constexpr uint32_t kMaxStep = 64u << 20;

  // For tests: whether Allocate and Free may answer from the free list held in memory (on by
  // default) rather than by walking the list in the archive; both give the same results.
  void SetFreeListIndex(bool on) {
    indexAllowed_ = on;
    index_.reset();
  }

 private:
  ArchiveHeap(std::unique_ptr<PlatformFile> file, uint64_t viewOffset, bool write);
  // Maps mapped bytes of data, of which size are the archive's; on failure the heap is closed.
  HRESULT MapAt(uint32_t mapped, uint32_t size);
  // A reader's way past its data: maps the file again when it has grown to hold end bytes of
  // data; earlier views stay mapped, so no address handed out goes stale. False for a writer.
  bool Reach(uint64_t end) const;
  static void Changed();
  uint32_t Grow(uint32_t length);
  // Called before every change: the first one of a writer sets the header's reserved word to
  // kWritingMark, so that an archive left by a writer that never released it is known as such.
  void MarkWriting();
  // Makes the mapping hold at least needed bytes, growing the file by a step where it can.
  bool Extend(uint64_t needed);
  // A free block record that lies inside the archive and describes an area behind the header.
  bool IsSoundFreeBlock(uint32_t block) const;
  // The free block after block, or 0 at the end or where the list would close a loop.
  uint32_t NextFreeBlock(uint32_t block, LoopCheck& loop) const;
  // The free list in memory, built from the archive on first use; null when the list in the
  // archive is damaged (a block outside the data, a loop, records and areas that overlap), where
  // the walks alone decide.
  FreeListIndex* Index();
  // Cuts the logical end back to start, where free bytes begin that reach it; record, when not 0,
  // is the free block that describes them, which becomes empty. False, with nothing changed, when
  // a list walked without its index has a record in those bytes.
  bool CutFreeEnd(uint32_t record, uint32_t start, FreeListIndex* index);
  // Writes a word of the free list, keeping the index as it is (the caller updates it).
  void Put32(uint32_t offset, uint32_t value);

  std::unique_ptr<PlatformFile> file_;
  uint64_t viewOffset_;
  bool write_;
  // The view; a reader moves it on as it reaches further (see Reach).
  mutable uint8_t* data_ = nullptr;
  mutable uint32_t size_ = 0;
  mutable uint32_t mapped_ = 0;
  uint64_t refusals_ = 0;
  uint64_t limitRefusals_ = 0;
  bool marked_ = false;  // this writer has set the reserved word
  std::unique_ptr<FreeListIndex> index_;
  bool indexAllowed_ = true;
};

}  // namespace cairn
