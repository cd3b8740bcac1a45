#include "DifferencePass.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "ArchiveRecords.h"
#include "MovedData.h"
#include "ProbeIndex.h"
#include "Profile.h"

namespace cairn {
namespace {

constexpr uint32_t kBlock = 4096;           // contents are compared block by block
constexpr uint32_t kProbe = ProbeIndex::kProbe;
constexpr uint32_t kWindow = ProbeIndex::kWindow;
constexpr uint32_t kStep = 64;              // a Change grows by this much
constexpr uint32_t kInsertionChunk = 8192;  // largest Insertion of a content's tail
// Moved data found far ahead counts only where the contents go on matching behind it for this
// long (or to an end): a chance match far away would otherwise store what lies between.
constexpr uint32_t kLeastConfirmed = 256;
constexpr uint32_t kMostConfirmed = 4096;
// An Insertion nearer than a Deletion found this near is looked for byte by byte, without
// indexing the other content.
constexpr uint32_t kNearby = 1u << 20;
// The previous content (a) is indexed, to find b's next bytes ahead in it, only once the pass has
// stored this many bytes of Changes without both contents matching again for kSettled bytes: a
// small overwrite is over before that, and only a content whose bytes were taken out (which a
// Deletion of b's bytes does not explain) is read twice.
constexpr uint32_t kPatience = 2048;
constexpr uint32_t kSettled = 512;
constexpr size_t kMostCandidates = 32;

// The first index below n at which x and y differ, or n.
uint32_t Mismatch(const uint8_t* x, const uint8_t* y, uint32_t n) {
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t u, v;
    std::memcpy(&u, x + i, 8);
    std::memcpy(&v, y + i, 8);
    if (u != v) break;
  }
  while (i < n && x[i] == y[i]) ++i;
  return i;
}

// Runs of differing bytes become one Change that grows 64 bytes at a time: the Change being grown
// is held back (start and length) until something else is stored or the pass ends, and only then
// handed on, which gives the list that storing each step's Change and removing it again at the
// next step would leave, at the cost of one record.
class Pass {
 public:
  Pass(ContentView& a, ContentView& b, RecordSink& sink, InternalErrors& errors, const char* module, bool findMoved)
      : a_(a), b_(b), sink_(sink), errors_(errors), module_(module), sizeA_(a.Size()), sizeB_(b.Size()),
        findMoved_(findMoved) {}

  HRESULT Run() {
    bool found = false;
    uint32_t at = 0;
    while (!stopped_ && FindNext(&at)) {
      found = true;
      if (TryInsertion() || stopped_) continue;
      if (TryDeletion() || stopped_) continue;
      if (findMoved_ && (TryMoved() || stopped_)) continue;
      Change();
    }
    Flush();
    return found ? S_OK : S_FALSE;
  }

  bool Failed() const { return failed_; }

 private:
  void Fail(int line) {
    errors_.Report(module_, line);
    failed_ = stopped_ = true;
  }
  void Refused() { failed_ = stopped_ = true; }  // the sink reported its own failure

  // The first difference from a_ and b_ on, as comparing block by block finds it, with both left
  // at it. False when there is none (or a content could not be read).
  bool FindNext(uint32_t* at) {
    const uint32_t leftA = sizeA_ - pa_, leftB = sizeB_ - pb_;
    const uint32_t common = std::min(leftA, leftB);
    uint32_t same = 0;
    while (same < common) {
      uint32_t na = 0, nb = 0;
      const uint8_t* x = a_.Run(pa_ + same, common - same, &na);
      const uint8_t* y = x != nullptr ? b_.Run(pb_ + same, std::min(na, common - same), &nb) : nullptr;
      if (x == nullptr || y == nullptr || na == 0 || nb == 0) {
        Fail(__LINE__);
        return false;
      }
      const uint32_t n = std::min(na, nb);
      const uint32_t i = Mismatch(x, y, n);
      same += i;
      if (i < n) break;
    }
    if (pa_ == pb_ && same != 0) sink_.Same(pa_, pa_ + same);
    if (same >= kSettled) unsettled_ = 0;
    pa_ += same;
    pb_ += same;
    if (same < common) {
      *at = pa_;
      return true;
    }
    if (leftA == leftB) return false;  // both end here
    // One content ends here. Where it ended exactly at the end of a block, the position is
    // reported once only (the guard of the block comparison).
    if (same % kBlock == 0) {
      if (static_cast<int64_t>(pa_) == guard_) return false;
      guard_ = pa_;
    }
    *at = pa_;
    return true;
  }

  // Insertion: the bytes of a up to where b's next bytes occur in it.
  bool TryInsertion() {
    const uint32_t n = std::min(kProbe, sizeB_ - pb_);
    if (n == 0) {
      // b is exhausted: the rest of a, in records of at most 8192 bytes.
      Flush();
      while (!stopped_ && pa_ < sizeA_) {
        const uint32_t count = std::min(kInsertionChunk, sizeA_ - pa_);
        if (!sink_.Data(difference_kind::kInsertion, pa_, a_, count)) Refused();
        pa_ += count;
      }
      return true;
    }
    const uint32_t count = std::min(kWindow, sizeA_ - pa_);
    if (count < n) return false;
    const uint8_t* probe = Together(b_, pb_, n, probe_);
    int64_t found = -1;
    if (probe == nullptr || !indexA_.Find(a_, pa_, count, probe, n, &found)) {
      Fail(__LINE__);
      return false;
    }
    if (found <= 0) return false;
    Flush();
    if (!stopped_ && !sink_.Data(difference_kind::kInsertion, pa_, a_, static_cast<uint32_t>(found))) Refused();
    pa_ += static_cast<uint32_t>(found);
    return true;
  }

  // Deletion: the bytes of b up to where a's next bytes occur in it, or the rest of b.
  bool TryDeletion() {
    const uint32_t n = std::min(kProbe, sizeA_ - pa_);
    uint32_t length = sizeB_ - pb_;
    if (n != 0) {
      const uint32_t count = std::min(kWindow, sizeB_ - pb_);
      if (count < n) return false;
      const uint8_t* probe = Together(a_, pa_, n, probe_);
      int64_t found = -1;
      if (probe == nullptr || !indexB_.Find(b_, pb_, count, probe, n, &found)) {
        Fail(__LINE__);
        return false;
      }
      if (found < 0) return false;
      length = static_cast<uint32_t>(found);
    }
    if (length == 0) return false;
    Flush();
    if (!stopped_ && !sink_.Deletion(pa_, length)) Refused();
    pb_ += length;
    return true;
  }

  // Moved data: a's next bytes anywhere ahead in b (a Deletion of what lies before them) or b's
  // next bytes anywhere ahead in a (an Insertion of what lies before them), whichever is nearer.
  // The current content (b) is indexed at once; the previous one only when a Deletion was found
  // too far for a search of the nearby bytes, or when the Changes go on (see kPatience).
  bool TryMoved() {
    if (sizeA_ - pa_ < MovedDataIndex::kBlock || sizeB_ - pb_ < MovedDataIndex::kBlock) return false;
    int64_t deletion = -1, insertion = -1;
    if (!FarFind(a_, pa_, b_, pb_, movedB_, -1, &deletion)) return false;
    if (deletion >= 0 && deletion <= kNearby) {
      if (!NearFind(static_cast<uint32_t>(deletion), &insertion)) return false;
    } else if ((deletion >= 0 || unsettled_ >= kPatience) && !FarFind(b_, pb_, a_, pa_, movedA_, deletion, &insertion)) {
      return false;
    }
    if (insertion < 0 && deletion < 0) return false;
    Flush();
    unsettled_ = 0;
    if (insertion >= 0 && (deletion < 0 || insertion <= deletion)) {
      // In records of at most 8192 bytes, as a content's tail is inserted.
      for (const uint32_t end = pa_ + static_cast<uint32_t>(insertion); !stopped_ && pa_ < end;) {
        const uint32_t count = std::min(kInsertionChunk, end - pa_);
        if (!sink_.Data(difference_kind::kInsertion, pa_, a_, count)) Refused();
        pa_ += count;
      }
    } else {
      if (!sink_.Deletion(pa_, static_cast<uint32_t>(deletion))) Refused();
      pb_ += static_cast<uint32_t>(deletion);
    }
    return true;
  }

  // Where x's bytes from px on occur in y beyond py, as the nearest distance from py below bound
  // (any, when bound is negative) that goes on matching: *distance, or -1. False when a content
  // cannot be read.
  bool FarFind(ContentView& x, uint32_t px, ContentView& y, uint32_t py, MovedDataIndex& index, int64_t bound,
               int64_t* distance) {
    *distance = -1;
    uint8_t run[MovedDataIndex::kRun];
    const uint32_t n = std::min<uint32_t>(MovedDataIndex::kRun, x.Size() - px);
    if (!CopyOut(x, px, n, run) || !index.Build(y, py)) {
      Fail(__LINE__);
      return false;
    }
    index.Candidates(run, n, py + 1, kMostCandidates, &candidates_);
    for (uint32_t p : candidates_) {
      if (bound >= 0 && p - py >= bound) break;
      if (!Confirmed(x, px, y, p)) {
        if (stopped_) return false;
        continue;
      }
      *distance = p - py;
      break;
    }
    return true;
  }

  // An Insertion nearer than a Deletion of deletion bytes: b's next bytes in a's next bytes.
  bool NearFind(uint32_t deletion, int64_t* insertion) {
    *insertion = -1;
    const uint32_t probe = MovedDataIndex::kBlock;
    const uint32_t span = std::min<uint32_t>(deletion + probe - 1, sizeA_ - pa_ - 1);
    if (span < probe) return true;
    uint8_t wanted[MovedDataIndex::kBlock];
    const uint8_t* text = CopyOut(b_, pb_, probe, wanted) ? Together(a_, pa_ + 1, span, near_) : nullptr;
    if (text == nullptr) {
      Fail(__LINE__);
      return false;
    }
    std::vector<uint8_t> held(text, text + span);  // confirming reads a again
    for (uint32_t from = 0, tries = 0; from + probe <= span && tries < kMostCandidates; ++tries) {
      const int64_t found = FindFirst(held.data() + from, span - from, wanted, probe);
      if (found < 0) break;
      const uint32_t at = pa_ + 1 + from + static_cast<uint32_t>(found);
      if (Confirmed(b_, pb_, a_, at)) {
        *insertion = at - pa_;
        break;
      }
      if (stopped_) return false;
      from += static_cast<uint32_t>(found) + 1;
    }
    return true;
  }

  // Whether x from px and y from py go on matching for long enough to be taken as moved data.
  bool Confirmed(ContentView& x, uint32_t px, ContentView& y, uint32_t py) {
    const uint32_t wanted = std::min({std::max(kLeastConfirmed, std::min(kMostConfirmed, py - Position(y))),
                                      x.Size() - px, y.Size() - py});
    if (wanted < MovedDataIndex::kBlock) return false;
    bool failed = false;
    const bool same = SameBytes(x, px, y, py, wanted, &failed);
    if (failed) Fail(__LINE__);
    return same;
  }
  // Where the pass stands in view.
  uint32_t Position(const ContentView& view) const { return &view == &a_ ? pa_ : pb_; }

  // Change: the next bytes of a over as many of b, merged with the Change just before when it
  // continues it (its last step began 64 bytes before).
  void Change() {
    const uint32_t position = pa_;
    const bool merge = changeLength_ != 0 && position == static_cast<uint64_t>(mergeStart_) + kStep;
    if (!merge) Flush();
    mergeStart_ = position;
    const uint32_t length = std::min({kStep, sizeA_ - pa_, sizeB_ - pb_});
    if (length == 0) return;
    if (!merge) changeStart_ = position;
    changeLength_ += length;
    unsettled_ += length;
    pa_ += length;
    pb_ += length;
  }

  // Hands on the Change being grown, if any. A stopped pass hands on nothing more.
  void Flush() {
    if (changeLength_ == 0 || stopped_) return;
    const uint32_t length = changeLength_;
    changeLength_ = 0;
    if (!sink_.Data(difference_kind::kChange, changeStart_, a_, length)) Refused();
  }

  ContentView& a_;
  ContentView& b_;
  RecordSink& sink_;
  InternalErrors& errors_;
  const char* module_;
  const uint32_t sizeA_, sizeB_;
  uint32_t pa_ = 0, pb_ = 0;   // where a and b are read
  int64_t guard_ = -1;         // the end position last reported at a block boundary
  uint32_t mergeStart_ = 0;    // where the last step of the Change being grown began
  uint32_t changeStart_ = 0;   // where that Change starts
  uint32_t changeLength_ = 0;  // its length so far; 0 when there is none
  uint32_t unsettled_ = 0;     // bytes of Changes since both contents last matched for a while
  bool failed_ = false;
  bool stopped_ = false;
  ProbeIndex indexA_, indexB_;
  std::vector<uint8_t> probe_;
  const bool findMoved_;
  MovedDataIndex movedA_, movedB_;  // built when first needed
  std::vector<uint32_t> candidates_;
  std::vector<uint8_t> near_;
};

}  // namespace

HRESULT RunDifferencePass(ContentView& a, ContentView& b, RecordSink& sink, InternalErrors& errors,
                          const char* module, bool* failed, bool findMoved) {
  profile::Scope scope(profile::kCompare);
  std::unique_ptr<Pass> pass(new Pass(a, b, sink, errors, module, findMoved));
  const HRESULT hr = pass->Run();
  *failed = pass->Failed();
  return hr;
}

}  // namespace cairn
