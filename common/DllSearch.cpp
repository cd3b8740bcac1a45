#include "DllSearch.h"

namespace cairn {
namespace {

// Older headers declare neither the function nor its flag for Windows 7.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

void RestrictDllSearch() {
  // kernel32 is always loaded: looking it up loads nothing.
  auto restrict = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (restrict != nullptr && restrict(kSearchSystem32)) return;
  // Without it (Windows 7 before its update) at least the current directory leaves the search.
  SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  const int nameLength = lstrlenW(name);
  if (n == 0 || n + 1 + nameLength >= MAX_PATH) return nullptr;
  path[n] = L'\\';
  lstrcpyW(path + n + 1, name);
  return LoadLibraryW(path);
}

}  // namespace cairn
