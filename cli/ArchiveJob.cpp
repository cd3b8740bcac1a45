#include "ArchiveJob.h"

#include <windows.h>

namespace cairn {
namespace cn {

std::wstring AbsolutePath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
  if (n == 0 || n >= full.size()) return path;
  full.resize(n);
  return full;
}

}  // namespace cn
}  // namespace cairn
