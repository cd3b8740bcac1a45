#include "WholeContent.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <utility>

#include "ArchiveWalk.h"
#include "Compression.h"
#include "Profile.h"

namespace cairn {

HRESULT WholeContent::Open(ArchiveHeap& heap, uint32_t revision, WorkerPool* pool,
                           std::unique_ptr<WholeContent>* out) {
  out->reset();
  RevisionRecord owner(heap, revision);
  if (!owner.IsValid()) return S_FALSE;
  std::unique_ptr<WholeContent> content(
      new (std::nothrow) WholeContent(heap, owner.Flags(), WorkerPool::For(pool, owner.Size()),
                                      pool != nullptr ? &pool->Spare() : nullptr));
  if (content == nullptr) return E_OUTOFMEMORY;
  content->workspace_ = pool != nullptr ? pool->Spare().TakeWorkspace()
                                        : std::unique_ptr<compression::Workspace>(new (std::nothrow) compression::Workspace());
  if (content->workspace_ == nullptr) return E_OUTOFMEMORY;
  std::vector<Piece>& pieces = content->pieces_;
  const bool compressed = compression::IsCompressed(owner.Flags());
  try {
    HRESULT hr = ForEach<DifferenceRecord>(heap, owner.Differences(), [&](DifferenceRecord& d) -> HRESULT {
      const uint64_t at = static_cast<uint64_t>(pieces.size()) * kPiece;
      // Only the last piece may be short: one that follows a short piece is another shape.
      if (d.Kind() != difference_kind::kInsertion || d.Position() != at || !d.HasSoundData() || d.Length() == 0 ||
          (!compressed && !pieces.empty() && pieces.back().length != kPiece) || at + kPiece > UINT32_MAX + 1ull)
        return S_FALSE;
      pieces.push_back(Piece{d.Offset(), d.Data(), d.Length()});
      return S_OK;
    });
    if (hr != S_OK) return FAILED(hr) && hr != kCorruptArchive ? hr : S_FALSE;
    if (!compressed && !pieces.empty() && pieces.back().length > kPiece) return S_FALSE;
    content->slotOf_.assign(pieces.size(), -1);
    content->fingerprints_.assign(compressed ? pieces.size() : 0, 0);
    content->known_.assign(compressed ? pieces.size() : 0, 0);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const uint64_t whole = static_cast<uint64_t>(pieces.size()) * kPiece;
  if (pieces.empty()) {
    content->size_ = 0;
  } else if (!compressed) {
    content->size_ = static_cast<uint32_t>(whole - kPiece + pieces.back().length);
  } else {
    // The last piece's size gives the content's: read it now.
    const uint32_t last = static_cast<uint32_t>(pieces.size() - 1);
    content->size_ = static_cast<uint32_t>(std::min<uint64_t>(whole, UINT32_MAX));
    if (content->Ready(last) == nullptr) return S_FALSE;
    content->size_ = static_cast<uint32_t>(whole - kPiece + content->slots_[content->slotOf_[last]].bytes.size());
  }
  *out = std::move(content);
  return S_OK;
}

WholeContent::~WholeContent() {
  group_.Wait();
  if (spare_ == nullptr) return;
  for (Slot& slot : slots_) spare_->GivePiece(std::move(slot.bytes));
  spare_->GiveWorkspace(std::move(workspace_));
}

uint64_t WholeContent::Fingerprint(const uint8_t* bytes, uint32_t count) {
  // Four independent lanes, so that every piece read (the whole newest content of each file a
  // snapshot compares) is not held to one multiplication's latency per word.
  uint64_t lane[4] = {0x9E3779B97F4A7C15ull ^ count, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
                      0x27D4EB2F165667C5ull};
  uint32_t i = 0;
  for (; i + 32 <= count; i += 32) {
    for (int k = 0; k < 4; ++k) {
      uint64_t w;
      std::memcpy(&w, bytes + i + 8 * k, 8);
      lane[k] = (lane[k] ^ w) * 0xFF51AFD7ED558CCDull;
      lane[k] ^= lane[k] >> 32;
    }
  }
  uint64_t h = lane[0];
  for (int k = 1; k < 4; ++k) {
    h = (h ^ lane[k]) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  for (; i < count; ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
  return h;
}

bool WholeContent::PieceKnown(uint32_t k, uint64_t* fingerprint) {
  return group_.Locked([&] {
    if (k >= known_.size() || known_[k] != 1) return false;
    *fingerprint = fingerprints_[k];
    return true;
  });
}

void WholeContent::Inflate(Slot* slot, uint32_t k, const uint8_t* stored, uint32_t length,
                           compression::Workspace& workspace) {
  profile::Scope scope(profile::kDecompress);
  // Every piece but the last holds exactly 8192 bytes; the last one at most that.
  const uint32_t expected = k + 1 < pieces_.size() ? kPiece : 0;
  uint32_t produced = 0;
  uint8_t* into = slot->bytes.data();
  const compression::Inflated result =
      compression::DecompressInto(flags_, stored, length, kPiece, into, kPiece, &produced, &workspace);
  const bool clean = result == compression::Inflated::kComplete && produced != 0 && (expected == 0 || produced == expected);
  const uint64_t fingerprint = clean ? Fingerprint(into, produced) : 0;
  group_.Locked([&] {
    if (clean && expected == 0) slot->bytes.resize(produced);  // the last piece keeps its size
    slot->state = clean ? State::kReady : State::kBad;
    fingerprints_[k] = fingerprint;
    known_[k] = clean ? 1 : 2;
    return 0;
  });
}

WholeContent::Slot* WholeContent::Vacant(uint32_t keepFrom) {
  return group_.Locked([&]() -> Slot* {
    Slot* best = nullptr;
    for (Slot& slot : slots_) {
      if (slot.state == State::kBusy) continue;
      if (slot.state == State::kFree) return &slot;
      if (slot.piece >= keepFrom && slot.piece <= keepFrom + kAhead) continue;
      if (best == nullptr || slot.used < best->used) best = &slot;
    }
    return best;
  });
}

bool WholeContent::Sized(Slot* slot) {
  if (slot->bytes.capacity() < kPiece && spare_ != nullptr) slot->bytes = spare_->TakePiece();
  try {
    if (slot->bytes.size() != kPiece) slot->bytes.resize(kPiece);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void WholeContent::Assign(Slot* slot, uint32_t k) {
  if (slot == last_) last_ = nullptr;
  if (slot->piece != UINT32_MAX) slotOf_[slot->piece] = -1;
  slot->piece = k;
  slot->used = ++clock_;
  slotOf_[k] = static_cast<int32_t>(slot - slots_);
}

WholeContent::Slot* WholeContent::Ready(uint32_t k) {
  if (slotOf_[k] >= 0) {
    Slot* slot = &slots_[slotOf_[k]];
    if (slot == last_) return slot;  // asked again for the piece it gave last
    bool ready = false;
    if (group_.Locked([&] { return slot->state == State::kBusy; })) {
      profile::Scope scope(profile::kWait);
      group_.WaitUntil([&] { return slot->state != State::kBusy; });
    }
    ready = group_.Locked([&] { return slot->state == State::kReady; });
    slot->used = ++clock_;
    if (!ready) damaged_ = true;
    last_ = ready ? slot : nullptr;
    return last_;
  }
  Slot* slot = Vacant(k);
  while (slot == nullptr) {  // every slot is being filled ahead: wait for one
    group_.WaitUntil([&] {
      for (const Slot& other : slots_)
        if (other.state != State::kBusy) return true;
      return false;
    });
    slot = Vacant(k);
  }
  // Room for a piece, made on first use (a small content needs few) or after a last piece.
  if (!Sized(slot)) return nullptr;
  const Piece& piece = pieces_[k];
  const uint8_t* stored = heap_.Resolve(piece.data, piece.length);
  if (stored == nullptr) return nullptr;
  Assign(slot, k);
  Inflate(slot, k, stored, piece.length, *workspace_);
  if (group_.Locked([&] { return slot->state; }) != State::kReady) {
    damaged_ = true;
    return nullptr;
  }
  last_ = slot;
  return slot;
}

void WholeContent::ReadAhead(uint32_t k) {
  if (k == aheadOf_) return;  // asked for the same piece again: nothing new to start
  aheadOf_ = k;
  // Started a few at a time, once half of what lies ahead is under way: waking a worker costs
  // more than decompressing one piece.
  const uint32_t half = k + kAhead / 2;
  if (half < pieces_.size() && slotOf_[half] >= 0) return;
  std::vector<std::pair<Slot*, uint32_t>> started;
  for (uint32_t j = k + 1; j <= k + kAhead && j < pieces_.size(); ++j) {
    if (slotOf_[j] >= 0) continue;
    Slot* slot = Vacant(k);
    if (slot == nullptr) break;
    const Piece& piece = pieces_[j];
    const uint8_t* stored = heap_.Resolve(piece.data, piece.length);
    if (stored == nullptr) break;
    if (!Sized(slot)) break;
    // The worker gets a copy: the archive's mapping moves when records are added meanwhile.
    try {
      slot->input.assign(stored, stored + piece.length);
    } catch (const std::bad_alloc&) {
      break;  // read when asked for instead
    }
    Assign(slot, j);
    group_.Locked([&] { return slot->state = State::kBusy; });
    started.emplace_back(slot, j);
  }
  const size_t per = (started.size() + 1) / 2;
  for (size_t at = 0; at < started.size(); at += per) {
    std::vector<std::pair<Slot*, uint32_t>> jobs(started.begin() + at,
                                                 started.begin() + std::min(started.size(), at + per));
    group_.Post([this, jobs](compression::Workspace& workspace) {
      for (const auto& job : jobs)
        Inflate(job.first, job.second, job.first->input.data(), static_cast<uint32_t>(job.first->input.size()),
                workspace);
    });
  }
}

const uint8_t* WholeContent::Run(uint32_t position, uint32_t most, uint32_t* got) {
  *got = 0;
  if (position >= size_) return nullptr;
  const uint32_t k = position / kPiece, offset = position % kPiece;
  const Piece& piece = pieces_[k];
  if (!compression::IsCompressed(flags_)) {
    const uint8_t* stored = heap_.Resolve(piece.data, piece.length);
    if (stored == nullptr) return nullptr;
    *got = std::min(most, piece.length - offset);
    return stored + offset;
  }
  Slot* slot = Ready(k);
  if (slot == nullptr) return nullptr;
  ReadAhead(k);
  *got = std::min<uint32_t>(most, static_cast<uint32_t>(slot->bytes.size()) - offset);
  return slot->bytes.data() + offset;
}

}  // namespace cairn
