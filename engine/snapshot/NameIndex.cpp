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
  // Most names' keys fit this; a longer one is measured first.
  char buffer[512];
  int size = LCMapStringA(LOCALE_SYSTEM_DEFAULT, kFlags, name.data(), length, buffer, sizeof buffer);
  if (size > 0) return std::string(buffer, static_cast<size_t>(size));
  size = LCMapStringA(LOCALE_SYSTEM_DEFAULT, kFlags, name.data(), length, nullptr, 0);
  if (size <= 0) return std::string();
  std::string key(static_cast<size_t>(size), '\0');
  if (LCMapStringA(LOCALE_SYSTEM_DEFAULT, kFlags, name.data(), length, &key[0], size) != size) return std::string();
  return key;
}

void NameIndex::Add(const std::string& name, uint32_t value) {
  names_.emplace_back(name, value);
  if (keyless_) return;
  const std::string key = NameKey(name);
  if (key.empty())
    keyless_ = true;
  else
    byKey_.emplace(key, value);  // keeps the first of equal names
}

uint32_t NameIndex::Find(const std::string& name) const {
  const std::string key = keyless_ ? std::string() : NameKey(name);
  if (key.empty()) {
    for (const auto& entry : names_)
      if (SameName(entry.first, name)) return entry.second;
    return 0;
  }
  const auto found = byKey_.find(key);
  return found != byKey_.end() ? found->second : 0;
}

}  // namespace cairn
