// A file that cannot be opened for writing while its owner lives, for tests of what is done
// with an archive that cannot be written.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {
namespace testing {

// Whether the file can be opened for writing now.
inline bool Writable(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// Makes a file that cannot be opened for writing, and writable again when it goes. The read-only
// attribute is enough on Windows; Wine run by root lets writers in all the same, so there the
// file is made immutable by the host's chattr (which Wine starts without a handle to wait on: the
// outcome is watched for instead). Read-only afterwards, unless the file system cannot do it.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::wstring& path) : path_(path) {
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    if (Writable(path_)) Immutable(true);
  }
  ~ReadOnlyFile() {
    if (immutable_) Immutable(false);
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  bool ReadOnly() const { return !Writable(path_); }

 private:
  void Immutable(bool on) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = unixName != nullptr ? unixName(path_.c_str()) : nullptr;
    if (name == nullptr) return;
    std::string command = std::string("Z:\\usr\\bin\\chattr ") + (on ? "+i " : "-i ") + name;
    HeapFree(GetProcessHeap(), 0, name);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    immutable_ = true;
    for (int i = 0; i < 250 && Writable(path_) == on; ++i) Sleep(20);
  }

  std::wstring path_;
  bool immutable_ = false;
};

}  // namespace testing
}  // namespace cairn
