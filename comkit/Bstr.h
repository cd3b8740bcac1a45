// The owner of a BSTR: freed when the owner goes.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "Owner.h"

namespace cairn {

struct BstrTraits : EmptyWhenNull<BSTR> {
  static void Free(BSTR text) { SysFreeString(text); }
};

class Bstr : public Owner<BstrTraits> {
 public:
  Bstr() = default;
  // A copy of text; null (as when out of memory) for a null text.
  explicit Bstr(const wchar_t* text) : Owner(text != nullptr ? SysAllocString(text) : nullptr) {}
  // A copy of text, embedded nulls included.
  explicit Bstr(const std::wstring& text) : Owner(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

  // Takes over a string the caller owns.
  static Bstr Adopt(BSTR text) {
    Bstr owner;
    owner.Reset(text);
    return owner;
  }
  UINT Length() const { return SysStringLen(Get()); }
  // The text, embedded nulls included; empty for a null string.
  std::wstring Text() const { return Get() != nullptr ? std::wstring(Get(), Length()) : std::wstring(); }
};

}  // namespace cairn
