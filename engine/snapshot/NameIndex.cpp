#include "NameIndex.h"

namespace cairn {

void NameIndex::Add(const std::string& name, uint32_t value) {
  names_.emplace_back(name, value);
  if (keyless_) return;
  const std::string key = codec_.NameKey(name);
  if (key.empty())
    keyless_ = true;
  else
    byKey_.emplace(key, value);  // keeps the first of equal names
}

uint32_t NameIndex::Find(const std::string& name) const {
  const std::string key = keyless_ ? std::string() : codec_.NameKey(name);
  if (key.empty()) {
    for (const auto& entry : names_)
      if (codec_.SameName(entry.first, name)) return entry.second;
    return 0;
  }
  const auto found = byKey_.find(key);
  return found != byKey_.end() ? found->second : 0;
}

}  // namespace cairn
