#include "RestoreNames.h"

#include <cwctype>

namespace cairn {

std::wstring LastComponent(const std::wstring& storedName) {
  const size_t slash = storedName.find_last_of(L'\\');
  if (slash != std::wstring::npos) return storedName.substr(slash + 1);
  if (storedName.size() >= 2 && storedName[1] == L':') return storedName.substr(2);
  return storedName;
}

bool IsSafeComponent(const std::wstring& component) {
  if (component.empty() || component == L"." || component == L".." || component.size() > kMaxComponentLength)
    return false;
  for (wchar_t c : component)
    if (c == L':' || c == L'/' || c == L'\\' || c < 0x20) return false;
  return true;
}

bool IsSafeFileName(const std::wstring& component) {
  if (!IsSafeComponent(component) || component.back() == L'.' || component.back() == L' ') return false;
  std::wstring base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = static_cast<wchar_t>(std::towupper(c));
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices)
    if (base == device) return false;
  const bool numbered = base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0);
  return !(numbered && base[3] >= L'1' && base[3] <= L'9');
}

}  // namespace cairn
