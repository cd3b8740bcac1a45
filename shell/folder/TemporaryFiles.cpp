#include "TemporaryFiles.h"

#include <windows.h>

#include <algorithm>

namespace cairn {
namespace shell {
namespace {

// Folders nest no deeper than this below a kept path.
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

TemporaryFiles::~TemporaryFiles() {
  for (const std::string& path : paths_) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path.c_str())) RemoveTree(path, 0);
  }
}

void TemporaryFiles::Keep(const std::string& path) {
  if (std::find(paths_.begin(), paths_.end(), path) == paths_.end()) paths_.push_back(path);
}

}  // namespace shell
}  // namespace cairn
