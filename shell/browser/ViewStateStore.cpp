#include "ViewStateStore.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdint>
#include <cwchar>
#include <cwctype>

namespace cairn {
namespace browser {
namespace {

// 64-bit FNV-1a over the key's characters, case-folded: parsing names of files are not
// case-sensitive.
uint64_t KeyHash(const std::wstring& key) {
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : key) hash = (hash ^ static_cast<uint16_t>(std::towupper(c))) * 1099511628211ull;
  return hash;
}

std::wstring DefaultDirectory() {
  wchar_t base[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base)))
    return std::wstring();
  return std::wstring(base) + L"\\Cairn\\Browser\\Views";
}

}  // namespace

ViewStateStore::ViewStateStore(std::wstring directory)
    : directory_(directory.empty() ? DefaultDirectory() : std::move(directory)) {}

std::wstring ViewStateStore::PathOf(const std::wstring& key) const {
  wchar_t name[32];
  std::swprintf(name, 32, L"%016llx.bin", static_cast<unsigned long long>(KeyHash(key)));
  return directory_ + L"\\" + name;
}

HRESULT ViewStateStore::Open(const std::wstring& key, DWORD mode, IStream** stream) const {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  if (directory_.empty() || key.empty()) return E_FAIL;
  const DWORD access = mode & (STGM_WRITE | STGM_READWRITE);
  if (access == 0)
    return SHCreateStreamOnFileEx(PathOf(key).c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL,
                                  FALSE, nullptr, stream);
  const int made = SHCreateDirectoryExW(nullptr, directory_.c_str(), nullptr);
  if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS)
    return HRESULT_FROM_WIN32(made);
  // A write replaces what was stored, so a shorter state leaves nothing stale behind it.
  const DWORD create = access == STGM_WRITE ? STGM_CREATE : 0;
  return SHCreateStreamOnFileEx(PathOf(key).c_str(), access | create | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL,
                                TRUE, nullptr, stream);
}

}  // namespace browser
}  // namespace cairn
