// Shared by the launcher's tests: paths beside the test program, and files as byte strings.
#pragma once

#include <windows.h>

#include <string>

#include "TempDir.h"

namespace cairn {
namespace sfx {
namespace testing {

using cairn::testing::ReadFileBytes;
using cairn::testing::TempDir;
using cairn::testing::WriteFileBytes;

inline std::wstring Wide(const std::string& utf8) {
  std::wstring out(utf8.size(), L'\0');
  out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0],
                                                     static_cast<int>(out.size()))));
  return out;
}

inline std::string Utf8(const std::wstring& wide) {
  std::string out(wide.size() * 3, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0],
                                                     static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

// A program built beside the test program (sfxstub.exe, fake_installer.exe).
inline std::wstring BesideTests(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L'\\') + 1) + name;
}

// Sets the uninstall entry's "DisplayName" for the scope of a test (bytes as stored, type REG_SZ;
// null: a key without the value), and removes the key afterwards.
class UninstallEntry {
 public:
  static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cairn2000";
  explicit UninstallEntry(const std::string* displayName) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
    if (displayName != nullptr)
      RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(displayName->data()),
                     static_cast<DWORD>(displayName->size()));
    RegCloseKey(key);
  }
  ~UninstallEntry() { Remove(); }
  UninstallEntry(const UninstallEntry&) = delete;
  UninstallEntry& operator=(const UninstallEntry&) = delete;
  static void Remove() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey); }
};

inline bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace testing
}  // namespace sfx
}  // namespace cairn
