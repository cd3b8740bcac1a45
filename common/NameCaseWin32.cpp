// Names compared as the engine compares them: by the system's locale, letter case ignored.
#include <windows.h>

#include "StoredNames.h"

namespace cairn {

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

}  // namespace cairn
