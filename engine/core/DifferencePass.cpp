#include "DifferencePass.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "ArchiveRecords.h"
#include "ProbeIndex.h"
#include "Profile.h"

namespace cairn {
namespace {

constexpr uint32_t kBlock = 4096;           // contents are compared block by block
constexpr uint32_t kProbe = ProbeIndex::kProbe;
constexpr uint32_t kWindow = ProbeIndex::kWindow;
constexpr uint32_t kStep = 64;              // a Change grows by this much
constexpr uint32_t kInsertionChunk = 8192;  // largest Insertion of a content's tail

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
  Pass(ContentView& a, ContentView& b, RecordSink& sink, InternalErrors& errors, const char* module)
      : a_(a), b_(b), sink_(sink), errors_(errors), module_(module), sizeA_(a.Size()), sizeB_(b.Size()) {}

  HRESULT Run() {
    bool found = false;
    uint32_t at = 0;
    while (!stopped_ && FindNext(&at)) {
      found = true;
      if (TryInsertion() || stopped_) continue;
      if (TryDeletion() || stopped_) continue;
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
  bool failed_ = false;
  bool stopped_ = false;
  ProbeIndex indexA_, indexB_;
  std::vector<uint8_t> probe_;
};

}  // namespace

HRESULT RunDifferencePass(ContentView& a, ContentView& b, RecordSink& sink, InternalErrors& errors,
                          const char* module, bool* failed) {
  profile::Scope scope(profile::kCompare);
  std::unique_ptr<Pass> pass(new Pass(a, b, sink, errors, module));
  const HRESULT hr = pass->Run();
  *failed = pass->Failed();
  return hr;
}

}  // namespace cairn
