#include "Installed.h"

#include <windows.h>

namespace cairn {
namespace sfx {

bool IsCairnInstalled() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cairn2000", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  // One byte beyond the 260 the value may hold, so that a value stored without its terminator
  // still ends in one.
  char name[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  const LONG status = RegQueryValueExA(key, "DisplayName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && size != 0 && lstrcmpiA(name, "Cairn 2000 (Remove Only)") != 0;
}

}  // namespace sfx
}  // namespace cairn
