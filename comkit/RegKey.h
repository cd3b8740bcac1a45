// The owner of an open registry key: closed when the owner goes.
#pragma once

#include <windows.h>

#include "Owner.h"

namespace cairn {

struct RegKeyTraits : EmptyWhenNull<HKEY> {
  static void Free(HKEY key) { RegCloseKey(key); }
};

class RegKey : public Owner<RegKeyTraits> {
 public:
  // Opens root\path with the given access; the status of the call.
  LSTATUS Open(HKEY root, const wchar_t* path, REGSAM access) { return RegOpenKeyExW(root, path, 0, access, Out()); }
  // Creates (or opens) root\path for reading and writing.
  LSTATUS Create(HKEY root, const wchar_t* path) {
    return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, Out(),
                           nullptr);
  }
};

}  // namespace cairn
