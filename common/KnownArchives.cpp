#include "KnownArchives.h"

#include <windows.h>

#include "RegKey.h"

namespace cairn {
namespace {

// A registry value name holds at most 16,383 characters.
constexpr DWORD kMaxValueName = 16384;

bool Gone(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

void RecordKnownArchive(const std::wstring& path) {
  if (path.empty()) return;
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0 || n >= kMaxValueName) return;
  std::wstring full(n, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), n, &full[0], nullptr));
  if (full.empty() || Gone(full)) return;
  RegKey key;
  if (key.Create(HKEY_CURRENT_USER, kKnownArchivesKey) != ERROR_SUCCESS) return;
  RegSetValueExW(key.Get(), full.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(full.c_str()),
                 static_cast<DWORD>((full.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::wstring> KnownArchives() {
  std::vector<std::wstring> archives, gone;
  RegKey key;
  if (key.Open(HKEY_CURRENT_USER, kKnownArchivesKey, KEY_READ | KEY_SET_VALUE) != ERROR_SUCCESS &&
      key.Open(HKEY_CURRENT_USER, kKnownArchivesKey, KEY_READ) != ERROR_SUCCESS)
    return archives;
  std::wstring name(kMaxValueName, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = kMaxValueName;
    const LSTATUS status = RegEnumValueW(key.Get(), index, &name[0], &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    const std::wstring path(name.c_str(), length);
    (Gone(path) ? gone : archives).push_back(path);
  }
  // Pruned after the walk, which removing values would upset.
  for (const std::wstring& path : gone) RegDeleteValueW(key.Get(), path.c_str());
  return archives;
}

}  // namespace cairn
