// Stands in for the two programs a self-extracting archive starts, so that tests can follow it:
// - named cairn-setup.exe, it is the downloaded installer: it writes the uninstall entry that
//   marks the system as installed, and ends;
// - otherwise it is the archive class's open command, registered by the test as
//   "fake_installer.exe" RECORD_FILE <arguments>: it writes the arguments to RECORD_FILE.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

// Takes one argument, quoted or not, off the front of a command line.
std::wstring Next(const wchar_t*& at) {
  while (*at == L' ') ++at;
  const wchar_t end = *at == L'"' ? L'"' : L' ';
  at += end == L'"';
  const wchar_t* start = at;
  while (*at != 0 && *at != end) ++at;
  std::wstring argument(start, at);
  at += *at == L'"';
  while (*at == L' ') ++at;
  return argument;
}

int Install() {
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cairn2000", 0,
                      nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return 1;
  const wchar_t name[] = L"Cairn 2000";
  RegSetValueExW(key, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
  RegCloseKey(key);
  return 0;
}

int Record(const wchar_t* arguments) {
  const std::wstring record = Next(arguments);
  HANDLE file = CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, arguments, static_cast<DWORD>(wcslen(arguments) * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
  return 0;
}

}  // namespace

int main() {
  const wchar_t* arguments = GetCommandLineW();
  const std::wstring self = Next(arguments);
  const size_t slash = self.find_last_of(L"\\/");
  const std::wstring name = slash == std::wstring::npos ? self : self.substr(slash + 1);
  return _wcsicmp(name.c_str(), L"cairn-setup.exe") == 0 ? Install() : Record(arguments);
}
