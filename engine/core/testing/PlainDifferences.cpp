#include "PlainDifferences.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "ArchiveRecords.h"

namespace cairn {
namespace testing {
namespace {

class PlainPass {
 public:
  PlainPass(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) : a_(a), b_(b) {}

  std::vector<PlainRecord> Run() {
    while (FindNext()) {
      if (Insertion()) continue;
      if (Deletion()) continue;
      Change();
    }
    return list_;
  }

 private:
  // Reads up to n bytes of x from *at on, moving *at past them.
  static std::vector<uint8_t> Read(const std::vector<uint8_t>& x, uint32_t* at, uint32_t n) {
    const uint32_t count = std::min<uint32_t>(n, static_cast<uint32_t>(x.size()) - *at);
    std::vector<uint8_t> bytes(x.begin() + *at, x.begin() + *at + count);
    *at += count;
    return bytes;
  }

  bool FindNext() {
    const uint32_t start = pa_;
    for (uint32_t k = 0;; ++k) {
      const std::vector<uint8_t> x = Read(a_, &pa_, 4096), y = Read(b_, &pb_, 4096);
      const uint32_t na = static_cast<uint32_t>(x.size()), nb = static_cast<uint32_t>(y.size());
      if (na == 0 || nb == 0) {
        if (na == 0 && nb == 0) return false;
        const int64_t position = static_cast<int64_t>(start) + 4096 * k;
        if (na != 0)
          pa_ = static_cast<uint32_t>(position);
        else
          pb_ -= nb;
        if (position == guard_) return false;
        guard_ = position;
        return true;
      }
      const uint32_t shorter = std::min(na, nb);
      for (uint32_t i = 0; i < shorter; ++i)
        if (x[i] != y[i]) {
          pa_ = start + 4096 * k + i;
          pb_ -= nb - i;
          return true;
        }
      if (na == nb) continue;
      const uint32_t position = start + 4096 * k + shorter;
      if (na > nb)
        pa_ = position;
      else
        pb_ -= nb - na;
      return true;
    }
  }

  // The first offset within x's next 8192 bytes at which probe occurs, trying every one; -1.
  static int64_t Search(const std::vector<uint8_t>& x, uint32_t at, const std::vector<uint8_t>& probe) {
    const size_t count = std::min<size_t>(8192, x.size() - at);
    if (count < probe.size()) return -1;
    for (size_t i = 0; i + probe.size() <= count; ++i) {
      size_t k = 0;
      while (k < probe.size() && x[at + i + k] == probe[k]) ++k;
      if (k == probe.size()) return static_cast<int64_t>(i);
    }
    return -1;
  }

  void Store(uint8_t kind, uint32_t position, std::vector<uint8_t> bytes) {
    const uint32_t n = static_cast<uint32_t>(bytes.size());
    list_.push_back(PlainRecord{kind, position, n, std::move(bytes)});
  }

  bool Insertion() {
    uint32_t at = pb_;
    const std::vector<uint8_t> probe = Read(b_, &at, 64);
    if (probe.empty()) {
      while (pa_ < a_.size()) {
        const uint32_t position = pa_;
        Store(difference_kind::kInsertion, position, Read(a_, &pa_, 8192));
      }
      return true;
    }
    const int64_t i = Search(a_, pa_, probe);
    if (i <= 0) return false;  // at a difference the probe cannot start right there
    const uint32_t position = pa_;
    Store(difference_kind::kInsertion, position, Read(a_, &pa_, static_cast<uint32_t>(i)));
    return true;
  }

  bool Deletion() {
    uint32_t at = pa_;
    const std::vector<uint8_t> probe = Read(a_, &at, 64);
    uint32_t length;
    if (probe.empty()) {
      length = static_cast<uint32_t>(b_.size()) - pb_;
    } else {
      const int64_t i = Search(b_, pb_, probe);
      if (i < 0) return false;
      length = static_cast<uint32_t>(i);
    }
    if (length == 0) return false;
    list_.push_back(PlainRecord{difference_kind::kDeletion, pa_, length, {}});
    pb_ += length;
    return true;
  }

  void Change() {
    const uint32_t p = pa_;
    if (m_ != 0 && p == s_ + 64) {
      // The difference continues the last Change: take it back and grow it from its start.
      if (list_.empty() || list_.back().kind != difference_kind::kChange || list_.back().position + m_ != p)
        throw std::logic_error("the last record is not the Change being continued");
      list_.pop_back();
      s_ = p;
      pa_ -= m_;
      pb_ -= m_;
    } else {
      m_ = 0;
      s_ = p;
    }
    const uint32_t l = std::min<uint32_t>({64 + m_, static_cast<uint32_t>(a_.size()) - pa_,
                                           static_cast<uint32_t>(b_.size()) - pb_});
    m_ = l;
    if (l < 1) return;
    const uint32_t position = pa_;
    Store(difference_kind::kChange, position, Read(a_, &pa_, l));
    pb_ += l;
  }

  const std::vector<uint8_t>& a_;
  const std::vector<uint8_t>& b_;
  uint32_t pa_ = 0, pb_ = 0;
  int64_t guard_ = -1;
  uint32_t s_ = 0, m_ = 0;  // the merge state: the last Change's last step and its length
  std::vector<PlainRecord> list_;
};

}  // namespace

std::vector<PlainRecord> PlainDifferences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  return PlainPass(a, b).Run();
}

bool ApplyRecords(const std::vector<PlainRecord>& records, std::vector<uint8_t> b, std::vector<uint8_t>* a) {
  uint64_t settled = 0;  // the content is the target's up to here
  for (const PlainRecord& r : records) {
    const uint64_t p = r.position;
    if (p < settled || p > b.size()) return false;
    if (r.kind == difference_kind::kInsertion) {
      b.insert(b.begin() + p, r.bytes.begin(), r.bytes.end());
      settled = p + r.bytes.size();
    } else if (r.kind == difference_kind::kDeletion) {
      if (p + r.length > b.size()) return false;
      b.erase(b.begin() + p, b.begin() + p + r.length);
      settled = p;
    } else {
      if (p + r.bytes.size() > b.size()) return false;
      std::copy(r.bytes.begin(), r.bytes.end(), b.begin() + p);
      settled = p + r.bytes.size();
    }
  }
  *a = std::move(b);
  return true;
}

bool RecordingSink::Data(uint8_t kind, uint32_t position, ContentView& a, uint32_t count) {
  std::vector<uint8_t> bytes(count);
  if (!CopyOut(a, position, count, bytes.data())) return false;
  records.push_back(PlainRecord{kind, position, count, std::move(bytes)});
  return true;
}

bool RecordingSink::Deletion(uint32_t position, uint32_t length) {
  records.push_back(PlainRecord{difference_kind::kDeletion, position, length, {}});
  return true;
}

const uint8_t* ChoppyView::Run(uint32_t position, uint32_t most, uint32_t* got) {
  *got = 0;
  if (position >= bytes_.size()) return nullptr;
  state_ = state_ * 1103515245u + 12345u;
  const uint32_t left = static_cast<uint32_t>(bytes_.size()) - position;
  const uint32_t n = std::min({most, left, 1 + (state_ >> 16) % 9000});
  run_.assign(bytes_.begin() + position, bytes_.begin() + position + n);  // a buffer of its own
  *got = n;
  return run_.data();
}

}  // namespace testing
}  // namespace cairn
