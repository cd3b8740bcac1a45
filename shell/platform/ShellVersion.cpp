#include "ShellVersion.h"

#include <windows.h>
#include <shlwapi.h>

namespace cairn {
namespace shell {

bool ComponentVersion(const char* library, unsigned* major, unsigned* minor) {
  HMODULE module = LoadLibraryA(library);
  if (module == nullptr) return false;
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetVersion")));
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  const bool ok = getVersion != nullptr && SUCCEEDED(getVersion(&info));
  if (ok) {
    *major = info.dwMajorVersion;
    *minor = info.dwMinorVersion;
  }
  FreeLibrary(module);
  return ok;
}

bool PlainShell() {
  static const bool plain = [] {
    unsigned major = 4, minor = 0;
    ComponentVersion("shell32.dll", &major, &minor);
    return major == 4 && minor == 0;
  }();
  return plain;
}

bool IntegratedShellWithNewControls() {
  static const bool integrated = [] {
    unsigned shellMajor = 0, shellMinor = 0, controlsMajor = 0, controlsMinor = 0;
    return ComponentVersion("shell32.dll", &shellMajor, &shellMinor) && shellMajor == 4 && shellMinor == 72 &&
           ComponentVersion("comctl32.dll", &controlsMajor, &controlsMinor) && controlsMajor == 5 &&
           controlsMinor >= 80;
  }();
  return integrated;
}

}  // namespace shell
}  // namespace cairn
