#include "StoredText.h"

namespace cairn {
namespace shell {

std::wstring StoredText::Wide(std::string_view stored) const {
  if (stored.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CodePage(), 0, stored.data(), static_cast<int>(stored.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CodePage(), 0, stored.data(), static_cast<int>(stored.size()), &out[0], n);
  return out;
}

std::string StoredText::Stored(const wchar_t* wide) const {
  if (wide == nullptr || *wide == 0) return std::string();
  const int n = WideCharToMultiByte(CodePage(), 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CodePage(), 0, wide, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string StoredText::FromBstr(BSTR text) const {
  return text != nullptr ? Stored(std::wstring(text, SysStringLen(text))) : std::string();
}

}  // namespace shell
}  // namespace cairn
