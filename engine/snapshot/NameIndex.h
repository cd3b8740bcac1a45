// Names looked up as NameCodec::SameName compares them (the system's rules, letter case ignored) without
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

#include "ArchiveText.h"

namespace cairn {

class NameIndex {
 public:
  // Names compared by the archive's codec.
  explicit NameIndex(NameCodec codec) : codec_(codec) {}
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
  NameCodec codec_;
};

}  // namespace cairn
