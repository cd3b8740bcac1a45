// benchread FOLDER: opens, reads (ReadFile, 64 KB at a time) and closes every file below FOLDER,
// then prints the number of files and bytes. Run under Wine, its time is the floor of any
// program there that reads every file of a tree, as a snapshot that compares contents does.
// Exit code 0 on success, 1 on failure (with a message on stderr).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Totals {
  unsigned long long files = 0;
  unsigned long long bytes = 0;
};

bool ReadTree(const std::wstring& folder, std::vector<char>& buffer, Totals* totals) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = ReadTree(path, buffer, totals) && ok;
      continue;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "benchread: cannot open %ls (%lu)\n", path.c_str(), GetLastError());
      ok = false;
      continue;
    }
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read != 0)
      totals->bytes += read;
    CloseHandle(file);
    ++totals->files;
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: benchread FOLDER\n");
    return 1;
  }
  std::vector<char> buffer(64 * 1024);
  Totals totals;
  const bool ok = ReadTree(argv[1], buffer, &totals);
  std::printf("%llu files, %llu bytes\n", totals.files, totals.bytes);
  return ok ? 0 : 1;
}
