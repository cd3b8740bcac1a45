#include "StoredNames.h"

namespace cairn {
namespace {

template <class Text>
bool ChildOf(const Text& parent, const Text& child) {
  using Char = typename Text::value_type;
  const Char backslash = static_cast<Char>('\\');
  const size_t cut = child.find_last_of(backslash);
  if (cut == Text::npos || cut + 1 == child.size() || parent.empty()) return false;
  // The parent's own closing backslash is the separator; otherwise the child's last one is.
  const size_t headLength = parent.back() == backslash ? cut + 1 : cut;
  return SameNameIgnoringCase(child.substr(0, headLength), parent);
}

}  // namespace

bool IsChildName(const std::string& parent, const std::string& child) { return ChildOf(parent, child); }
bool IsChildName(const std::wstring& parent, const std::wstring& child) { return ChildOf(parent, child); }

}  // namespace cairn
