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
#include "Profile.h"

namespace cairn {
namespace {

constexpr uint32_t kDifferencesField = 8;  // of a RevisionRecord
constexpr uint32_t kBlock = 4096;          // contents are compared block by block
constexpr uint32_t kProbe = 64;            // bytes looked for when resolving a difference
constexpr uint32_t kWindow = 8192;         // how far ahead a probe is looked for
constexpr uint32_t kStep = 64;             // a Change grows by this much
constexpr uint32_t kInsertionChunk = 8192; // largest Insertion of a content's tail

// The compression memory of the difference pass running on this thread, which the records it
// appends through DifferenceList reuse; null outside a pass.
thread_local compression::Workspace* passWorkspace = nullptr;

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

// The first index at which x and y differ, or n when they are equal.
uint32_t FirstDifference(const uint8_t* x, const uint8_t* y, uint32_t n) {
  uint32_t i = 0;
  constexpr uint32_t kStride = 256;
  while (i + kStride <= n && std::memcmp(x + i, y + i, kStride) == 0) i += kStride;
  while (i < n && x[i] == y[i]) ++i;
  return i;
}

// The first offset at which probe occurs in text, or -1 (Knuth-Morris-Pratt: linear in both).
int64_t FindFirstSteadily(const uint8_t* text, uint32_t size, const uint8_t* probe, uint32_t n) {
  uint32_t fail[kProbe];
  fail[0] = 0;
  for (uint32_t i = 1, k = 0; i < n; ++i) {
    while (k > 0 && probe[i] != probe[k]) k = fail[k - 1];
    if (probe[i] == probe[k]) ++k;
    fail[i] = k;
  }
  for (uint32_t i = 0, k = 0; i < size; ++i) {
    while (k > 0 && text[i] != probe[k]) k = fail[k - 1];
    if (text[i] == probe[k]) ++k;
    if (k == n) return static_cast<int64_t>(i) + 1 - n;
  }
  return -1;
}

// The same, quicker on most contents (Horspool): each alignment is tested at its last byte and the
// next one chosen by that byte, which skips most of the text; alignments are still tried in
// increasing order, so the first occurrence is found. Contents that keep the skips short (runs of
// one value) go on with the linear search after a while.
int64_t FindFirst(const uint8_t* text, uint32_t size, const uint8_t* probe, uint32_t n) {
  if (n == 0 || n > size) return -1;
  uint32_t shift[256];
  for (uint32_t& s : shift) s = n;
  for (uint32_t i = 0; i + 1 < n; ++i) shift[probe[i]] = n - 1 - i;
  const uint8_t last = probe[n - 1];
  const uint32_t end = size - n;  // the last offset where the probe fits
  uint32_t tries = 0;
  for (uint32_t at = 0; at <= end;) {
    const uint8_t c = text[at + n - 1];
    if (c == last) {
      if (std::memcmp(text + at, probe, n - 1) == 0) return at;
      if (++tries == 64) {
        const int64_t found = FindFirstSteadily(text + at, size - at, probe, n);
        return found < 0 ? -1 : found + at;
      }
    }
    at += shift[c];
  }
  return -1;
}

// One difference pass: the records that turn content b into content a, appended to list.
//
// Runs of differing bytes become one Change that grows 64 bytes at a time. The Change being
// grown is held back (start and length) until something else is appended or the pass ends, and
// only then read and stored: the list is the same as when every step stored the Change and the
// next step removed it again, but a long run costs its length once, not its square.
class Comparison {
 public:
  Comparison(ByteSource& a, ByteSource& b, DifferenceList& list, uint32_t flags, InternalErrors& errors,
             const char* module)
      : a_(a), b_(b), list_(list), flags_(flags), errors_(errors), module_(module) {}

  // S_OK when at least one difference was found, S_FALSE when none.
  HRESULT Run() {
    profile::Scope scope(profile::kCompare);
    compression::Workspace* outer = passWorkspace;
    passWorkspace = &workspace_;
    const HRESULT hr = Compare();
    passWorkspace = outer;
    return hr;
  }

  // A read or a store failed: what the list holds may not turn b into a.
  bool Failed() const { return failed_; }

 private:
  HRESULT Compare() {
    bool found = false;
    if (SeekTo(a_, 0, __LINE__)) {
      uint32_t at = 0;
      while (!stopped_ && FindNext(&at)) {
        found = true;
        if (TryInsertion() || stopped_) continue;
        if (TryDeletion() || stopped_) continue;
        Change();
      }
    }
    Flush();
    return found ? S_OK : S_FALSE;
  }

  void Fail(int line, bool stop) {
    errors_.Report(module_, line);
    failed_ = true;
    if (stop) stopped_ = true;
  }

  // Reads up to count bytes, going on after short reads until the content ends.
  bool Fill(ByteSource& s, uint8_t* buffer, uint32_t count, uint32_t* got, int line) {
    *got = 0;
    while (*got < count) {
      uint32_t n = 0;
      if (FAILED(s.Read(buffer + *got, count - *got, &n))) {
        Fail(line, true);
        return false;
      }
      if (n == 0) break;
      *got += n;
    }
    return true;
  }

  bool SeekTo(ByteSource& s, uint64_t position, int line) {
    if (position > UINT32_MAX || FAILED(s.Seek(static_cast<uint32_t>(position)))) {
      Fail(line, true);
      return false;
    }
    return true;
  }

  // Reads up to count bytes as Fill does, in place where the source allows: *bytes points at them
  // (into buffer otherwise).
  bool Take(ByteSource& s, uint8_t* buffer, uint32_t count, const uint8_t** bytes, uint32_t* got, int line) {
    const uint32_t at = s.Position();
    const uint8_t* view = s.View(count, got);
    if (view != nullptr && (*got == 0 || SUCCEEDED(s.Seek(at + *got)))) {
      *bytes = view;
      return true;
    }
    *bytes = buffer;
    return Fill(s, buffer, count, got, line);
  }

  // Reads up to count bytes into buffer and returns to where it was.
  bool Peek(ByteSource& s, uint8_t* buffer, uint32_t count, uint32_t* got, int line) {
    const uint32_t at = s.Position();
    return Fill(s, buffer, count, got, line) && SeekTo(s, at, line);
  }

  // Finds the next difference, leaving a and b at it. False when there is none (or a read failed).
  bool FindNext(uint32_t* at) {
    const uint64_t start = a_.Position();
    uint64_t compared = 0;
    for (;;) {
      uint32_t na = 0, nb = 0;
      const uint8_t *x = nullptr, *y = nullptr;
      if (!Take(a_, blockA_, kBlock, &x, &na, __LINE__) || !Take(b_, blockB_, kBlock, &y, &nb, __LINE__)) return false;
      if (na == 0 || nb == 0) {
        if (na == 0 && nb == 0) return false;
        // One content ended exactly at a block boundary.
        const uint64_t position = start + compared;
        if (na != 0 ? !SeekTo(a_, position, __LINE__) : !SeekTo(b_, b_.Position() - nb, __LINE__)) return false;
        if (static_cast<int64_t>(position) == guard_) return false;
        guard_ = static_cast<int64_t>(position);
        *at = static_cast<uint32_t>(position);
        return true;
      }
      const uint32_t shorter = std::min(na, nb);
      const uint32_t i = FirstDifference(x, y, shorter);
      if (i < shorter) {
        const uint64_t position = start + compared + i;
        if (!SeekTo(a_, position, __LINE__) || !SeekTo(b_, b_.Position() - (nb - i), __LINE__)) return false;
        *at = static_cast<uint32_t>(position);
        return true;
      }
      if (na == nb) {
        compared += na;
        continue;
      }
      // The shorter content ends inside this block.
      const uint64_t position = start + compared + shorter;
      if (na > nb ? !SeekTo(a_, position, __LINE__) : !SeekTo(b_, b_.Position() - (nb - na), __LINE__)) return false;
      *at = static_cast<uint32_t>(position);
      return true;
    }
  }

  // Looks for the n probe bytes within the next 8192 bytes of x; x does not move.
  bool Search(ByteSource& x, const uint8_t* probe, uint32_t n, bool* found, uint32_t* position) {
    *found = false;
    const uint32_t at = x.Position();
    uint32_t count = 0;
    const uint8_t* window = x.View(kWindow, &count);
    if (window == nullptr) {
      if (!Fill(x, window_, kWindow, &count, __LINE__) || !SeekTo(x, at, __LINE__)) return false;
      window = window_;
    }
    const int64_t i = FindFirst(window, count, probe, n);
    if (i >= 0) {
      *found = true;
      *position = at + static_cast<uint32_t>(i);
    }
    return true;
  }

  // Stores the next count bytes of a as a record of kind at a's position; a moves past them.
  // A record that cannot be stored is reported and ends the pass: a list with a gap is never
  // kept, and going on would repeat the failure, and its report, for every record behind it.
  void StoreData(uint8_t kind, uint32_t count) {
    const uint32_t position = a_.Position();
    if (!ReadBytes(count)) return;
    if (FAILED(list_.AppendData(kind, position, data_.data(), count, flags_))) Fail(__LINE__, true);
  }

  bool ReadBytes(uint32_t count) {
    try {
      if (data_.size() < count) data_.resize(count);
    } catch (const std::exception&) {
      Fail(__LINE__, true);
      return false;
    }
    uint32_t got = 0;
    if (!Fill(a_, data_.data(), count, &got, __LINE__)) return false;
    if (got != count) {
      Fail(__LINE__, true);  // the content is shorter than it was a moment ago
      return false;
    }
    return true;
  }

  void StoreDeletion(uint32_t length) {
    if (FAILED(list_.AppendDeletion(a_.Position(), length))) Fail(__LINE__, true);
  }

  // Insertion: the bytes of a up to where b's next bytes occur in it.
  bool TryInsertion() {
    uint8_t probe[kProbe];
    uint32_t n = 0;
    if (!Peek(b_, probe, kProbe, &n, __LINE__)) return false;
    if (n == 0) {
      // b is exhausted: the rest of a, in records of at most 8192 bytes.
      Flush();
      for (;;) {
        uint32_t count = 0;
        const uint32_t position = a_.Position();
        if (stopped_ || !Fill(a_, window_, kInsertionChunk, &count, __LINE__) || count == 0) break;
        if (FAILED(list_.AppendData(difference_kind::kInsertion, position, window_, count, flags_)))
          Fail(__LINE__, true);
      }
      return true;
    }
    bool found = false;
    uint32_t q = 0;
    if (!Search(a_, probe, n, &found, &q) || !found || q == a_.Position()) return false;
    Flush();
    StoreData(difference_kind::kInsertion, q - a_.Position());
    return true;
  }

  // Deletion: the bytes of b up to where a's next bytes occur in it, or the rest of b.
  bool TryDeletion() {
    uint8_t probe[kProbe];
    uint32_t n = 0;
    if (!Peek(a_, probe, kProbe, &n, __LINE__)) return false;
    uint32_t length = 0;
    if (n == 0) {
      for (uint32_t got = 1; got != 0; length += got)
        if (!Fill(b_, window_, kWindow, &got, __LINE__)) return false;
    } else {
      bool found = false;
      uint32_t r = 0;
      if (!Search(b_, probe, n, &found, &r) || !found) return false;
      length = r - b_.Position();
      if (!SeekTo(b_, r, __LINE__)) return false;
    }
    if (length == 0) return false;
    Flush();
    StoreDeletion(length);
    return true;
  }

  // Change: the next bytes of a over as many of b, merged with the Change just before.
  void Change() {
    const uint32_t position = a_.Position();
    const bool merge = changeLength_ != 0 && position == static_cast<uint64_t>(mergeStart_) + kStep;
    if (!merge) Flush();
    mergeStart_ = position;
    uint32_t leftA = 0, leftB = 0;
    if (!Peek(a_, blockA_, kStep, &leftA, __LINE__) || !Peek(b_, blockB_, kStep, &leftB, __LINE__)) return;
    const uint32_t length = std::min(leftA, leftB);
    if (length == 0) return;
    if (!SeekTo(a_, static_cast<uint64_t>(position) + length, __LINE__) ||
        !SeekTo(b_, static_cast<uint64_t>(b_.Position()) + length, __LINE__))
      return;
    if (!merge) changeStart_ = position;
    changeLength_ += length;
  }

  // Stores the Change being grown, if any; a stays where it is. A stopped pass stores nothing more.
  void Flush() {
    if (changeLength_ == 0 || stopped_) return;
    const uint32_t start = changeStart_, length = changeLength_;
    changeLength_ = 0;
    const uint32_t back = a_.Position();
    if (SeekTo(a_, start, __LINE__)) {
      StoreData(difference_kind::kChange, length);
      SeekTo(a_, back, __LINE__);
    }
  }

  ByteSource& a_;
  ByteSource& b_;
  DifferenceList& list_;
  const uint32_t flags_;
  InternalErrors& errors_;
  const char* module_;
  int64_t guard_ = -1;         // the end position last reported at a block boundary
  uint32_t mergeStart_ = 0;    // S of the merge rule
  uint32_t changeStart_ = 0;   // where the Change being grown starts in a
  uint32_t changeLength_ = 0;  // its length so far (M); 0 when there is none
  bool failed_ = false;
  bool stopped_ = false;
  uint8_t blockA_[kBlock];
  uint8_t blockB_[kBlock];
  uint8_t window_[kWindow];
  std::vector<uint8_t> data_;
  compression::Workspace workspace_;
};

HRESULT RunPass(ByteSource& a, ByteSource& b, DifferenceList& list, uint32_t flags, InternalErrors& errors,
                const char* module, bool* failed) {
  // Both contents are read in large pieces: the pass reads, seeks and searches in small steps.
  BufferedSource bufferedA(a), bufferedB(b);
  std::unique_ptr<Comparison> comparison(new Comparison(bufferedA, bufferedB, list, flags, errors, module));
  const HRESULT hr = comparison->Run();
  *failed = comparison->Failed();
  return hr;
}

// Rebuilds a content level by level in one ContentStore.
//
// A level's records are applied as one sweep: the list (in increasing positions) is read first,
// each record checked, and turned into the spans of the older content that survive with where
// they go; the spans are then moved (those going down from the front, those going up from the
// back, so that no span overwrites one not yet moved) and the records' bytes written. This is
// the same as applying record after record in place, at the cost of one pass over the content.
class Rebuilder {
 public:
  Rebuilder(ArchiveHeap& heap, ContentStore& out, InternalErrors& errors, const char* module)
      : heap_(heap), out_(out), errors_(errors), module_(module) {}

  HRESULT ApplyLevel(const RevisionRecord& revision) {
    pieces_.clear();
    spans_.clear();
    cache_.clear();
    inflated_ = 0;
    flags_ = revision.Flags();
    const uint64_t stated = revision.Size();
    bound_ = static_cast<uint32_t>(stated);  // decompression is bounded by its low 32 bits
    const uint32_t oldSize = out_.Size();
    // The content never grows past what this level can hold: its older self plus its own size.
    const uint64_t limit = std::min<uint64_t>(UINT32_MAX, oldSize + std::min<uint64_t>(stated, UINT32_MAX));
    if (oldSize == 0) {
      const HRESULT appended = AppendLevel(revision, limit);
      if (appended != S_FALSE) return appended;
    }

    uint64_t size = oldSize;  // as if the records so far had been applied in place
    uint64_t target = 0;      // the target content is settled up to here
    uint64_t source = 0;      // and its older bytes are taken from here on
    auto keep = [&](uint64_t upTo) {
      const uint64_t n = upTo - target;
      if (n != 0 && source != target)
        spans_.push_back(Span{static_cast<uint32_t>(source), static_cast<uint32_t>(target), static_cast<uint32_t>(n)});
      source += n;
      target = upTo;
    };

    HRESULT hr = ForEach<DifferenceRecord>(heap_, revision.Differences(), [&](DifferenceRecord& d) -> HRESULT {
      if (!seen_.insert(d.Offset()).second) return Bad(__LINE__);  // a loop, or a record of two lists
      const uint64_t p = d.Position();
      if (p < target) return Bad(__LINE__);  // positions must increase
      const uint8_t kind = d.Kind();
      if (kind == difference_kind::kDeletion) {
        const uint64_t n = d.Length();
        if (p + n > size) return Bad(__LINE__);
        keep(p);
        source += n;
        size -= n;
        return S_OK;
      }
      if (kind != difference_kind::kInsertion && kind != difference_kind::kChange) {
        errors_.Report(module_, __LINE__);  // a kind this version does not know
        reported_ = true;
        return kCorruptArchive;
      }
      if (!d.HasSoundData()) return Bad(__LINE__);
      Piece piece;
      HRESULT measured = Measure(d, &piece);
      if (FAILED(measured)) return measured;
      const uint64_t n = piece.count;
      if (kind == difference_kind::kInsertion) {
        if (p > size || size + n > limit) return Bad(__LINE__);
        keep(p);
        target += n;
        size += n;
      } else {
        if (p + n > size) return Bad(__LINE__);
        keep(p);
        source += n;
        target += n;
      }
      pieces_.push_back(piece);
      return S_OK;
    });
    if (FAILED(hr)) return reported_ ? hr : Bad(__LINE__);
    keep(size);  // the rest of the older content follows the last record

    const uint32_t newSize = static_cast<uint32_t>(size);
    if (newSize > oldSize && FAILED(hr = out_.Resize(newSize))) return StoreFailed(hr, __LINE__);
    for (const Span& span : spans_)
      if (span.to < span.from && FAILED(hr = out_.Move(span.to, span.from, span.count))) return StoreFailed(hr, __LINE__);
    for (auto span = spans_.rbegin(); span != spans_.rend(); ++span)
      if (span->to > span->from && FAILED(hr = out_.Move(span->to, span->from, span->count)))
        return StoreFailed(hr, __LINE__);
    for (const Piece& piece : pieces_)
      if (FAILED(hr = Write(piece))) return hr;
    if (newSize < oldSize && FAILED(hr = out_.Resize(newSize))) return StoreFailed(hr, __LINE__);
    return S_OK;
  }

 private:
  struct Piece {
    uint32_t record = 0;
    uint32_t position = 0;
    uint32_t count = 0;       // bytes the record puts into the content
    bool inflate = false;     // they come from decompressing its data block
    bool cached = false;      // they are in cache_ from cacheAt on
    size_t cacheAt = 0;
  };
  struct Span {
    uint32_t from, to, count;
  };

  // Decompressed bytes are kept from measuring for writing, so that each record is decompressed
  // once: up to the level's size (all its records can produce), but no more than this.
  static constexpr size_t kCacheLimit = 256u << 20;

  // A level applied to an empty content whose records each insert at its end, as the newest
  // revision holds every whole content: each record's bytes go straight to the end, decompressed
  // once. The checks, their order and the outcome are those of the sweep below. S_FALSE, with the
  // content emptied again, at the first record that does not append, for the sweep to do.
  HRESULT AppendLevel(const RevisionRecord& revision, uint64_t limit) {
    std::vector<uint32_t> met;
    uint64_t size = 0;
    out_.Reserve(static_cast<uint32_t>(std::min<uint64_t>(revision.Size(), limit)));
    HRESULT hr = ForEach<DifferenceRecord>(heap_, revision.Differences(), [&](DifferenceRecord& d) -> HRESULT {
      if (d.Kind() != difference_kind::kInsertion || d.Position() != size) return S_FALSE;
      if (!seen_.insert(d.Offset()).second) return Bad(__LINE__);
      met.push_back(d.Offset());
      if (!d.HasSoundData()) return Bad(__LINE__);
      const uint8_t* stored = heap_.Resolve(d.Data(), d.Length());
      if (stored == nullptr) return Bad(__LINE__);
      uint64_t n = d.Length();
      bool inflated = false;
      if (compression::IsCompressed(flags_)) {
        uint32_t produced = 0;
        HRESULT written = S_OK;
        const compression::Inflated result = compression::Decompress(
            flags_, stored, d.Length(), bound_,
            [&](const uint8_t* bytes, uint32_t count) {
              const uint64_t at = size + produced - count;
              if (at + count > UINT32_MAX) return false;
              written = out_.Resize(static_cast<uint32_t>(at + count));
              if (SUCCEEDED(written)) written = out_.Write(static_cast<uint32_t>(at), bytes, count);
              return SUCCEEDED(written);
            },
            &produced, &workspace_);
        if (FAILED(written)) return StoreFailed(written, __LINE__);
        inflated_ += produced;
        if (inflated_ > bound_) return Bad(__LINE__);
        inflated = result == compression::Inflated::kComplete;
        if (inflated) n = produced;
      }
      if (size + n > limit) return Bad(__LINE__);
      if (!inflated) {  // stored bytes, or data that did not decompress cleanly: applied as stored
        HRESULT written = out_.Resize(static_cast<uint32_t>(size + n));
        if (SUCCEEDED(written) && n != 0) written = out_.Write(static_cast<uint32_t>(size), stored, static_cast<uint32_t>(n));
        if (FAILED(written)) return StoreFailed(written, __LINE__);
      }
      size += n;
      return S_OK;
    });
    if (hr == S_FALSE) {
      for (uint32_t record : met) seen_.erase(record);
      inflated_ = 0;
      hr = out_.Resize(0);
      return FAILED(hr) ? StoreFailed(hr, __LINE__) : S_FALSE;
    }
    if (FAILED(hr)) return reported_ ? hr : Bad(__LINE__);
    // Output of a stream that failed late may lie behind the end: the content ends at size.
    if (out_.Size() != size && FAILED(hr = out_.Resize(static_cast<uint32_t>(size)))) return StoreFailed(hr, __LINE__);
    return S_OK;
  }

  HRESULT Bad(int line) {
    errors_.Report(module_, line);
    reported_ = true;
    return kCorruptArchive;
  }

  HRESULT StoreFailed(HRESULT hr, int line) {
    errors_.Report(module_, line);
    return hr;
  }

  // How many bytes the record puts into the content: its decompressed bytes when the revision is
  // compressed and the data block is one clean stream within the bound, else its stored bytes.
  HRESULT Measure(const DifferenceRecord& d, Piece* piece) {
    piece->record = d.Offset();
    piece->position = d.Position();
    piece->count = d.Length();
    if (!compression::IsCompressed(flags_)) return S_OK;
    const uint8_t* stored = heap_.Resolve(d.Data(), d.Length());
    if (stored == nullptr) return Bad(__LINE__);
    piece->cached = true;
    piece->cacheAt = cache_.size();
    uint32_t produced = 0;
    const compression::Inflated result = compression::Decompress(
        flags_, stored, d.Length(), bound_,
        [&](const uint8_t* bytes, uint32_t count) {
          if (piece->cached && cache_.size() + count <= std::min<size_t>(bound_, kCacheLimit)) {
            try {
              cache_.insert(cache_.end(), bytes, bytes + count);
            } catch (const std::bad_alloc&) {
              piece->cached = false;  // decompressed again when written
              cache_.resize(piece->cacheAt);
            }
          } else if (piece->cached) {
            piece->cached = false;
            cache_.resize(piece->cacheAt);
          }
          return true;
        },
        &produced, &workspace_);
    // The records' bytes are parts of this revision's content, so together they never exceed its
    // size; counting the output of failed streams too bounds the work of a level by that size.
    inflated_ += produced;
    if (inflated_ > bound_) return Bad(__LINE__);
    if (result == compression::Inflated::kComplete) {
      piece->inflate = true;
      piece->count = produced;
    } else {
      piece->cached = false;  // the stored bytes are applied as they stand
      cache_.resize(piece->cacheAt);
    }
    return S_OK;
  }

  HRESULT Write(const Piece& piece) {
    DifferenceRecord d(heap_, piece.record);
    HRESULT hr = S_OK;
    if (piece.cached) {
      hr = out_.Write(piece.position, cache_.data() + piece.cacheAt, piece.count);
    } else if (!piece.inflate) {
      const uint8_t* stored = heap_.Resolve(d.Data(), piece.count);
      if (piece.count != 0) hr = stored == nullptr ? Bad(__LINE__) : out_.Write(piece.position, stored, piece.count);
    } else {
      uint32_t produced = 0;
      const compression::Inflated result = compression::Decompress(
          flags_, heap_.Resolve(d.Data(), d.Length()), d.Length(), bound_,
          [&](const uint8_t* bytes, uint32_t count) {
            // Never more than measured.
            if (produced > piece.count) return false;
            hr = out_.Write(piece.position + (produced - count), bytes, count);
            return SUCCEEDED(hr);
          },
          &produced, &workspace_);
      if (SUCCEEDED(hr) && (result != compression::Inflated::kComplete || produced != piece.count))
        return Bad(__LINE__);
    }
    return FAILED(hr) ? StoreFailed(hr, __LINE__) : S_OK;
  }

  ArchiveHeap& heap_;
  ContentStore& out_;
  InternalErrors& errors_;
  const char* module_;
  std::unordered_set<uint32_t> seen_;  // difference records met so far, over all levels
  std::vector<Piece> pieces_;
  std::vector<Span> spans_;
  std::vector<uint8_t> cache_;
  compression::Workspace workspace_;
  uint32_t flags_ = 0;
  uint32_t bound_ = 0;
  uint64_t inflated_ = 0;  // bytes decompressed for this level so far
  bool reported_ = false;
};

}  // namespace

DifferenceList::DifferenceList(ArchiveHeap& heap, uint32_t revision)
    : heap_(heap), revision_(revision), tailSlot_(revision + kDifferencesField) {}

void DifferenceList::ResetTail() { tailSlot_ = revision_ + kDifferencesField; }

HRESULT DifferenceList::AppendData(uint8_t kind, uint32_t position, const uint8_t* bytes, uint32_t count,
                                   uint32_t revisionFlags) {
  if (!heap_.IsOpen()) return kArchiveClosed;
  if ((kind != difference_kind::kInsertion && kind != difference_kind::kChange) || count == 0) return E_INVALIDARG;
  std::vector<uint8_t> held;
  try {
    if (kind == difference_kind::kInsertion && compression::IsCompressed(revisionFlags) &&
        FindReusable(position, bytes, count, revisionFlags, &held)) {
      // held has the stored bytes of the same content
    } else if (compression::IsCompressed(revisionFlags)) {
      profile::Scope scope(profile::kCompress);
      if (!compression::Compress(revisionFlags, bytes, count, &held, passWorkspace)) return E_FAIL;
    } else if (heap_.OffsetOf(bytes) != 0) {
      held.assign(bytes, bytes + count);  // growing the archive may move the bytes
    }
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
  const uint8_t* stored = held.empty() ? bytes : held.data();
  const uint32_t length = held.empty() ? count : static_cast<uint32_t>(held.size());

  uint32_t slot = tailSlot_;
  HRESULT hr = AdvanceSlot(heap_, &slot);
  if (FAILED(hr)) return hr;
  const uint32_t record = heap_.Allocate(DifferenceRecord::kSize);
  if (record == 0) return Exhausted(heap_);
  const uint32_t block = heap_.Allocate(length);
  if (block == 0) {
    if (heap_.IsOpen()) heap_.Free(record, DifferenceRecord::kSize);
    return Exhausted(heap_);
  }
  std::memcpy(heap_.Resolve(block, length), stored, length);
  DifferenceRecord d(heap_, record);
  d.SetKind(kind);
  d.SetPosition(position);
  d.SetData(block);
  d.SetLength(length);
  heap_.Write32(slot, record);
  tailSlot_ = slot;
  return S_OK;
}

bool DifferenceList::FindReusable(uint32_t position, const uint8_t* bytes, uint32_t count, uint32_t revisionFlags,
                                  std::vector<uint8_t>* stored) {
  // The list is in increasing positions, as the Insertions asked about: pass what lies before.
  LoopCheck loop;
  loop.Restart(reuse_);
  while (reuse_ != 0) {
    DifferenceRecord d(heap_, reuse_);
    if (!d.IsValid()) {
      reuse_ = 0;
      return false;
    }
    if (d.Position() >= position) break;
    reuse_ = d.Next();
    if (!loop.Step(reuse_)) {
      reuse_ = 0;
      return false;
    }
  }
  if (reuse_ == 0) return false;
  DifferenceRecord d(heap_, reuse_);
  if (d.Position() != position || d.Kind() != difference_kind::kInsertion || !d.HasSoundData() || d.Length() == 0)
    return false;
  const uint8_t* data = heap_.Resolve(d.Data(), d.Length());
  uint32_t produced = 0;
  bool same = true;
  const compression::Inflated result = compression::Decompress(
      revisionFlags, data, d.Length(), count,
      [&](const uint8_t* piece, uint32_t n) {
        same = same && std::memcmp(piece, bytes + (produced - n), n) == 0;
        return same;
      },
      &produced, &reuseWorkspace_);
  if (result != compression::Inflated::kComplete || produced != count || !same) return false;
  stored->assign(data, data + d.Length());
  return true;
}

HRESULT DifferenceList::AppendDeletion(uint32_t position, uint32_t length) {
  if (!heap_.IsOpen()) return kArchiveClosed;
  uint32_t slot = tailSlot_;
  HRESULT hr = AdvanceSlot(heap_, &slot);
  if (FAILED(hr)) return hr;
  const uint32_t record = heap_.Allocate(DifferenceRecord::kSize);
  if (record == 0) return Exhausted(heap_);
  DifferenceRecord d(heap_, record);
  d.SetKind(difference_kind::kDeletion);
  d.SetPosition(position);
  d.SetLength(length);
  heap_.Write32(slot, record);
  tailSlot_ = slot;
  return S_OK;
}

HRESULT DifferenceList::RemoveLast() {
  if (!heap_.IsOpen()) return kArchiveClosed;
  const uint32_t record = heap_.Read32(tailSlot_);
  if (record == 0) return S_FALSE;
  DifferenceRecord d(heap_, record);
  if (!d.IsValid()) return kCorruptArchive;
  if (!heap_.Write32(tailSlot_, d.Next())) return E_ACCESSDENIED;
  if (d.Kind() != difference_kind::kDeletion && d.Data() != 0 && d.Length() != 0) heap_.Free(d.Data(), d.Length());
  return heap_.Free(record, DifferenceRecord::kSize);
}

HRESULT DifferencePass(ByteSource& a, ByteSource& b, DifferenceList& list, uint32_t revisionFlags,
                       InternalErrors& errors, const char* module) {
  bool failed = false;
  return RunPass(a, b, list, revisionFlags, errors, module, &failed);
}

namespace {

// Frees a list of difference records that nothing links any more, with their data blocks.
// Everything is checked before anything is freed: a damaged list (a loop, data outside the
// archive, records or blocks that overlap) is left where it is, since freeing it would hand out
// the same bytes twice.
HRESULT FreeList(ArchiveHeap& heap, uint32_t first) {
  struct Area {
    uint32_t start, length;
  };
  std::vector<Area> areas;
  std::unordered_set<uint32_t> seen;
  bool sound = true;
  HRESULT hr = ForEach<DifferenceRecord>(heap, first, [&](DifferenceRecord& d) -> HRESULT {
    if (!seen.insert(d.Offset()).second) return kCorruptArchive;
    if (!d.HasSoundData()) sound = false;
    areas.push_back(Area{d.Offset(), DifferenceRecord::kSize});
    if (d.Kind() != difference_kind::kDeletion && d.Length() != 0) areas.push_back(Area{d.Data(), d.Length()});
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
  if (!heap.IsOpen()) return kArchiveClosed;
  if (!heap.IsWritable()) return E_ACCESSDENIED;
  RevisionRecord owner(heap, revision);
  if (!owner.IsValid()) return kCorruptArchive;
  const uint32_t first = owner.Differences();
  owner.SetDifferences(0);  // unlinked first, freed after
  return FreeList(heap, first);
}

HRESULT StoreRevisionContent(ArchiveHeap& heap, uint32_t newRevision, ByteSource& previousContent,
                             ByteSource& current, uint32_t mode, Stamp asAt, const StatBlock* stat,
                             InternalErrors& errors, const char* module) {
  if (!heap.IsOpen()) return kArchiveClosed;
  if (!heap.IsWritable()) return E_ACCESSDENIED;
  RevisionRecord revision(heap, newRevision);
  if (!revision.IsValid()) return E_INVALIDARG;
  DifferenceList list(heap, newRevision);
  MemorySource empty;
  bool failed = false;
  const uint32_t previousOffset = revision.Previous();
  auto failure = [&] { return heap.IsOpen() ? E_FAIL : kArchiveClosed; };

  // Everything the new revision holds is written before anything links to it, and the previous
  // revision changes in one switch at the end (see SwitchRevisions): a process stopped at any
  // point leaves every revision that was linked before whole.
  if (previousOffset == 0) {
    revision.SetFlags(mode);
    RunPass(current, empty, list, mode, errors, module, &failed);
    if (failed) {
      FreeDifferences(heap, newRevision);
      return failure();
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
  if (FAILED(current.Seek(0))) {
    errors.Report(module, __LINE__);
    return E_FAIL;
  }
  const HRESULT found = RunPass(previousContent, current, list, previousFlags, errors, module, &failed);
  if (failed) {
    FreeDifferences(heap, newRevision);
    return failure();
  }
  if (found == S_FALSE) return S_FALSE;

  // Hold the reverse differences aside and store the whole current content in the new revision.
  const uint32_t reverse = revision.Differences();
  revision.SetDifferences(0);
  list.ResetTail();
  revision.SetFlags(mode);
  if (previousFlags == mode) list.ReuseFrom(previous.Differences());
  RunPass(current, empty, list, mode, errors, module, &failed);
  const uint32_t journal = failed ? 0 : heap.Allocate(kSwitchSize);
  if (journal == 0) {
    // Nothing links to the new records yet: take them back; the previous revision stays whole.
    FreeDifferences(heap, newRevision);
    FreeList(heap, reverse);
    if (!failed) errors.Report(module, __LINE__);
    return failure();
  }
  revision.SetNumber(static_cast<int32_t>(static_cast<uint32_t>(previous.Number()) + 1));
  revision.SetAsAt(asAt);
  if (stat != nullptr) revision.WriteStat(*stat);

  const uint32_t wholeContent = previous.Differences();
  SwitchRevisions(heap, journal, previousOffset, newRevision, reverse);
  if (FAILED(FreeList(heap, wholeContent))) errors.Report(module, __LINE__);
  heap.Free(journal, kSwitchSize);
  return heap.IsOpen() ? S_OK : kArchiveClosed;
}

void SwitchRevisions(ArchiveHeap& heap, uint32_t journal, uint32_t previous, uint32_t newest, uint32_t reverse) {
  heap.Write32(journal, previous);
  heap.Write32(journal + 4, newest);
  heap.Write32(journal + 8, reverse);
  // The writer's mark (set by its first change) comes back once the switch is done.
  const uint32_t mark = heap.HeaderField(header::kReserved);
  heap.SetHeaderField(header::kReserved, journal);
  RevisionRecord older(heap, previous);
  older.SetNext(newest);
  older.SetDifferences(reverse);
  heap.SetHeaderField(header::kReserved, mark);
}

bool FinishInterruptedSwitch(ArchiveHeap& heap) {
  const uint32_t journal = heap.HeaderField(header::kReserved);
  if (journal < header::kSize || !heap.IsWritable()) return false;
  if (heap.Contains(journal, kSwitchSize)) {
    RevisionRecord older(heap, heap.Read32(journal)), newest(heap, heap.Read32(journal + 4));
    if (older.IsValid() && newest.IsValid() && newest.Previous() == older.Offset()) {
      older.SetNext(newest.Offset());
      older.SetDifferences(heap.Read32(journal + 8));
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

HRESULT RebuildContent(ArchiveHeap& heap, uint32_t revision, ContentStore& out, InternalErrors& errors,
                       const char* module) {
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
  Rebuilder rebuilder(heap, out, errors, module);
  for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
    hr = rebuilder.ApplyLevel(RevisionRecord(heap, *level));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
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
