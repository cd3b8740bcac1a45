// Text helpers of the extension, which works in ANSI (the system code page) as the archive does;
// the engine's interfaces and the shell's take wide text.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace cairn {
namespace shell {

std::wstring FromAnsi(const std::string& text);
std::string ToAnsi(const wchar_t* text);
// A BSTR of ANSI text; null when out of memory.
BSTR AnsiToBstr(const std::string& text);

// A BSTR owned for the scope (null until set).
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::string& text) : text_(AnsiToBstr(text)) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return text_; }
  // The text in ANSI, empty for a null BSTR.
  std::string Ansi() const { return text_ ? ToAnsi(std::wstring(text_, SysStringLen(text_)).c_str()) : std::string(); }
  BSTR* Out() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }

 private:
  BSTR text_ = nullptr;
};

}  // namespace shell
}  // namespace cairn
