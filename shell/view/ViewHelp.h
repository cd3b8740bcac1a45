// The archive view's help: the help texts of commands in the browser's status bar while a menu
// item is highlighted or a toolbar button pressed, tooltips, and the help file.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

namespace cairn {
namespace shell {

// WM_MENUSELECT: the highlighted command's help text in the status bar, in simple mode; the end
// of the menu leaves simple mode.
void ShowMenuHelp(IShellBrowser* browser, WPARAM wParam, LPARAM lParam);
// The command's help text in the status bar in simple mode (a button pressed), or simple mode
// left again (the button released).
void ShowCommandHelp(IShellBrowser* browser, UINT command);
void EndCommandHelp(IShellBrowser* browser);
// TTN_NEEDTEXTA and TTN_NEEDTEXTW: the command's tooltip; false when it has none.
bool FillToolTip(NMHDR* header);
// Opens the help file in its window type, or says that help needs the HTML help control. Under
// Wine the help file's pages, installed beside it, open in the user's browser instead, and the
// message says that help cannot be shown where they are missing.
void OpenHelp(HWND owner);

}  // namespace shell
}  // namespace cairn
