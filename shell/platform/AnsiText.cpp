#include "AnsiText.h"

#include <objbase.h>

#include <cstring>

#include "Module.h"

namespace cairn {
namespace shell {

std::wstring FromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string ToAnsi(const wchar_t* text) {
  if (text == nullptr || *text == 0) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

Bstr AnsiBstr(const std::string& text) { return Bstr(FromAnsi(text)); }

std::string BstrAnsi(BSTR text) {
  return text != nullptr ? ToAnsi(std::wstring(text, SysStringLen(text)).c_str()) : std::string();
}

HRESULT WideStrRet(std::wstring text, size_t maxBytes, STRRET* result) {
  const size_t maxChars = maxBytes / sizeof(wchar_t);
  if (text.size() >= maxChars) text.resize(maxChars - 1);
  auto* buffer = static_cast<wchar_t*>(CoTaskMemAlloc(maxBytes));
  if (buffer == nullptr) return E_OUTOFMEMORY;
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  result->uType = STRRET_WSTR;
  result->pOleStr = buffer;
  return S_OK;
}

std::string ShellString(UINT id) { return ToAnsi(Module::String(id).c_str()); }

}  // namespace shell
}  // namespace cairn
