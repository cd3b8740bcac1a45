// The self-extracting mark, read through the version service of the system directory: the
// launcher imports nothing that could be loaded from its own folder.
#include "SelfExtracting.h"

#include "DllSearch.h"

namespace cairn {
namespace {

// True when the path of length n ends in the extension (".crn", ".exe"), letters in any case.
bool EndsWith(const wchar_t* path, int n, const wchar_t* extension) {
  return n >= 5 && lstrcmpiW(path + n - 4, extension) == 0;
}

}  // namespace

bool IsSelfExtractingFile(const wchar_t* path) {
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  const auto infoSize = SystemFunction<SizeFn>(L"version.dll", "GetFileVersionInfoSizeW");
  const auto info = SystemFunction<InfoFn>(L"version.dll", "GetFileVersionInfoW");
  const auto query = SystemFunction<QueryFn>(L"version.dll", "VerQueryValueW");
  if (path == nullptr || infoSize == nullptr || info == nullptr || query == nullptr) return false;

  DWORD ignored = 0;
  const DWORD size = infoSize(path, &ignored);
  if (size == 0) return false;
  void* block = HeapAlloc(GetProcessHeap(), 0, size);
  if (block == nullptr) return false;
  wchar_t* text = nullptr;
  UINT length = 0;
  const bool marked = info(path, 0, size, block) &&
                      query(block, L"\\StringFileInfo\\040904b0\\FileDescription", reinterpret_cast<void**>(&text),
                            &length) &&
                      length > 0 && text != nullptr && lstrcmpiW(text, L"" SFX_FILE_DESCRIPTION) == 0;
  HeapFree(GetProcessHeap(), 0, block);
  return marked;
}

bool NamesArchive(const wchar_t* path) {
  const int n = path != nullptr ? lstrlenW(path) : 0;
  return EndsWith(path, n, L".crn") || (EndsWith(path, n, L".exe") && IsSelfExtractingFile(path));
}

}  // namespace cairn
