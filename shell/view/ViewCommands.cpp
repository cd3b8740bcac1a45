#include "ViewCommands.h"

#include "AnsiText.h"
#include "resource.h"
#include "ViewResource.h"

namespace cairn {
namespace shell {
namespace {

constexpr size_t kHelpBytes = 600;
constexpr size_t kTipCharacters = 80;

// Lookups take the first row with a command, so the order is part of the table.
constexpr CommandTexts kCommands[] = {
    {ID_UP, IDS_HELP_UP, IDS_TIP_UP},
    {ID_VIEWS, IDS_HELP_VIEWS, IDS_TIP_VIEWS},
    {ID_VIEW_LARGE_ICONS, IDS_HELP_LARGE_ICONS, IDS_TIP_LARGE_ICONS},
    {ID_VIEW_SMALL_ICONS, IDS_HELP_SMALL_ICONS, IDS_TIP_SMALL_ICONS},
    {ID_VIEW_LIST, IDS_HELP_LIST, IDS_TIP_LIST},
    {ID_VIEW_DETAILS, IDS_HELP_DETAILS, IDS_TIP_DETAILS},
    {ID_SORT_ROOT_NAME, IDS_HELP_SORT_NAME, 0},
    {ID_SORT_NAME, IDS_HELP_SORT_NAME, 0},
    {ID_SORT_ROOT_SIZE, IDS_HELP_SORT_SIZE, 0},
    {ID_SORT_SIZE, IDS_HELP_SORT_SIZE, 0},
    {ID_SORT_ROOT_TYPE, IDS_HELP_SORT_TYPE, 0},
    {ID_SORT_TYPE, IDS_HELP_SORT_TYPE, 0},
    {ID_SORT_ROOT_CREATED, IDS_HELP_SORT_DATE, 0},
    {ID_SORT_MODIFIED, IDS_HELP_SORT_DATE, 0},
    {ID_SORT_ROOT_COMMENT, IDS_HELP_SORT_COMMENT, 0},
    {ID_SORT_PATH, IDS_HELP_SORT_LOCATION, 0},
    {ID_SORT_CREATED_IN, IDS_HELP_SORT_CREATED_IN, 0},
    {ID_AUTO_ARRANGE, IDS_HELP_AUTO_ARRANGE, 0},
    {ID_REFRESH, IDS_HELP_REFRESH, IDS_TIP_REFRESH},
    {ID_ARCHIVE_LOG, IDS_HELP_LOG, IDS_TIP_LOG},
    {ID_COPY, IDS_HELP_COPY, IDS_TIP_COPY},
    {ID_PASTE, IDS_HELP_PASTE, IDS_TIP_PASTE},
    {ID_PASTE_SHORTCUT, IDS_HELP_PASTE_SHORTCUT, 0},
    {ID_UNDO, IDS_HELP_UNDO, IDS_TIP_UNDO},
    {ID_OPEN, IDS_HELP_OPEN, IDS_TIP_OPEN},
    {ID_MAKE_SFX, IDS_HELP_MAKE_SFX, IDS_TIP_MAKE_SFX},
    {ID_MAKE_ARCHIVE, IDS_HELP_MAKE_ARCHIVE, IDS_TIP_MAKE_ARCHIVE},
    {ID_RESTORE, IDS_HELP_RESTORE, IDS_TIP_RESTORE},
    {ID_RESTORE_LATEST, IDS_HELP_RESTORE_LATEST, IDS_TIP_RESTORE_LATEST},
    {ID_COMPARE_PREVIOUS, IDS_HELP_COMPARE_PREVIOUS, 0},
    {ID_COMPARE_CURRENT, IDS_HELP_COMPARE_CURRENT, 0},
    {ID_SNAPSHOT, IDS_HELP_SNAPSHOT, IDS_TIP_SNAPSHOT},
    {ID_NEW_ITEM, IDS_HELP_ADD, IDS_TIP_ADD},
    {ID_DELETE, IDS_HELP_DELETE, IDS_TIP_DELETE},
    {ID_PROPERTIES, IDS_HELP_PROPERTIES, IDS_TIP_PROPERTIES},
    {ID_RENAME, IDS_HELP_RENAME, 0},
    {ID_SELECT_ALL, IDS_HELP_SELECT_ALL, 0},
    {ID_INVERT_SELECTION, IDS_HELP_INVERT_SELECTION, 0},
    {ID_LINE_UP, IDS_HELP_LINE_UP, 0},
};

// A string of the table cut to its limit; the cut never splits a double-byte character.
std::string Limited(UINT id, size_t limit) {
  if (id == 0) return std::string();
  std::string text = ShellString(id);
  if (text.size() < limit) return text;
  size_t end = 0;
  for (const char* p = text.c_str(); *p != 0;) {
    const char* next = CharNextA(p);
    const size_t length = static_cast<size_t>(next - text.c_str());
    if (length >= limit || next == p) break;
    end = length;
    p = next;
  }
  text.resize(end);
  return text;
}

}  // namespace

const CommandTexts* FindCommandTexts(UINT command) {
  for (const CommandTexts& row : kCommands)
    if (row.command == command) return &row;
  return nullptr;
}

std::string CommandHelp(UINT command) {
  const CommandTexts* row = FindCommandTexts(command);
  return row != nullptr ? Limited(row->help, kHelpBytes) : std::string();
}

std::string CommandTip(UINT command) {
  const CommandTexts* row = FindCommandTexts(command);
  return row != nullptr ? Limited(row->tip, kTipCharacters) : std::string();
}

}  // namespace shell
}  // namespace cairn
