// Text as cn receives it (UTF-16 from the system, UTF-8 inside) and as it writes it to the
// console (the system's ANSI code page), and the BSTRs it exchanges with the engine.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace cairn {
namespace cn {

std::string Utf8(const wchar_t* text);
std::wstring Wide(const std::string& utf8);

// Text for the console, which shows the system's code page.
std::string Console(const std::string& utf8);
std::string Console(const wchar_t* text);

// A time stamp as listings show it: local time, the user's short date, a space, and the user's
// time format without seconds. Empty when the time cannot be converted.
std::string LocalDateTime(const FILETIME& time);

// A BSTR owned for the scope (null until set).
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return text_; }
  // The text, empty for a null BSTR.
  std::wstring Text() const { return text_ ? std::wstring(text_, SysStringLen(text_)) : std::wstring(); }
  // For out-parameters: frees what is held and returns the slot to fill.
  BSTR* Out() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }

 private:
  BSTR text_ = nullptr;
};

}  // namespace cn
}  // namespace cairn
