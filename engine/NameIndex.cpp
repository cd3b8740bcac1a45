#include "NameIndex.h"

#include <windows.h>

namespace cairn {

bool SameName(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string NameKey(const std::string& name) {
  constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  const int length = static_cast<int>(name.size());
  const int size = LCMapStringA(LOCALE_SYSTEM_DEFAULT, kFlags, name.data(), length, nullptr, 0);
  if (size <= 0) return std::string();
  std::string key(static_cast<size_t>(size), '\0');
  if (LCMapStringA(LOCALE_SYSTEM_DEFAULT, kFlags, name.data(), length, &key[0], size) != size) return std::string();
  return key;
}

void NameIndex::Add(const std::string& name, uint32_t value) {
  Entry entry{name, value, all_.size()};
  all_.push_back(entry);
  const std::string key = NameKey(name);
  if (key.empty())
    unkeyed_.push_back(entry);
  else
    byKey_.emplace(key, entry);  // keeps the first of equal names
}

uint32_t NameIndex::Find(const std::string& name) const {
  const std::string key = NameKey(name);
  if (key.empty()) {
    for (const Entry& entry : all_)
      if (SameName(entry.name, name)) return entry.value;
    return 0;
  }
  const Entry* found = nullptr;
  const auto keyed = byKey_.find(key);
  if (keyed != byKey_.end()) found = &keyed->second;
  for (const Entry& entry : unkeyed_) {
    if (found != nullptr && entry.order > found->order) break;
    if (SameName(entry.name, name)) return entry.value;
  }
  return found != nullptr ? found->value : 0;
}

}  // namespace cairn
