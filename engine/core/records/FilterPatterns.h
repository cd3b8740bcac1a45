// The include and exclude lists of an archive: comma-separated wildcard patterns matched
// against a file's whole name. '*' matches any run of characters, '?' one character, '.' only a
// dot; the characters [ ] + { } ( ) \ $ keep their regular-expression meaning (so [AB]* matches
// names beginning with A or B), every other character matches itself. Callers pass both lists
// and names in upper case, which makes matching ignore letter case.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace cairn {

// The anchored regular expression (extended syntax) for one wildcard pattern.
std::string WildcardToRegex(const std::string& pattern);

class FilterList {
 public:
  FilterList();
  ~FilterList();
  FilterList(FilterList&&) noexcept;
  FilterList& operator=(FilterList&&) noexcept;

  // Compiles the list's patterns once; empty patterns are skipped, a pattern that does not
  // compile matches nothing. Nothing is trimmed: spaces belong to the patterns.
  void Set(const std::string& list);
  // The list as set was the empty string.
  bool IsEmpty() const { return empty_; }
  // True when some pattern matches the whole name.
  bool Matches(const std::string& name) const;

 private:
  struct Compiled;
  std::vector<std::unique_ptr<Compiled>> patterns_;
  bool empty_ = true;
};

// The last component of a path: after the last backslash, or after a drive colon.
std::string LastComponent(const std::string& path);

}  // namespace cairn
