#include "DeleteConfirmation.h"

#include <cstdio>

#include "AnsiText.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// A confirmation text: one with the item's name for each "%s", or several with their count.
std::string ConfirmationText(UINT format, const std::string& name, int count) {
  char text[1200];
  if (count == 1)
    std::snprintf(text, sizeof text, ShellString(format).c_str(), name.c_str(), name.c_str());
  else
    std::snprintf(text, sizeof text, ShellString(format).c_str(), count);
  return text;
}

}  // namespace

bool ConfirmDelete(HWND owner, bool atRoot, const std::vector<std::string>& storedNames) {
  const int count = static_cast<int>(storedNames.size());
  const std::string caption = ShellString(atRoot ? IDS_CONFIRM_SNAPSHOT_DELETE : IDS_CONFIRM_ITEM_DELETE);
  const UINT format = count == 1 ? (atRoot ? IDS_DELETE_SNAPSHOT_TEXT : IDS_DELETE_ITEM_TEXT)
                                 : (atRoot ? IDS_DELETE_SNAPSHOTS_TEXT : IDS_DELETE_ITEMS_TEXT);
  const std::string text = ConfirmationText(format, storedNames.empty() ? std::string() : storedNames.front(), count);
  return MessageBoxA(owner, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

}  // namespace shell
}  // namespace cairn
