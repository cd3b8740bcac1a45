#include "Installed.h"

#include <windows.h>

#include "RegKey.h"

namespace cairn {
namespace sfx {

bool IsCairnInstalled() {
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cairn2000", KEY_READ) !=
      ERROR_SUCCESS)
    return false;
  // One byte beyond the 260 the value may hold, so that a value stored without its terminator
  // still ends in one.
  char name[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  const LONG status =
      RegQueryValueExA(key.Get(), "DisplayName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size);
  return status == ERROR_SUCCESS && size != 0 && lstrcmpiA(name, "Cairn 2000 (Remove Only)") != 0;
}

}  // namespace sfx
}  // namespace cairn
