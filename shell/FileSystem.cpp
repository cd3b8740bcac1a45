#include "FileSystem.h"

#include <windows.h>

namespace cairn {
namespace shell {
namespace {

// Folders nest no deeper than this below what RemoveFolderTree is given.
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

bool MakeFolderChain(const std::string& path) {
  if (path.size() < 3) return true;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  const size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos && !MakeFolderChain(path.substr(0, slash))) return false;
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

std::string FolderPart(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void RemoveFolderTree(const std::string& path) { RemoveTree(path, 0); }

}  // namespace shell
}  // namespace cairn
