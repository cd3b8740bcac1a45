// Names looked up as SameName compares them (the system's rules, letter case ignored) without
// comparing every pair: a folder's children are matched against its previous children one by
// one, which pairwise would cost a locale comparison per pair, quadratic in the folder's size.
// A name's sort key for the same comparison is equal to another's exactly when the comparison
// finds the names equal, so the keys are what the index holds.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace cairn {

class NameIndex {
 public:
  // Adds a name with a value other than 0; of equal names, the first one added is the one found.
  void Add(const std::string& name, uint32_t value);
  // The value of the first added name equal to name, or 0.
  uint32_t Find(const std::string& name) const;

 private:
  std::unordered_map<std::string, uint32_t> byKey_;
  // Every name in order, for the case a key cannot be made (not expected): the index then
  // compares names one by one, as SameName does.
  std::vector<std::pair<std::string, uint32_t>> names_;
  bool keyless_ = false;
};

// Names compared as the file system does: letter case ignored, by the system's rules.
bool SameName(const std::string& a, const std::string& b);

// The sort key of name for SameName's comparison, or empty when the system cannot make one.
std::string NameKey(const std::string& name);

}  // namespace cairn
