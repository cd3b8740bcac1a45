// sfxstub: the launcher at the front of a self-extracting archive. Run with a path, it converts
// between a plain archive and a self-extracting one; run without, it opens its own archive.
#include <windows.h>

#include "Conversion.h"
#include "DllSearch.h"
#include "Messages.h"
#include "OpenSelf.h"
#include "resource.h"

namespace cairn {
namespace sfx {
namespace {

// The whole command line is the path, quotes and all.
void ConvertPath(HINSTANCE instance, const wchar_t* path) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (Convert(path, n > 0 && n < MAX_PATH ? self : nullptr) == Conversion::kArchiveKept)
    ShowMessage(instance, IDS_ARCHIVE_KEPT, IDS_WARNING, MB_ICONWARNING);
}

}  // namespace
}  // namespace sfx
}  // namespace cairn

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  // Before anything can load a DLL.
  cairn::RestrictDllSearch();
  if (commandLine != nullptr && *commandLine != 0)
    cairn::sfx::ConvertPath(instance, commandLine);
  else
    cairn::sfx::OpenSelf(instance);
  return 0;
}
