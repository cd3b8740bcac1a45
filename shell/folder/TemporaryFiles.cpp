#include "TemporaryFiles.h"

#include <windows.h>

namespace cairn {
namespace shell {
namespace {

// Folders nest no deeper than this below a temporary file's path.
constexpr int kMaxTreeDepth = 128;

void RemoveTree(const std::string& path, int depth) {
  if (depth > kMaxTreeDepth) return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*.*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child, depth + 1);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace

void RemoveFolderTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) RemoveTree(path, 0);
}

void TemporaryFileTraits::Free(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileA(path.c_str())) RemoveTree(path, 0);
}

}  // namespace shell
}  // namespace cairn
