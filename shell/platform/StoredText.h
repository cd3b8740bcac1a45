// How an archive keeps its names: in the system code page, or in UTF-8 (the archive option 0x40).
// The extension holds stored names in the archive's own encoding, in its items and in its
// operations, and converts them only where they meet wide text: the engine's interfaces, the
// shell and the file system.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "Bstr.h"

namespace cairn {
namespace shell {

// The archive option bit of names in UTF-8.
constexpr long kOptionUtf8Names = 0x40;

class StoredText {
 public:
  StoredText() = default;
  explicit StoredText(bool utf8) : utf8_(utf8) {}

  bool Utf8() const { return utf8_; }
  std::wstring Wide(std::string_view stored) const;
  // In the code page, a character it cannot hold becomes its stand-in, as ToAnsi makes it.
  std::string Stored(const wchar_t* wide) const;
  std::string Stored(const std::wstring& wide) const { return Stored(wide.c_str()); }
  // An owned BSTR of the stored name, null when out of memory; and a BSTR's text as stored, empty
  // for a null BSTR.
  Bstr ToBstr(std::string_view stored) const { return Bstr(Wide(stored)); }
  std::string FromBstr(BSTR text) const;

  bool operator==(const StoredText& other) const { return utf8_ == other.utf8_; }

 private:
  UINT CodePage() const { return utf8_ ? CP_UTF8 : CP_ACP; }
  bool utf8_ = false;
};

}  // namespace shell
}  // namespace cairn
