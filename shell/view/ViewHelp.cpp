#include "ViewHelp.h"

#include <htmlhelp.h>
#include <shellapi.h>

#include <string>

#include "AnsiText.h"
#include "ViewCommands.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// The status bar's own simple-mode part.
constexpr WPARAM kSimplePart = 255 | SBT_NOBORDERS;

void SimpleStatus(IShellBrowser* browser, bool simple, const std::string& text) {
  if (browser == nullptr) return;
  LRESULT result = 0;
  browser->SendControlMsg(FCW_STATUS, SB_SIMPLE, simple, 0, &result);
  if (simple)
    browser->SendControlMsg(FCW_STATUS, SB_SETTEXTA, kSimplePart, reinterpret_cast<LPARAM>(text.c_str()), &result);
}

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

// Looked up once per process; null when the control is missing.
HtmlHelpFunction HtmlHelpEntry() {
  static const HtmlHelpFunction entry = [] {
    HMODULE control = LoadLibraryA("HHCTRL.OCX");
    return control != nullptr
               ? reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(control, "HtmlHelpA")))
               : nullptr;
  }();
  return entry;
}

// HtmlHelpA reads the window type's texts as ANSI, whatever the header's character type.
LPCTSTR Ansi(const std::string& text) { return reinterpret_cast<LPCTSTR>(text.c_str()); }

std::string WindowsFolder() {
  char windows[MAX_PATH] = "";
  const UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(windows) : std::string();
}

// Wine's ntdll has an export of its own; Windows' has none.
bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine's help viewer shows nothing without an HTML engine: the help file's pages, installed
// beside it, go to the user's browser through the shell instead. False when they cannot.
bool OpenHelpPages(HWND owner, const std::string& windows) {
  const std::string overview = windows + "\\Help\\CN_Help\\Overview.htm";
  if (windows.empty() || GetFileAttributesA(overview.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  return reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", overview.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

void NoHelp(HWND owner) {
  MessageBoxA(owner, ShellString(IDS_NO_HELP_TEXT).c_str(), ShellString(IDS_NO_HELP).c_str(), MB_ICONEXCLAMATION);
}

}  // namespace

void ShowMenuHelp(IShellBrowser* browser, WPARAM wParam, LPARAM lParam) {
  const UINT item = LOWORD(wParam), flags = HIWORD(wParam);
  if (flags == 0xFFFF && lParam == 0) return SimpleStatus(browser, false, std::string());
  // A popup is named by its position and a separator by nothing: neither is a command.
  const bool command = (flags & (MF_POPUP | MF_SEPARATOR)) == 0;
  SimpleStatus(browser, true, command ? CommandHelp(item) : std::string());
}

void ShowCommandHelp(IShellBrowser* browser, UINT command) { SimpleStatus(browser, true, CommandHelp(command)); }

void EndCommandHelp(IShellBrowser* browser) { SimpleStatus(browser, false, std::string()); }

bool FillToolTip(NMHDR* header) {
  const bool ansi = header->code == TTN_NEEDTEXTA;
  // A tool named by its window (the list view's own tips) is no command.
  const UINT flags = ansi ? reinterpret_cast<NMTTDISPINFOA*>(header)->uFlags : reinterpret_cast<NMTTDISPINFOW*>(header)->uFlags;
  if (flags & TTF_IDISHWND) return false;
  const std::string tip = CommandTip(static_cast<UINT>(header->idFrom));
  if (tip.empty()) return false;
  if (ansi) {
    auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
    lstrcpynA(info->szText, tip.c_str(), ARRAYSIZE(info->szText));
    info->lpszText = info->szText;
    info->hinst = nullptr;
  } else {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    lstrcpynW(info->szText, FromAnsi(tip).c_str(), ARRAYSIZE(info->szText));
    info->lpszText = info->szText;
    info->hinst = nullptr;
  }
  return true;
}

void OpenHelp(HWND owner) {
  const std::string windows = WindowsFolder();
  if (UnderWine()) {
    if (!OpenHelpPages(owner, windows)) NoHelp(owner);
    return;
  }
  HtmlHelpFunction htmlHelp = HtmlHelpEntry();
  if (htmlHelp == nullptr) return NoHelp(owner);
  if (windows.empty()) return;
  const std::string file = windows + "\\Help\\CN_Help.chm";
  const std::string type = "HelpWindow", caption = "Cairn Help", contents = file + "::/Table of Contents.hhc",
                    index = file + "::/Index.hhk", topic = file + "::/Overview.htm";
  HH_WINTYPE window = {};
  window.cbStruct = sizeof window;
  window.fUniCodeStrings = FALSE;
  window.pszType = Ansi(type);
  window.fsValidMembers = HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_TB_FLAGS | HHWIN_PARAM_TABPOS;
  window.fsWinProperties = HHWIN_PROP_TRI_PANE | HHWIN_PROP_TAB_SEARCH;
  window.pszCaption = Ansi(caption);
  window.hwndCaller = owner;
  window.pszToc = Ansi(contents);
  window.pszIndex = Ansi(index);
  window.pszFile = Ansi(topic);
  // The home page is the overview inside the help file: it needs no network.
  window.pszHome = Ansi(topic);
  // Expand, Back, Forward, Stop, Refresh, Home and Options.
  window.fsToolBarFlags = 0x107E;
  htmlHelp(owner, nullptr, HH_SET_WIN_TYPE, reinterpret_cast<DWORD_PTR>(&window));
  htmlHelp(owner, (file + ">" + type).c_str(), HH_DISPLAY_TOPIC, 0);
}

}  // namespace shell
}  // namespace cairn
