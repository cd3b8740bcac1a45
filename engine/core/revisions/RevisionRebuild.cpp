#include <algorithm>
#include <atomic>
#include <memory>
#include <cstring>
#include <exception>
#include <new>
#include <unordered_set>
#include <vector>

#include "ArchiveWalk.h"
#include "Compression.h"
#include "Profile.h"
#include "Revisions.h"

namespace cairn {
namespace {

// A data record of a level as the rebuild applies it.
struct Piece {
  uint32_t record = 0;
  uint8_t kind = 0;
  uint32_t position = 0;
  uint32_t length = 0;               // of the record: stored bytes, or bytes a Deletion removes
  const uint8_t* stored = nullptr;   // its data block
  bool unpacked = false;             // decompression was tried
  bool clean = false;                // one complete stream within the bound: its output is the bytes
  uint32_t produced = 0;             // bytes the stream gave
  bool kept = false;                 // and they are in bytes
  std::vector<uint8_t> bytes;

  // How many bytes the record puts into the content.
  uint32_t Count() const { return clean ? produced : length; }
};

// Decompresses pieces on the worker pool, several at a time, two batches under way: while the
// owning thread writes one, the workers decompress the next. The archive does not change during a
// rebuild, so the workers read the data blocks in place; they allocate nothing (their output room
// is made by the owning thread), since the process's heap is one lock they would all wait on. All
// streams of a level share one budget, its size: the records' bytes are parts of that content, so
// together they never exceed it, and counting the output of failed streams too bounds a level's
// work by it.
class Unpacker {
 public:
  Unpacker(WorkerPool* pool, uint32_t flags, uint32_t bound)
      : flags_(flags), bound_(bound), even_(pool), odd_(pool) {}

  void Reset() { budget_ = bound_; }
  // False once the level's streams gave more than its size.
  bool WithinBudget() const { return budget_.load() >= 0; }

  // Starts decompressing the pieces as batch number batch, keeping each one's output up to keep
  // bytes (past that it is only counted, and decompressed again when written).
  void Start(size_t batch, const std::vector<Piece*>& pieces, uint32_t keep) {
    const size_t per = std::max<size_t>(1, (pieces.size() + kTasks - 1) / kTasks);
    for (size_t at = 0; at < pieces.size(); at += per) {
      std::vector<Piece*> jobs(pieces.begin() + at, pieces.begin() + std::min(pieces.size(), at + per));
      for (Piece* piece : jobs) {
        piece->unpacked = true;
        // Room for what the piece most likely gives; a larger output grows it.
        piece->bytes.reserve(std::min<size_t>(keep, std::max<size_t>(8192, 4 * static_cast<size_t>(piece->length) + 4096)));
      }
      Group(batch).Post([this, jobs, keep](compression::Workspace& workspace) {
        for (Piece* piece : jobs) One(piece, keep, workspace);
      });
    }
  }
  // Waits until batch number batch is decompressed.
  void Finish(size_t batch) {
    profile::Scope scope(profile::kWait);
    Group(batch).Wait();
  }

  // Waits, when it goes, for every batch still under way: they write into pieces the owner is
  // about to free. Declared after the pieces, so that it goes first.
  class Drain {
   public:
    explicit Drain(Unpacker& unpacker) : unpacker_(unpacker) {}
    ~Drain() {
      unpacker_.even_.Wait();
      unpacker_.odd_.Wait();
    }
    Drain(const Drain&) = delete;
    Drain& operator=(const Drain&) = delete;

   private:
    Unpacker& unpacker_;
  };

 private:
  static constexpr size_t kTasks = 8;

  TaskGroup& Group(size_t batch) { return batch % 2 == 0 ? even_ : odd_; }

  void One(Piece* piece, uint32_t keep, compression::Workspace& workspace) {
    std::vector<uint8_t>& out = piece->bytes;
    uint32_t produced = 0;
    // Straight into the room made for it; only a larger output is taken piece by piece.
    out.resize(out.capacity());
    compression::Inflated result = compression::DecompressInto(flags_, piece->stored, piece->length, bound_, out.data(),
                                                               static_cast<uint32_t>(out.size()), &produced, &workspace);
    bool keeping = true;
    if (result == compression::Inflated::kStopped) {
      out.clear();
      result = compression::Decompress(
          flags_, piece->stored, piece->length, bound_,
          [&](const uint8_t* bytes, uint32_t count) {
            keeping = keeping && produced <= keep;
            if (keeping) {
              try {
                out.insert(out.end(), bytes, bytes + count);
              } catch (const std::bad_alloc&) {
                keeping = false;
              }
            }
            return budget_.load() - static_cast<int64_t>(produced) >= 0;
          },
          &produced, &workspace);
    }
    budget_ -= produced;
    if (result == compression::Inflated::kComplete && keeping) out.resize(produced);
    piece->produced = produced;
    piece->clean = result == compression::Inflated::kComplete;
    piece->kept = keeping && piece->clean;
  }

  const uint32_t flags_;
  const uint32_t bound_;
  std::atomic<int64_t> budget_{0};
  TaskGroup even_, odd_;
};

// Rebuilds a content level by level in one ContentStore.
//
// A level's records are applied as one sweep: the list (in increasing positions) is read first,
// each record checked, and turned into the spans of the older content that survive with where
// they go; the spans are then moved (those going down from the front, those going up from the
// back, so that no span overwrites one not yet moved) and the records' bytes written. This is
// the same as applying record after record in place, at the cost of one pass over the content.
//
// A Change leaves the older content where it is, so the spans are found without knowing how many
// bytes each Change holds: a span simply runs on under it, and the Change overwrites that part
// afterwards. Changes (most of an older level's bytes) are therefore decompressed once, in
// batches on the worker pool, when they are written; every record is still checked exactly as
// applying them in turn would check it before anything of the level counts as rebuilt.
class Rebuilder {
 public:
  Rebuilder(ArchiveHeap& heap, ContentStore& out, InternalErrors& errors, const char* module, WorkerPool* pool)
      : heap_(heap), out_(out), errors_(errors), module_(module), pool_(pool) {}

  // Why the last level failed, and the record at fault (0 when none is).
  RebuildFault Fault() const { return fault_; }
  uint32_t FaultRecord() const { return faultRecord_; }
  // The compressed records of the last level that did not decompress cleanly to their end.
  const std::vector<uint32_t>& Unclean() const { return unclean_; }

  HRESULT ApplyLevel(const RevisionRecord& revision) {
    flags_ = revision.Flags();
    unclean_.clear();
    const uint64_t stated = revision.Size();
    bound_ = static_cast<uint32_t>(stated);  // decompression is bounded by its low 32 bits
    unpacker_.reset(new (std::nothrow) Unpacker(WorkerPool::For(pool_, stated), flags_, bound_));
    if (unpacker_ == nullptr) return StoreFailed(E_OUTOFMEMORY, __LINE__);
    unpacker_->Reset();
    const uint32_t oldSize = out_.Size();
    // The content never grows past what this level can hold: its older self plus its own size.
    const uint64_t limit = std::min<uint64_t>(UINT32_MAX, oldSize + std::min<uint64_t>(stated, UINT32_MAX));
    if (oldSize == 0) {
      const HRESULT appended = AppendLevel(revision, limit);
      if (appended != S_FALSE) return appended;
      unpacker_->Reset();
    }
    std::vector<Piece> pieces;
    Unpacker::Drain drain(*unpacker_);
    HRESULT hr = Collect(revision, &pieces);
    if (FAILED(hr)) return hr;

    // Insertions move what follows them: their sizes are needed before anything moves.
    std::vector<Piece*> insertions;
    for (Piece& piece : pieces)
      if (piece.kind == difference_kind::kInsertion && compression::IsCompressed(flags_)) insertions.push_back(&piece);
    for (size_t at = 0, kept = 0, batch = 0; at < insertions.size(); at += kBatch, ++batch) {
      std::vector<Piece*> pieces(insertions.begin() + at, insertions.begin() + std::min(insertions.size(), at + kBatch));
      unpacker_->Start(batch, pieces, kept < kMostKept ? kMostPiece : 0);
      unpacker_->Finish(batch);
      if (!unpacker_->WithinBudget()) return Bad(__LINE__, RebuildFault::kTooLarge);
      for (Piece* piece : pieces) {
        if (!piece->kept) std::vector<uint8_t>().swap(piece->bytes);
        kept += piece->bytes.size();
      }
    }

    // The spans, with each record checked as far as it can be without the Changes' sizes.
    std::vector<Span> spans;
    uint64_t size = oldSize;  // as if the records so far had been applied in place
    uint64_t target = 0;      // the target content is settled up to here
    uint64_t source = 0;      // and its older bytes are taken from here on
    auto keep = [&](uint64_t upTo) {
      const uint64_t n = upTo - target;
      if (n != 0 && source != target)
        spans.push_back(Span{static_cast<uint32_t>(source), static_cast<uint32_t>(target), static_cast<uint32_t>(n)});
      source += n;
      target = upTo;
    };
    for (const Piece& piece : pieces) {
      const uint64_t p = piece.position, n = piece.Count();
      if (p < target) return Bad(__LINE__, RebuildFault::kOrder, piece.record);  // positions must increase
      if (piece.kind == difference_kind::kDeletion) {
        if (p + n > size) return Bad(__LINE__, RebuildFault::kOutside, piece.record);
        keep(p);
        source += n;
        size -= n;
      } else if (piece.kind == difference_kind::kInsertion) {
        if (p > size) return Bad(__LINE__, RebuildFault::kOutside, piece.record);
        if (size + n > limit) return Bad(__LINE__, RebuildFault::kTooLarge, piece.record);
        keep(p);
        target += n;
        size += n;
      } else if (p > size) {
        return Bad(__LINE__, RebuildFault::kOutside, piece.record);
      }
    }
    keep(size);  // the rest of the older content follows the last record

    const uint32_t newSize = static_cast<uint32_t>(size);
    if (newSize > oldSize && FAILED(hr = out_.Resize(newSize))) return StoreFailed(hr, __LINE__);
    for (const Span& span : spans)
      if (span.to < span.from && FAILED(hr = out_.Move(span.to, span.from, span.count))) return StoreFailed(hr, __LINE__);
    for (auto span = spans.rbegin(); span != spans.rend(); ++span)
      if (span->to > span->from && FAILED(hr = out_.Move(span->to, span->from, span->count)))
        return StoreFailed(hr, __LINE__);

    // The records' bytes, every record now checked as applying them in turn checks it.
    size = oldSize;
    target = 0;
    auto startChanges = [&](size_t batch) {
      std::vector<Piece*> changes;
      for (size_t i = batch * kBatch; i < std::min(pieces.size(), (batch + 1) * kBatch); ++i)
        if (pieces[i].kind == difference_kind::kChange && compression::IsCompressed(flags_)) changes.push_back(&pieces[i]);
      unpacker_->Start(batch, changes, kMostPiece);
    };
    const size_t batches = (pieces.size() + kBatch - 1) / kBatch;
    if (batches != 0) startChanges(0);
    for (size_t batch = 0; batch < batches; ++batch) {
      if (batch + 1 < batches) startChanges(batch + 1);
      unpacker_->Finish(batch);
      if (!unpacker_->WithinBudget()) return Bad(__LINE__, RebuildFault::kTooLarge);
      const size_t at = batch * kBatch, end = std::min(pieces.size(), at + kBatch);
      for (size_t i = at; i < end; ++i) {
        Piece& piece = pieces[i];
        const uint64_t p = piece.position, n = piece.Count();
        if (p < target) return Bad(__LINE__, RebuildFault::kOrder, piece.record);
        if (piece.kind == difference_kind::kDeletion) {
          if (p + n > size) return Bad(__LINE__, RebuildFault::kOutside, piece.record);
          target = p;
          size -= n;
          continue;
        }
        if (piece.kind == difference_kind::kInsertion) {
          if (p > size) return Bad(__LINE__, RebuildFault::kOutside, piece.record);
          if (size + n > limit) return Bad(__LINE__, RebuildFault::kTooLarge, piece.record);
          size += n;
        } else if (p + n > size) {
          return Bad(__LINE__, RebuildFault::kOutside, piece.record);
        }
        target = p + n;
        if (FAILED(hr = Write(piece))) return hr;
        std::vector<uint8_t>().swap(piece.bytes);
      }
    }
    if (newSize < oldSize && FAILED(hr = out_.Resize(newSize))) return StoreFailed(hr, __LINE__);
    return S_OK;
  }

 private:
  struct Span {
    uint32_t from, to, count;
  };

  // Pieces decompressed together, and how much output each keeps (and all Insertions of a
  // level together, measured before anything moves) rather than decompressing it again.
  static constexpr size_t kBatch = 256;
  static constexpr uint32_t kMostPiece = 1u << 20;
  static constexpr size_t kMostKept = 32u << 20;

  // Reads the level's list: each record met once over all levels, of a known kind, with its data
  // block inside the archive.
  HRESULT Collect(const RevisionRecord& revision, std::vector<Piece>* pieces) {
    HRESULT hr = ForEach<DifferenceRecord>(heap_, revision.Differences(), [&](DifferenceRecord& d) -> HRESULT {
      if (!seen_.insert(d.Offset()).second) return Bad(__LINE__, RebuildFault::kList, d.Offset());  // a loop, or a record of two lists
      const uint8_t kind = d.Kind();
      if (kind != difference_kind::kInsertion && kind != difference_kind::kChange &&
          kind != difference_kind::kDeletion) {
        return Bad(__LINE__, RebuildFault::kKind, d.Offset());  // a kind this version does not know
      }
      if (!d.HasSoundData()) return Bad(__LINE__, RebuildFault::kData, d.Offset());
      Piece piece;
      piece.record = d.Offset();
      piece.kind = kind;
      piece.position = d.Position();
      piece.length = d.Length();
      if (kind != difference_kind::kDeletion) {
        piece.stored = heap_.Resolve(d.Data(), d.Length());
        if (piece.stored == nullptr && d.Length() != 0) return Bad(__LINE__, RebuildFault::kData, d.Offset());
      }
      try {
        pieces->push_back(std::move(piece));
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      }
      return S_OK;
    });
    if (hr == E_OUTOFMEMORY) return StoreFailed(hr, __LINE__);
    return FAILED(hr) ? (reported_ ? hr : Bad(__LINE__, RebuildFault::kList)) : S_OK;
  }

  // A level applied to an empty content whose records each insert at its end, as the newest
  // revision holds every whole content: each record's bytes go straight to the end, decompressed
  // once (a batch at a time on the pool). The checks and the outcome are those of the sweep.
  // S_FALSE, with the content emptied again, at the first record that does not append, for the
  // sweep to do.
  HRESULT AppendLevel(const RevisionRecord& revision, uint64_t limit) {
    std::vector<Piece> pieces;
    Unpacker::Drain drain(*unpacker_);
    bool appends = true;  // every record is an Insertion (so far as positions are not yet known)
    HRESULT hr = ForEach<DifferenceRecord>(heap_, revision.Differences(), [&](DifferenceRecord& d) -> HRESULT {
      if (d.Kind() != difference_kind::kInsertion) {
        appends = false;
        return S_FALSE;
      }
      if (!seen_.insert(d.Offset()).second) return Bad(__LINE__, RebuildFault::kList, d.Offset());
      Piece piece;
      piece.record = d.Offset();
      piece.kind = difference_kind::kInsertion;
      piece.position = d.Position();
      piece.length = d.Length();
      if (!d.HasSoundData() || (piece.stored = heap_.Resolve(d.Data(), d.Length())) == nullptr) return Bad(__LINE__, RebuildFault::kData, d.Offset());
      try {
        pieces.push_back(std::move(piece));
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      }
      return S_OK;
    });
    if (hr == E_OUTOFMEMORY) return StoreFailed(hr, __LINE__);
    if (FAILED(hr)) return reported_ ? hr : Bad(__LINE__, RebuildFault::kList);
    out_.Reserve(static_cast<uint32_t>(std::min<uint64_t>(revision.Size(), limit)));
    uint64_t size = 0;
    auto start = [&](size_t batch) {
      std::vector<Piece*> work;
      for (size_t i = batch * kBatch; i < std::min(pieces.size(), (batch + 1) * kBatch); ++i)
        if (compression::IsCompressed(flags_)) work.push_back(&pieces[i]);
      unpacker_->Start(batch, work, kMostPiece);
    };
    const size_t batches = (pieces.size() + kBatch - 1) / kBatch;
    if (batches != 0) start(0);
    for (size_t batch = 0; batch < batches && hr == S_OK; ++batch) {
      if (batch + 1 < batches) start(batch + 1);
      unpacker_->Finish(batch);
      if (!unpacker_->WithinBudget()) return Bad(__LINE__, RebuildFault::kTooLarge);
      for (size_t i = batch * kBatch; i < std::min(pieces.size(), (batch + 1) * kBatch); ++i) {
        Piece& piece = pieces[i];
        if (piece.position != size) {
          hr = S_FALSE;
          break;
        }
        const uint64_t n = piece.Count();
        if (size + n > limit) return Bad(__LINE__, RebuildFault::kTooLarge, piece.record);
        HRESULT written = out_.Resize(static_cast<uint32_t>(size + n));
        if (SUCCEEDED(written)) written = Write(piece);
        if (written == kCorruptArchive) return written;
        if (FAILED(written)) return StoreFailed(written, __LINE__);
        std::vector<uint8_t>().swap(piece.bytes);
        size += n;
      }
    }
    if (hr == S_FALSE || !appends) {
      for (const Piece& piece : pieces) seen_.erase(piece.record);
      unclean_.clear();
      hr = out_.Resize(0);
      return FAILED(hr) ? StoreFailed(hr, __LINE__) : S_FALSE;
    }
    if (out_.Size() != size && FAILED(hr = out_.Resize(static_cast<uint32_t>(size)))) return StoreFailed(hr, __LINE__);
    return S_OK;
  }

  HRESULT Bad(int line, RebuildFault fault, uint32_t record = 0) {
    errors_.Report(module_, line);
    reported_ = true;
    fault_ = fault;
    faultRecord_ = record;
    return kCorruptArchive;
  }

  HRESULT StoreFailed(HRESULT hr, int line) {
    errors_.Report(module_, line);
    fault_ = RebuildFault::kStore;
    faultRecord_ = 0;
    return hr;
  }

  // Writes the piece's bytes at its position: kept from decompressing, stored as they are (also
  // data that did not decompress cleanly), or decompressed again.
  HRESULT Write(const Piece& piece) {
    const uint32_t count = piece.Count();
    HRESULT hr = S_OK;
    if (piece.kept) {
      hr = out_.Write(piece.position, piece.bytes.data(), count);
    } else if (!piece.clean) {
      if (compression::IsCompressed(flags_)) unclean_.push_back(piece.record);
      if (count != 0) hr = out_.Write(piece.position, piece.stored, count);
    } else {
      uint32_t produced = 0;
      const compression::Inflated result = compression::Decompress(
          flags_, piece.stored, piece.length, bound_,
          [&](const uint8_t* bytes, uint32_t n) {
            if (produced > count) return false;  // never more than measured
            hr = out_.Write(piece.position + (produced - n), bytes, n);
            return SUCCEEDED(hr);
          },
          &produced, &workspace_);
      if (SUCCEEDED(hr) && (result != compression::Inflated::kComplete || produced != count)) return Bad(__LINE__, RebuildFault::kData, piece.record);
    }
    return FAILED(hr) ? StoreFailed(hr, __LINE__) : S_OK;
  }

  ArchiveHeap& heap_;
  ContentStore& out_;
  InternalErrors& errors_;
  const char* module_;
  WorkerPool* pool_;
  std::unordered_set<uint32_t> seen_;  // difference records met so far, over all levels
  std::unique_ptr<Unpacker> unpacker_;
  compression::Workspace workspace_;
  uint32_t flags_ = 0;
  uint32_t bound_ = 0;
  bool reported_ = false;
  RebuildFault fault_ = RebuildFault::kStore;
  uint32_t faultRecord_ = 0;
  std::vector<uint32_t> unclean_;  // the level's compressed records applied as stored
};

}  // namespace

HRESULT RebuildEveryLevel(ArchiveHeap& heap, const std::vector<uint32_t>& newestFirst, ContentStore& out,
                          LevelObserver& observer, InternalErrors& errors, const char* module, WorkerPool* pool) {
  profile::Scope scope(profile::kRebuild);
  if (!heap.IsOpen()) return kArchiveClosed;
  HRESULT hr = out.Size() == 0 ? S_OK : out.Resize(0);
  if (FAILED(hr)) return hr;
  Rebuilder rebuilder(heap, out, errors, module, pool);
  for (uint32_t level : newestFirst) {
    hr = rebuilder.ApplyLevel(RevisionRecord(heap, level));
    for (uint32_t record : rebuilder.Unclean()) observer.Unclean(level, record);
    if (FAILED(hr)) {
      observer.Failed(level, rebuilder.Fault(), rebuilder.FaultRecord());
      return hr;
    }
    if (!observer.Rebuilt(level, out)) return S_FALSE;
  }
  return S_OK;
}

HRESULT RebuildContent(ArchiveHeap& heap, uint32_t revision, ContentStore& out, InternalErrors& errors,
                       const char* module, WorkerPool* pool) {
  profile::Scope scope(profile::kRebuild);
  if (!heap.IsOpen()) return kArchiveClosed;
  HRESULT hr = out.Size() == 0 ? S_OK : out.Resize(0);
  if (FAILED(hr)) return hr;

  // The chain from this revision to the newest; its records apply from the newest back.
  std::vector<uint32_t> chain;
  std::unordered_set<uint32_t> seen;
  hr = ForEach<RevisionRecord>(heap, revision, [&](RevisionRecord& r) -> HRESULT {
    if (!seen.insert(r.Offset()).second) return kCorruptArchive;
    chain.push_back(r.Offset());
    return S_OK;
  });
  if (FAILED(hr)) {
    errors.Report(module, __LINE__);
    return kCorruptArchive;
  }
  Rebuilder rebuilder(heap, out, errors, module, pool);
  for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
    hr = rebuilder.ApplyLevel(RevisionRecord(heap, *level));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace cairn
