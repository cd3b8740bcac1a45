// The content of a revision that holds it whole, as the newest revision of every object does:
// Insertion records at positions 0, 8192, 16384, ..., each of 8192 bytes but the last. It is read
// a piece at a time, never as a whole copy: pieces stored as they are are read in place in the
// archive; compressed ones are decompressed into a few buffers as they are asked for, and the
// next ones ahead of that on the worker pool. A list of any other shape is not read this way:
// the caller rebuilds such a content as it rebuilds any revision.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ArchiveRecords.h"
#include "ContentView.h"
#include "WorkerPool.h"

namespace cairn {

class WholeContent final : public ContentView {
 public:
  static constexpr uint32_t kPiece = 8192;

  // A reader of revision's content; S_FALSE and none when the list has another shape (or the
  // last piece does not decompress cleanly), E_OUTOFMEMORY when there is no memory for it.
  static HRESULT Open(ArchiveHeap& heap, uint32_t revision, WorkerPool* pool, std::unique_ptr<WholeContent>* out);
  // Waits for pieces still being decompressed ahead.
  ~WholeContent() override;
  WholeContent(const WholeContent&) = delete;
  WholeContent& operator=(const WholeContent&) = delete;

  uint32_t Size() const override { return size_; }
  // Null when the piece cannot be read: it lies outside the archive, or it does not decompress
  // to exactly its size, where a rebuild would apply its stored bytes (Damaged then tells).
  const uint8_t* Run(uint32_t position, uint32_t most, uint32_t* got) override;
  bool Damaged() const { return damaged_; }

  // What a new whole content needs to take the stored bytes of piece k instead of compressing
  // its own: the piece's data block, and, once the piece has been read, whether it decompressed
  // to exactly its size and a fingerprint of its bytes (which two equal pieces share).
  uint32_t Pieces() const { return static_cast<uint32_t>(pieces_.size()); }
  uint32_t PieceRecord(uint32_t k) const { return pieces_[k].record; }
  uint32_t PieceSize(uint32_t k) const { return k + 1 < Pieces() ? kPiece : size_ - k * kPiece; }
  bool PieceKnown(uint32_t k, uint64_t* fingerprint);
  static uint64_t Fingerprint(const uint8_t* bytes, uint32_t count);

 private:
  struct Piece {
    uint32_t record;
    uint32_t data;
    uint32_t length;
  };
  enum class State : uint8_t { kFree, kBusy, kReady, kBad };
  struct Slot {
    uint32_t piece = UINT32_MAX;
    State state = State::kFree;
    uint64_t used = 0;
    std::vector<uint8_t> bytes;  // the decompressed piece
    std::vector<uint8_t> input;  // a copy of its stored bytes, for a worker
  };
  static constexpr uint32_t kSlots = 64;
  static constexpr uint32_t kAhead = 16;

  WholeContent(ArchiveHeap& heap, uint32_t flags, WorkerPool* pool, SpareRoom* spare)
      : heap_(heap), flags_(flags), spare_(spare), group_(pool) {}
  // The slot holding piece k decompressed, reading it here if nobody has yet; null when it is bad.
  Slot* Ready(uint32_t k);
  // A slot to reuse, the least recently used one that no worker holds and that does not hold
  // a piece from keepFrom on; null when all are taken.
  Slot* Vacant(uint32_t keepFrom);
  // Makes slot's room a whole piece; false when there is no memory for it.
  bool Sized(Slot* slot);
  void Assign(Slot* slot, uint32_t k);
  // Decompresses stored into slot (any thread); records what the piece turned out to be.
  void Inflate(Slot* slot, uint32_t k, const uint8_t* stored, uint32_t length, compression::Workspace& workspace);
  void ReadAhead(uint32_t k);

  ArchiveHeap& heap_;
  const uint32_t flags_;
  uint32_t size_ = 0;
  std::vector<Piece> pieces_;
  std::vector<int32_t> slotOf_;         // per piece, its slot or -1
  std::vector<uint64_t> fingerprints_;  // per piece, once read
  std::vector<uint8_t> known_;          // per piece: 0 unknown, 1 clean, 2 not clean
  Slot slots_[kSlots];
  uint64_t clock_ = 0;
  uint32_t aheadOf_ = UINT32_MAX;  // the piece read ahead of last
  Slot* last_ = nullptr;           // the slot Ready gave last, ready and in place
  bool damaged_ = false;
  SpareRoom* spare_;  // where the slots' room and the workspace come from and go back to, if anywhere
  std::unique_ptr<compression::Workspace> workspace_;  // for pieces read on the caller's thread
  TaskGroup group_;
};

}  // namespace cairn
