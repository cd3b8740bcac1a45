// The owner of a SAFEARRAY, and the one-dimensional arrays of BSTRs in which the engine takes its
// lists of paths.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "Owner.h"

namespace cairn {

struct SafeArrayTraits : EmptyWhenNull<SAFEARRAY*> {
  static void Free(SAFEARRAY* array) { SafeArrayDestroy(array); }
};

using SafeArray = Owner<SafeArrayTraits>;

// A one-dimensional array of BSTRs (lower bound 0) holding copies of the texts; empty when out of
// memory.
inline SafeArray BstrArray(const std::vector<std::wstring>& texts) {
  SafeArray array(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size())));
  for (LONG i = 0; array && i < static_cast<LONG>(texts.size()); ++i) {
    const std::wstring& text = texts[static_cast<size_t>(i)];
    BSTR element = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    SafeArrayPutElement(array.Get(), &i, element);  // the array keeps its own copy
    SysFreeString(element);
  }
  return array;
}

}  // namespace cairn
