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

bool IsElementName(const std::wstring& component) {
  if (component.empty() || component.size() > kMaxElementNameLength) return false;
  return component.find_first_of(L"\\/:!") == std::wstring::npos;
}

bool IsAbsoluteStoredName(const std::wstring& storedName) {
  const auto letter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
  if (storedName.size() >= 2 && letter(storedName[0]) && storedName[1] == L':')
    return storedName.size() == 2 || storedName[2] == L'\\';
  // A server's name follows the two backslashes; "." and "?" open the device namespace instead.
  if (storedName.size() < 3 || storedName[0] != L'\\' || storedName[1] != L'\\') return false;
  const size_t end = storedName.find(L'\\', 2);
  const std::wstring server = storedName.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
  return !server.empty() && server != L"." && server != L"?";
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
