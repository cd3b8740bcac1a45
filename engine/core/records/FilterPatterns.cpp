#include "FilterPatterns.h"

#include <regex>

namespace cairn {

struct FilterList::Compiled {
  std::regex expression;
};

FilterList::FilterList() = default;
FilterList::~FilterList() = default;
FilterList::FilterList(FilterList&&) noexcept = default;
FilterList& FilterList::operator=(FilterList&&) noexcept = default;

std::string WildcardToRegex(const std::string& pattern) {
  std::string out = "^";
  bool inClass = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {  // escapes the next character, whatever it is
      out += c;
      if (i + 1 < pattern.size()) out += pattern[++i];
      continue;
    }
    if (inClass) {  // a character class is copied as it stands
      out += c;
      if (c == ']') inClass = false;
      continue;
    }
    switch (c) {
      case '*': out += ".*"; break;
      case '?': out += "."; break;
      case '.': out += "\\."; break;
      case '[':
        out += c;
        inClass = true;
        // A ']' right after the opening (or after '^') belongs to the class.
        if (i + 1 < pattern.size() && pattern[i + 1] == '^') out += pattern[++i];
        if (i + 1 < pattern.size() && pattern[i + 1] == ']') out += pattern[++i];
        break;
      case ']': case '+': case '{': case '}': case '(': case ')': case '$': out += c; break;
      case '^': case '|': out += '\\'; out += c; break;  // not operators of the pattern language
      default: out += c;
    }
  }
  return out + "$";
}

void FilterList::Set(const std::string& list) {
  patterns_.clear();
  empty_ = list.empty();
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const std::string pattern = list.substr(start, end - start);
    start = end + 1;
    if (pattern.empty()) continue;
    std::unique_ptr<Compiled> compiled(new Compiled);
    try {
      // The polynomial matcher: a hostile archive's list must not make matching take forever.
      compiled->expression = std::regex(WildcardToRegex(pattern), std::regex::extended | std::regex::nosubs |
                                                                      std::regex_constants::__polynomial);
    } catch (const std::regex_error&) {
      continue;  // matches nothing
    }
    patterns_.push_back(std::move(compiled));
  }
}

bool FilterList::Matches(const std::string& name) const {
  for (const auto& pattern : patterns_) {
    try {
      if (std::regex_match(name, pattern->expression)) return true;
    } catch (const std::regex_error&) {
      // too complex to match: treated as no match
    }
  }
  return false;
}

std::string LastComponent(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos) cut = path.find_last_of(':');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace cairn
