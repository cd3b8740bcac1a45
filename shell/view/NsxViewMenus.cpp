// The archive view's menus and toolbar: the states of merged and context menus, the context
// menus and the Views drop-down, and the view's buttons in the browser's toolbar.
#include "NsxViewDlg.h"

#include <string>
#include <vector>

#include "Module.h"
#include "ShellVersion.h"
#include "UserObjects.h"
#include "ViewCommands.h"
#include "ViewResource.h"

namespace cairn {
namespace shell {

void CNsxViewDlg::OnInitMenuPopup(HMENU popup) {
  HMENU bar = host_->MergedMenu();
  for (int i = 0; bar != nullptr && i < GetMenuItemCount(bar); ++i) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_SUBMENU;
    if (!GetMenuItemInfoW(bar, static_cast<UINT>(i), TRUE, &info) || info.hSubMenu != popup) continue;
    if (info.wID == FCIDM_MENU_FILE) ApplyMenuStates(popup, 1);
    if (info.wID == FCIDM_MENU_EDIT) ApplyMenuStates(popup, 2);
    if (info.wID == FCIDM_MENU_VIEW) ApplyMenuStates(popup, 4);
  }
}

void CNsxViewDlg::ApplyMenuStates(HMENU menu, int rules) {
  auto enable = [menu](UINT command, bool on) {
    EnableMenuItem(menu, command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  };
  if (rules & 1) {
    for (UINT command : {ID_OPEN, ID_RESTORE, ID_SNAPSHOT, ID_NEW_ITEM, ID_DELETE, ID_RENAME}) enable(command, Enabled(command));
    enable(ID_PROPERTIES, true);
  }
  if (rules & 2) {
    enable(ID_UNDO, false);
    enable(ID_PASTE_SHORTCUT, false);
    enable(ID_COPY, Enabled(ID_COPY));
    enable(ID_PASTE, Enabled(ID_PASTE));
    enable(ID_SELECT_ALL, true);
    enable(ID_INVERT_SELECTION, true);
  }
  if (rules & 4) {
    CheckMenuRadioItem(menu, ID_VIEW_LARGE_ICONS, ID_VIEW_DETAILS, ID_VIEW_LARGE_ICONS + ViewMode() - FVM_ICON,
                       MF_BYCOMMAND);
    const bool root = host_->Level().AtRoot();
    const UINT first = root ? ID_SORT_ROOT_NAME : ID_SORT_NAME, last = root ? ID_SORT_ROOT_COMMENT : ID_SORT_CREATED_IN;
    const int column = sortColumn_ < 0 ? -sortColumn_ : sortColumn_;
    for (UINT command = first; command <= last; ++command)
      CheckMenuItem(menu, command, MF_BYCOMMAND | (static_cast<int>(command - first + 1) == column ? MF_CHECKED : MF_UNCHECKED));
    enable(ID_LINE_UP, false);
  }
}

namespace {

// Separators at either end, and the second of two in a row, go.
void RemoveExtraSeparators(HMENU menu) {
  bool previousIsSeparator = true;  // a separator at the start goes
  for (int i = 0; i < GetMenuItemCount(menu);) {
    const bool separator = (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0;
    if (separator && previousIsSeparator) {
      RemoveMenu(menu, static_cast<UINT>(i), MF_BYPOSITION);
      continue;
    }
    previousIsSeparator = separator;
    ++i;
  }
  const int count = GetMenuItemCount(menu);
  if (count > 0 && (GetMenuState(menu, static_cast<UINT>(count - 1), MF_BYPOSITION) & MF_SEPARATOR))
    RemoveMenu(menu, static_cast<UINT>(count - 1), MF_BYPOSITION);
}

// True when the system's small view bitmap holds the view-menu image. Some systems ship fewer
// images; a private toolbar shows how many, as the index the next bitmap gets.
bool SystemHasViewMenuImage(HWND parent) {
  static const bool has = [parent] {
    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD, 0, 0, 0, 0, parent, nullptr, nullptr, nullptr);
    if (toolbar == nullptr) return true;
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBADDBITMAP bitmap = {HINST_COMMCTRL, IDB_VIEW_SMALL_COLOR};
    const LRESULT views = SendMessageA(toolbar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap));
    bitmap.nID = IDB_STD_SMALL_COLOR;
    const LRESULT next = SendMessageA(toolbar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap));
    DestroyWindow(toolbar);
    return views < 0 || next < 0 || next - views > VIEW_VIEWMENU;
  }();
  return has;
}

}  // namespace

void CNsxViewDlg::ShowContextMenu(int x, int y) {
  const bool selection = !Items(true).empty();
  const UINT id = selection ? IDM_ITEM_CONTEXT : (host_->Level().AtRoot() ? IDM_BACKGROUND_ROOT : IDM_BACKGROUND_INSIDE);
  Menu menu(LoadMenuA(Module::Instance(), MAKEINTRESOURCEA(id)));
  HMENU popup = menu ? GetSubMenu(menu.Get(), 0) : nullptr;
  if (popup == nullptr) return;
  if (selection) SetMenuDefaultItem(popup, ID_RESTORE, FALSE);
  // The compare verbs are for one stored file only.
  if (selection && !Enabled(ID_COMPARE_PREVIOUS)) {
    DeleteMenu(popup, ID_COMPARE_PREVIOUS, MF_BYCOMMAND);
    DeleteMenu(popup, ID_COMPARE_CURRENT, MF_BYCOMMAND);
  }
  ApplyMenuStates(popup, selection ? 1 | 2 : 1 | 2 | 4);
  RemoveExtraSeparators(popup);
  if (x == -1 && y == -1) {
    // From the keyboard: at the focused item, or at the list's corner.
    RECT rect = {};
    const int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    if (focused < 0 || !ListView_GetItemRect(list_, focused, &rect, LVIR_ICON)) GetClientRect(list_, &rect);
    POINT point = {rect.left, rect.bottom};
    ClientToScreen(list_, &point);
    x = point.x;
    y = point.y;
  }
  const UINT command = static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, dialog_, nullptr));
  menu.Reset();
  if (command != 0) OnCommand(command, 0, nullptr);
}

void CNsxViewDlg::ShowViewsMenu(NMTOOLBARA* button) {
  Menu menu(LoadMenuA(Module::Instance(), MAKEINTRESOURCEA(IDM_VIEWS_DROPDOWN)));
  HMENU popup = menu ? GetSubMenu(menu.Get(), 0) : nullptr;
  if (popup == nullptr) return;
  CheckMenuRadioItem(popup, ID_VIEW_LARGE_ICONS, ID_VIEW_DETAILS, ID_VIEW_LARGE_ICONS + ViewMode() - FVM_ICON,
                     MF_BYCOMMAND);
  RECT rect = button->rcButton;
  MapWindowPoints(button->hdr.hwndFrom, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  TPMPARAMS excluded = {sizeof excluded, rect};
  const UINT command = static_cast<UINT>(TrackPopupMenuEx(popup, TPM_RETURNCMD | TPM_VERTICAL | TPM_LEFTALIGN,
                                                          rect.left, rect.bottom, dialog_, &excluded));
  menu.Reset();
  if (command != 0) OnCommand(command, 0, nullptr);
}

void CNsxViewDlg::SetUpToolbar() {
  IShellBrowser* browser = host_->Browser();
  if (browser == nullptr) return;
  LRESULT standard = 0, views = 0, own = 0, count = 0;
  if (FAILED(browser->SendControlMsg(FCW_TOOLBAR, TB_BUTTONCOUNT, 0, 0, &count))) return;  // no toolbar
  const bool plain = PlainShell();
  // A toolbar that already holds ten buttons is left as it is: no pictures or texts added either.
  if (!plain && count >= 10) return;
  TBADDBITMAP bitmap = {HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap), &standard);
  bitmap.nID = IDB_VIEW_SMALL_COLOR;
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap), &views);
  TBADDBITMAP ownBitmap = {Module::Instance(), IDB_VIEW_TOOLBAR};
  // Its images: the snapshot button, and the Views button for systems without one.
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 2, reinterpret_cast<LPARAM>(&ownBitmap), &own);

  struct Button {
    int image;
    UINT command;  // 0: a separator
  };
  const int s = static_cast<int>(standard), v = static_cast<int>(views);
  std::vector<Button> buttons = {{static_cast<int>(own), ID_SNAPSHOT}, {-1, 0},
                                 {s + STD_COPY, ID_COPY},              {s + STD_PASTE, ID_PASTE},
                                 {-1, 0},                              {s + STD_UNDO, ID_UNDO},
                                 {-1, 0},                              {s + STD_DELETE, ID_DELETE},
                                 {s + STD_PROPERTIES, ID_PROPERTIES},  {-1, 0}};
  if (plain) {
    buttons.push_back({v + VIEW_LARGEICONS, ID_VIEW_LARGE_ICONS});
    buttons.push_back({v + VIEW_SMALLICONS, ID_VIEW_SMALL_ICONS});
    buttons.push_back({v + VIEW_LIST, ID_VIEW_LIST});
    buttons.push_back({v + VIEW_DETAILS, ID_VIEW_DETAILS});
  } else {
    buttons.push_back({SystemHasViewMenuImage(dialog_) ? v + VIEW_VIEWMENU : static_cast<int>(own) + 1, ID_VIEWS});
  }
  std::vector<TBBUTTON> entries;
  for (const Button& button : buttons) {
    TBBUTTON entry = {};
    entry.iBitmap = button.command == 0 ? 0 : button.image;
    entry.idCommand = static_cast<int>(button.command);
    entry.fsState = TBSTATE_ENABLED;
    entry.fsStyle = button.command == 0 ? BTNS_SEP : (button.command == ID_VIEWS ? BTNS_DROPDOWN : BTNS_BUTTON);
    entry.iString = -1;
    // The old shell's buttons carry no text; on newer ones each button's text (its tooltip
    // string) becomes one string of the toolbar (doubly terminated).
    std::string text = plain || button.command == 0 ? std::string() : CommandTip(button.command);
    if (!text.empty()) {
      text.push_back('\0');
      LRESULT index = -1;
      browser->SendControlMsg(FCW_TOOLBAR, TB_ADDSTRINGA, 0, reinterpret_cast<LPARAM>(text.c_str()), &index);
      entry.iString = index;
    }
    entries.push_back(entry);
  }
  if (plain) {
    browser->SetToolbarItems(entries.data(), static_cast<UINT>(entries.size()), FCT_MERGE);
    return;
  }
  if (count > 0 && !IntegratedShellWithNewControls()) {
    TBBUTTON separator = {};
    separator.fsStyle = BTNS_SEP;
    browser->SendControlMsg(FCW_TOOLBAR, TB_DELETEBUTTON, count - 1, 0, nullptr);
    browser->SendControlMsg(FCW_TOOLBAR, TB_INSERTBUTTONA, count - 1, reinterpret_cast<LPARAM>(&separator), nullptr);
  }
  TBBUTTON up = {};
  up.iBitmap = v + VIEW_PARENTFOLDER;
  up.idCommand = ID_UP;
  up.fsState = TBSTATE_ENABLED;
  up.fsStyle = BTNS_BUTTON;
  std::string upText = CommandTip(ID_UP);
  upText.push_back('\0');
  LRESULT upIndex = -1;
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDSTRINGA, 0, reinterpret_cast<LPARAM>(upText.c_str()), &upIndex);
  up.iString = upIndex;
  browser->SendControlMsg(FCW_TOOLBAR, TB_INSERTBUTTONA, 2, reinterpret_cast<LPARAM>(&up), nullptr);
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDBUTTONSA, entries.size(), reinterpret_cast<LPARAM>(entries.data()), nullptr);
}

}  // namespace shell
}  // namespace cairn
