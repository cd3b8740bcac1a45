// Names looked up as SameName compares them (the system's rules, letter case ignored) without
// comparing every pair: a folder's children are matched against its previous children one by
// one, which pairwise would cost a locale comparison per pair, quadratic in the folder's size.
// A name's sort key for the same comparison is equal to another's exactly when the comparison
// finds the names equal, so the keys are what the index holds.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace cairn {

class NameIndex {
 public:
  // Adds a name with a value other than 0; of equal names, the first one added is the one found.
  void Add(const std::string& name, uint32_t value);
  // The value of the first added name equal to name, or 0.
  uint32_t Find(const std::string& name) const;

 private:
  struct Entry {
    std::string name;
    uint32_t value;
    size_t order;
  };
  std::unordered_map<std::string, Entry> byKey_;
  // Names whose key could not be made (not expected), and every name, for a lookup whose own key
  // could not be made: compared one by one.
  std::vector<Entry> unkeyed_;
  std::vector<Entry> all_;
};

// Names compared as the file system does: letter case ignored, by the system's rules.
bool SameName(const std::string& a, const std::string& b);

// The sort key of name for SameName's comparison, or empty when the system cannot make one.
std::string NameKey(const std::string& name);

}  // namespace cairn
