// What the compare window shows: two texts as rows side by side, lines that stayed the same
// beside each other and the rest marked as changed, removed or added; for other contents, the
// first byte where they differ. Portable, so it is tested under the sanitizers on every host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cairn {
namespace shell {

enum class RowKind : uint8_t {
  kSame,     // the same line on both sides
  kChanged,  // a line of the older text replaced by a line of the newer
  kRemoved,  // a line of the older text only
  kAdded,    // a line of the newer text only
};

// One row: the line of each side (0-based), or kNoLine where that side has none.
struct DifferenceRow {
  static constexpr size_t kNoLine = static_cast<size_t>(-1);
  RowKind kind;
  size_t older;
  size_t newer;
};

// The lines of a text, split after "\n" (a "\r" before it is not part of the line); a last line
// without an end counts, an empty text has none.
std::vector<std::wstring_view> SplitLines(std::wstring_view text);

// The rows of the two texts in order: every line of each side once. Lines are matched by a
// shortest edit between the two; where more than maxEdits lines would have to be removed or
// added, what remains between the common start and end is shown as one changed block.
std::vector<DifferenceRow> DifferenceRows(const std::vector<std::wstring_view>& older,
                                          const std::vector<std::wstring_view>& newer, size_t maxEdits = 2000);

// The first offset at which the two byte runs differ (one ending before the other differs at its
// end); nullopt when they are equal.
std::optional<uint64_t> FirstDifference(std::string_view older, std::string_view newer);

// The compare program's command line with %1 and %2 replaced by the two paths, each in quotes
// unless the command already quotes it; "%%" stands for one "%". nullopt when the command does
// not name both %1 and %2.
std::optional<std::wstring> CompareCommandLine(std::wstring_view command, std::wstring_view older,
                                               std::wstring_view newer);

}  // namespace shell
}  // namespace cairn
