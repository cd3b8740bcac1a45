#include "PickFiles.h"

#include <cderr.h>
#include <commdlg.h>

#include "AnsiText.h"
#include "ItemNames.h"
#include "Module.h"
#include "ViewResource.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// The box's hook gives it the archive's icon when it opens.
UINT_PTR CALLBACK BoxHook(HWND hook, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return 0;
  HWND box = GetParent(hook);
  for (const auto& [which, metric] : {std::pair<WPARAM, int>{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
    const int size = GetSystemMetrics(metric);
    HANDLE icon = LoadImageW(Module::Instance(), MAKEINTRESOURCEW(IDI_ARCHIVE), IMAGE_ICON, size, size, LR_SHARED);
    if (icon != nullptr) SendMessageW(box, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
  return 0;
}

}  // namespace

std::vector<std::string> PickedPaths(const char* buffer, size_t size) {
  std::vector<std::string> names;
  for (size_t at = 0;;) {
    const char* end = static_cast<const char*>(memchr(buffer + at, 0, size - at));
    if (end == nullptr) return {};
    if (end == buffer + at) break;
    names.emplace_back(buffer + at, end);
    at = static_cast<size_t>(end - buffer) + 1;
    if (at >= size) return {};
  }
  if (names.size() <= 1) return names;
  std::vector<std::string> paths;
  for (size_t i = 1; i < names.size(); ++i) paths.push_back(PathBelow(names.front(), names[i]));
  return paths;
}

PickResult PickFilesToAdd(HWND owner, std::vector<std::string>* paths, size_t bufferCharacters) {
  paths->clear();
  const std::string title = ShellString(IDS_ADD_TITLE);
  const std::string filter = ShellString(IDS_ALL_FILES) + std::string(1, '\0') + "*.*" + std::string(2, '\0');
  std::vector<char> buffer(bufferCharacters < 2 ? 2 : bufferCharacters, 0);
  OPENFILENAMEA box = {};
  box.lStructSize = sizeof box;
  box.hwndOwner = owner;
  box.hInstance = Module::Instance();
  box.lpstrFilter = filter.c_str();
  box.lpstrFile = buffer.data();
  box.nMaxFile = static_cast<DWORD>(buffer.size());
  box.lpstrTitle = title.c_str();
  box.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
              OFN_ENABLEHOOK;
  box.lpfnHook = &BoxHook;
  if (GetOpenFileNameA(&box)) {
    *paths = PickedPaths(buffer.data(), buffer.size());
    if (!paths->empty()) return PickResult::kPicked;
    // Some boxes cut the names short to fit the buffer: the list has no end.
  } else if (CommDlgExtendedError() != FNERR_BUFFERTOOSMALL) {
    return PickResult::kCancelled;
  }
  // What was picked does not fit: saying so beats adding some of it.
  MessageBoxA(owner, ShellString(IDS_TOO_MANY_PICKED).c_str(), title.c_str(), MB_OK | MB_ICONEXCLAMATION);
  return PickResult::kTooMany;
}

}  // namespace shell
}  // namespace cairn
