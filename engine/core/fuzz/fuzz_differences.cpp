// Holds the difference pass to the plain step-by-step pass kept for the tests: any input that
// makes them find different records (or crashes either) is a bug. The pass that looks for moved
// data anywhere ahead must give records that rebuild the first content from the second. The input is two contents:
// the first byte pair cuts the rest in two, or, when the third byte says so, the second content
// is the first one edited by the operations the rest spells (insert, delete, overwrite, at a
// place, of a length up to past 8192), so that small inputs reach the pass's own sizes.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "PlainDifferences.h"

using namespace cairn;

namespace {

struct Quiet final : InternalErrors {
  void Report(const char*, int) override {}
};

uint32_t Word(const uint8_t* p) { return p[0] | p[1] << 8; }

std::vector<uint8_t> Edited(std::vector<uint8_t> content, const uint8_t* ops, size_t size) {
  for (size_t i = 0; i + 6 <= size; i += 6) {
    const uint8_t* op = ops + i;
    const size_t at = content.empty() ? 0 : Word(op + 1) % (content.size() + 1);
    const uint32_t length = Word(op + 3) % 13000;
    switch (op[0] % 3) {
      case 0: {
        std::vector<uint8_t> fill(length);
        for (uint32_t k = 0; k < length; ++k)
          fill[k] = op[0] & 4 && !content.empty() ? content[(at + 3 * k) % content.size()] : static_cast<uint8_t>(op[5] + k * (op[0] >> 3));
        content.insert(content.begin() + at, fill.begin(), fill.end());
        break;
      }
      case 1: content.erase(content.begin() + at, content.begin() + std::min(content.size(), at + length)); break;
      default:
        for (uint32_t k = 0; k < length && at + k < content.size(); ++k) content[at + k] = static_cast<uint8_t>(op[5] ^ k);
        break;
    }
  }
  return content;
}

std::vector<testing::PlainRecord> Fast(ContentView& a, ContentView& b, bool findMoved = false) {
  testing::RecordingSink sink;
  Quiet quiet;
  bool failed = false;
  RunDifferencePass(a, b, sink, quiet, "fuzz", &failed, findMoved);
  if (failed) std::abort();
  return sink.records;
}

// With moved data looked for anywhere ahead the records are the pass's own: they must rebuild
// the content, read in place or in runs of any length alike.
void CheckMoved(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint8_t seedA, uint8_t seedB) {
  MemoryView x(a.data(), static_cast<uint32_t>(a.size())), y(b.data(), static_cast<uint32_t>(b.size()));
  const std::vector<testing::PlainRecord> records = Fast(x, y, true);
  std::vector<uint8_t> rebuilt;
  if (!testing::ApplyRecords(records, b, &rebuilt) || rebuilt != a) std::abort();
  testing::ChoppyView choppyA(a, seedA), choppyB(b, seedB);
  if (Fast(choppyA, choppyB, true) != records) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t* body = data + 3;
  const size_t n = size - 3;
  const size_t cut = Word(data) % (n + 1);
  std::vector<uint8_t> a(body, body + cut);
  // Small contents stretched: repeated, they make the patterns whose first match matters.
  if (data[2] & 2)
    for (size_t times = data[2] >> 4; times > 0 && a.size() < 12000; --times) a.insert(a.end(), a.begin(), a.end());
  std::vector<uint8_t> b = data[2] & 1 ? Edited(a, body + cut, n - cut) : std::vector<uint8_t>(body + cut, body + n);
  // Larger contents only slow the plain pass down; the pass's own sizes lie well below this.
  a.resize(std::min<size_t>(a.size(), 24000));
  b.resize(std::min<size_t>(b.size(), 24000));
  const std::vector<testing::PlainRecord> plain = testing::PlainDifferences(a, b);
  MemoryView x(a.data(), static_cast<uint32_t>(a.size())), y(b.data(), static_cast<uint32_t>(b.size()));
  if (Fast(x, y) != plain) std::abort();
  testing::ChoppyView choppyA(a, data[2]), choppyB(b, data[0]);
  if (Fast(choppyA, choppyB) != plain) std::abort();
  CheckMoved(a, b, data[2], data[0]);
  return 0;
}
