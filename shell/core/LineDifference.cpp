#include "LineDifference.h"

#include <algorithm>
#include <functional>
#include <unordered_map>

namespace cairn {
namespace shell {
namespace {

// Lines as numbers, equal exactly when the lines are, so the search compares integers.
std::pair<std::vector<uint32_t>, std::vector<uint32_t>> Numbered(const std::vector<std::wstring_view>& a,
                                                                 const std::vector<std::wstring_view>& b) {
  std::unordered_map<std::wstring_view, uint32_t> numbers;
  auto number = [&numbers](std::wstring_view line) {
    return numbers.emplace(line, static_cast<uint32_t>(numbers.size())).first->second;
  };
  std::vector<uint32_t> x, y;
  x.reserve(a.size());
  y.reserve(b.size());
  for (std::wstring_view line : a) x.push_back(number(line));
  for (std::wstring_view line : b) y.push_back(number(line));
  return {std::move(x), std::move(y)};
}

// One step of the edit: take line x of the older side and y of the newer, or one of them alone.
enum class Step : uint8_t { kBoth, kOlder, kNewer };

// The shortest edit from x to y by the greedy search on diagonals, keeping each round's furthest
// points to trace the path back; false when it needs more than maxEdits steps.
bool ShortestEdit(const uint32_t* x, size_t n, const uint32_t* y, size_t m, size_t maxEdits, std::vector<Step>* steps) {
  const long limit = static_cast<long>(std::min(n + m, maxEdits));
  const long offset = limit + 1;
  std::vector<long> furthest(2 * static_cast<size_t>(limit) + 3, 0);
  // Round d keeps its diagonals -d..d only, so the trace takes about maxEdits squared numbers.
  std::vector<std::vector<int32_t>> rounds;
  long found = -1;
  for (long d = 0; d <= limit && found < 0; ++d) {
    for (long k = -d; k <= d; k += 2) {
      long i = (k == -d || (k != d && furthest[offset + k - 1] < furthest[offset + k + 1])) ? furthest[offset + k + 1]
                                                                                          : furthest[offset + k - 1] + 1;
      long j = i - k;
      while (i < static_cast<long>(n) && j < static_cast<long>(m) && x[i] == y[j]) ++i, ++j;
      furthest[offset + k] = i;
      if (i >= static_cast<long>(n) && j >= static_cast<long>(m)) {
        found = d;
        break;
      }
    }
    rounds.emplace_back(furthest.begin() + (offset - d), furthest.begin() + (offset + d + 1));
  }
  if (found < 0) return false;
  // Back from the end: each round tells which neighbour diagonal the path came from.
  std::vector<Step> reversed;
  long i = static_cast<long>(n), j = static_cast<long>(m);
  for (long d = found; d > 0; --d) {
    const std::vector<int32_t>& before = rounds[static_cast<size_t>(d - 1)];
    auto at = [&before, d](long k) { return static_cast<long>(before[static_cast<size_t>(k + d - 1)]); };
    const long k = i - j;
    const bool down = k == -d || (k != d && at(k - 1) < at(k + 1));
    const long previousK = down ? k + 1 : k - 1;
    const long previousI = at(previousK), previousJ = previousI - previousK;
    while (i > previousI + (down ? 0 : 1) && j > previousJ + (down ? 1 : 0)) {
      reversed.push_back(Step::kBoth);
      --i, --j;
    }
    reversed.push_back(down ? Step::kNewer : Step::kOlder);
    i = previousI;
    j = previousJ;
  }
  while (i > 0 && j > 0) {
    reversed.push_back(Step::kBoth);
    --i, --j;
  }
  steps->assign(reversed.rbegin(), reversed.rend());
  return true;
}

// Appends a run of lines removed and added between two matches: side by side as changed rows as
// far as both have lines, then the rest alone.
void AppendBlock(size_t olderFirst, size_t olderCount, size_t newerFirst, size_t newerCount,
                 std::vector<DifferenceRow>* rows) {
  const size_t paired = std::min(olderCount, newerCount);
  for (size_t k = 0; k < paired; ++k) rows->push_back({RowKind::kChanged, olderFirst + k, newerFirst + k});
  for (size_t k = paired; k < olderCount; ++k) rows->push_back({RowKind::kRemoved, olderFirst + k, DifferenceRow::kNoLine});
  for (size_t k = paired; k < newerCount; ++k) rows->push_back({RowKind::kAdded, DifferenceRow::kNoLine, newerFirst + k});
}

}  // namespace

std::vector<std::wstring_view> SplitLines(std::wstring_view text) {
  std::vector<std::wstring_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    const size_t next = end == std::wstring_view::npos ? text.size() : end + 1;
    if (end == std::wstring_view::npos) end = text.size();
    if (end > start && text[end - 1] == L'\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = next;
  }
  return lines;
}

std::vector<DifferenceRow> DifferenceRows(const std::vector<std::wstring_view>& older,
                                          const std::vector<std::wstring_view>& newer, size_t maxEdits) {
  const auto [x, y] = Numbered(older, newer);
  size_t head = 0;
  while (head < x.size() && head < y.size() && x[head] == y[head]) ++head;
  size_t tail = 0;
  while (tail < x.size() - head && tail < y.size() - head && x[x.size() - 1 - tail] == y[y.size() - 1 - tail]) ++tail;

  std::vector<DifferenceRow> rows;
  rows.reserve(std::max(x.size(), y.size()));
  for (size_t k = 0; k < head; ++k) rows.push_back({RowKind::kSame, k, k});
  const size_t n = x.size() - head - tail, m = y.size() - head - tail;
  std::vector<Step> steps;
  if (!ShortestEdit(x.data() + head, n, y.data() + head, m, maxEdits, &steps)) {
    AppendBlock(head, n, head, m, &rows);
  } else {
    size_t i = head, j = head, olderRun = 0, newerRun = 0;
    auto flush = [&] {
      AppendBlock(i - olderRun, olderRun, j - newerRun, newerRun, &rows);
      olderRun = newerRun = 0;
    };
    for (Step step : steps) {
      if (step == Step::kBoth) {
        flush();
        rows.push_back({RowKind::kSame, i++, j++});
      } else if (step == Step::kOlder) {
        ++olderRun, ++i;
      } else {
        ++newerRun, ++j;
      }
    }
    flush();
  }
  for (size_t k = 0; k < tail; ++k) rows.push_back({RowKind::kSame, x.size() - tail + k, y.size() - tail + k});
  return rows;
}

std::optional<uint64_t> FirstDifference(std::string_view older, std::string_view newer) {
  const size_t common = std::min(older.size(), newer.size());
  const auto where = std::mismatch(older.begin(), older.begin() + static_cast<std::ptrdiff_t>(common), newer.begin());
  const size_t at = static_cast<size_t>(where.first - older.begin());
  if (at < common || older.size() != newer.size()) return at;
  return std::nullopt;
}

std::optional<std::wstring> CompareCommandLine(std::wstring_view command, std::wstring_view older,
                                               std::wstring_view newer) {
  std::wstring line;
  bool sawOlder = false, sawNewer = false;
  for (size_t k = 0; k < command.size(); ++k) {
    const wchar_t c = command[k];
    if (c != L'%' || k + 1 == command.size()) {
      line += c;
      continue;
    }
    const wchar_t next = command[k + 1];
    if (next == L'%') {
      line += L'%';
      ++k;
      continue;
    }
    if (next != L'1' && next != L'2') {
      line += c;
      continue;
    }
    const std::wstring_view path = next == L'1' ? older : newer;
    (next == L'1' ? sawOlder : sawNewer) = true;
    const bool quoted = k > 0 && command[k - 1] == L'"';
    if (quoted) {
      line += path;
    } else {
      line += L'"';
      line += path;
      line += L'"';
    }
    ++k;
  }
  if (!sawOlder || !sawNewer) return std::nullopt;
  return line;
}

}  // namespace shell
}  // namespace cairn
