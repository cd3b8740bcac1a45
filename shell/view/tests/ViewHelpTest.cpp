// The archive view's help in the browser frame under Wine with Xvfb: status help for menus and
// toolbar buttons, tooltips, the help command without the HTML help control and under Wine (the
// installed pages in the user's browser), the About box, and the address box with the focus keys.
#include "HostedViewSupport.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "ViewResource.h"

namespace cairn {
namespace browser {
namespace {

using shell::FromAnsi;
using shell::ToAnsi;
using testing::ArchiveFrameTest;
using testing::DialogWatcher;
using testing::Pump;

bool HtmlHelpControlPresent() {
  HMODULE control = LoadLibraryA("HHCTRL.OCX");
  if (control == nullptr) return false;
  FreeLibrary(control);
  return true;
}

class ViewHelpTest : public ArchiveFrameTest {
 protected:
  void SendToFrame(UINT message, WPARAM wParam, LPARAM lParam) { SendMessageW(frame_->Window(), message, wParam, lParam); }
  bool Simple() const { return SendMessageW(frame_->StatusBar(), SB_ISSIMPLE, 0, 0) != 0; }
  // What the status bar shows while in simple mode (Wine's status bar gives it for any part).
  std::string SimpleText() const { return Status(0); }
  void ToolbarNotify(UINT code, int command) {
    NMTOOLBARW button = {};
    button.hdr.hwndFrom = frame_->Toolbar();
    button.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(frame_->Toolbar()));
    button.hdr.code = code;
    button.iItem = command;
    SendToFrame(WM_NOTIFY, button.hdr.idFrom, reinterpret_cast<LPARAM>(&button));
  }
  std::string WideTip(UINT command) {
    NMTTDISPINFOW info = {};
    info.hdr.hwndFrom = reinterpret_cast<HWND>(SendMessageW(frame_->Toolbar(), TB_GETTOOLTIPS, 0, 0));
    info.hdr.idFrom = command;
    info.hdr.code = TTN_NEEDTEXTW;
    SendToFrame(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.lpszText != nullptr && !IS_INTRESOURCE(info.lpszText) ? ToAnsi(info.lpszText) : std::string();
  }
  std::string AnsiTip(UINT command) {
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = frame_->Toolbar();
    info.hdr.idFrom = command;
    info.hdr.code = TTN_NEEDTEXTA;
    SendMessageW(frame_->ViewWindow(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.lpszText != nullptr && !IS_INTRESOURCE(info.lpszText) ? info.lpszText : std::string();
  }
  std::string ButtonText(UINT command) const {
    char text[128] = "";
    return SendMessageA(frame_->Toolbar(), TB_GETBUTTONTEXTA, command, reinterpret_cast<LPARAM>(text)) > 0 ? text : "";
  }
  // The address box's entries and the index of the one selected.
  std::vector<std::string> Addresses(int* selected = nullptr, int* icon = nullptr) const {
    std::vector<std::string> entries;
    HWND box = frame_->AddressBox();
    for (int i = 0; i < static_cast<int>(SendMessageA(box, CB_GETCOUNT, 0, 0)); ++i) {
      char text[600] = "";
      COMBOBOXEXITEMA item = {};
      item.mask = CBEIF_TEXT | CBEIF_IMAGE;
      item.iItem = i;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      SendMessageA(box, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
      entries.push_back(text);
      if (icon != nullptr) *icon = item.iImage;
    }
    if (selected != nullptr) *selected = static_cast<int>(SendMessageA(box, CB_GETCURSEL, 0, 0));
    return entries;
  }
};

TEST_F(ViewHelpTest, MenusAndToolbarButtonsShowTheirHelpAndTips) {
  ASSERT_EQ("2 snapshot(s)", Status(0));
  HMENU menu = GetMenu(frame_->Window());
  // A highlighted item of the merged menus, through the frame.
  SendToFrame(WM_MENUSELECT, MAKEWPARAM(ID_DELETE, MF_STRING), reinterpret_cast<LPARAM>(menu));
  EXPECT_TRUE(Simple());
  EXPECT_EQ("Delete the selected items.", SimpleText());
  SendToFrame(WM_MENUSELECT, MAKEWPARAM(ID_SORT_ROOT_CREATED, MF_STRING), reinterpret_cast<LPARAM>(menu));
  EXPECT_EQ("Sort items by date.", SimpleText());
  // A popup is named by its position, which is no command; the frame's own commands have no help.
  SendToFrame(WM_MENUSELECT, MAKEWPARAM(ID_OPEN, MF_POPUP), reinterpret_cast<LPARAM>(menu));
  EXPECT_EQ("", SimpleText());
  SendToFrame(WM_MENUSELECT, MAKEWPARAM(kCommandBack, MF_STRING), reinterpret_cast<LPARAM>(menu));
  EXPECT_EQ("", SimpleText());
  // The end of the menu gives the parts back as they were.
  SendToFrame(WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
  EXPECT_FALSE(Simple());
  EXPECT_EQ("2 snapshot(s)", Status(0));

  // A toolbar button held down, and let go.
  ToolbarNotify(TBN_BEGINDRAG, ID_SNAPSHOT);
  EXPECT_TRUE(Simple());
  EXPECT_EQ("Create a new snapshot.", SimpleText());
  ToolbarNotify(TBN_ENDDRAG, ID_SNAPSHOT);
  EXPECT_FALSE(Simple());

  // Tooltips, wide from the toolbar's tips through the frame and ANSI straight to the view; a
  // command without a tooltip leaves the text alone.
  EXPECT_EQ("Views", WideTip(ID_VIEWS));
  EXPECT_EQ("Up", WideTip(ID_UP));
  EXPECT_EQ("Snapshot", AnsiTip(ID_SNAPSHOT));
  EXPECT_EQ("Large Icons", AnsiTip(ID_VIEW_LARGE_ICONS));
  EXPECT_EQ("", AnsiTip(ID_RENAME));
  // The buttons carry the same texts.
  EXPECT_EQ("Delete", ButtonText(ID_DELETE));
  EXPECT_EQ("Views", ButtonText(ID_VIEWS));
  EXPECT_EQ("Up", ButtonText(ID_UP));
}

TEST_F(ViewHelpTest, HelpWithoutTheHtmlHelpControlSaysSo) {
  if (HtmlHelpControlPresent())
    GTEST_SKIP() << "the HTML help control is there; browser_tests_no_help runs this without it";
  // Help Topics, the browser's help command (through the frame) and F1 each say that help
  // cannot be shown.
  HELPINFO f1 = {};
  f1.cbSize = sizeof f1;
  const struct {
    HWND to;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } requests[] = {{frame_->ViewWindow(), WM_COMMAND, ID_HELP_TOPICS, 0},
                  {frame_->Window(), WM_COMMAND, 32651, 0},
                  {frame_->ViewWindow(), WM_HELP, 0, reinterpret_cast<LPARAM>(&f1)}};
  for (const auto& request : requests) {
    DialogWatcher watcher("No Help");
    SendMessageW(request.to, request.message, request.wParam, request.lParam);
    const std::vector<std::string> texts = watcher.Finish();
    EXPECT_TRUE(watcher.Seen()) << request.message << " " << request.wParam;
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "Help requires Internet Explorer 4.0 or higher."));
  }
}

// Under Wine the help command hands the help file's installed pages to the user's browser: here a
// stand-in for the browser, the class of .htm for the test's run, copies the page it is given.
TEST_F(ViewHelpTest, HelpUnderWineOpensTheInstalledPagesThroughTheShellOrSaysItCannot) {
  char windows[MAX_PATH] = "";
  ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
  const std::string pages = std::string(windows) + "\\Help\\CN_Help", overview = pages + "\\Overview.htm";
  const std::string opened = Path("opened.htm");
  ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(overview.c_str())) << "no help is installed here";

  // The pages are missing: help cannot be shown.
  {
    DialogWatcher watcher("No Help");
    SendMessageW(frame_->ViewWindow(), WM_COMMAND, ID_HELP_TOPICS, 0);
    const std::vector<std::string> texts = watcher.Finish();
    EXPECT_TRUE(watcher.Seen());
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "Help requires Internet Explorer 4.0 or higher."));
  }

  CreateDirectoryA((std::string(windows) + "\\Help").c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryA(pages.c_str(), nullptr));
  ASSERT_TRUE(shell::testing::WriteText(overview, "<html><body>Cairn Overview</body></html>"));
  char htmClass[128] = "";
  LONG size = sizeof htmClass;
  const bool hadClass = RegQueryValueA(HKEY_CLASSES_ROOT, ".htm", htmClass, &size) == ERROR_SUCCESS;
  const std::string command = "C:\\windows\\system32\\cmd.exe /c copy \"%1\" \"" + opened + "\"";
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, ".htm", REG_SZ, "CairnHelpTest.Page", 0));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, "CairnHelpTest.Page\\shell\\open\\command", REG_SZ,
                                        command.c_str(), 0));
  {
    DialogWatcher watcher("No Help");
    SendMessageW(frame_->ViewWindow(), WM_COMMAND, ID_HELP_TOPICS, 0);
    EXPECT_TRUE(testing::WaitFor([&] { return GetFileAttributesA(opened.c_str()) != INVALID_FILE_ATTRIBUTES; }))
        << "the browser is given the overview page";
    watcher.Finish();
    EXPECT_FALSE(watcher.Seen());
  }
  if (hadClass) RegSetValueA(HKEY_CLASSES_ROOT, ".htm", REG_SZ, htmClass, 0);
  else RegDeleteKeyA(HKEY_CLASSES_ROOT, ".htm");
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "CairnHelpTest.Page");
  DeleteFileA(overview.c_str());
  RemoveDirectoryA(pages.c_str());
}

TEST_F(ViewHelpTest, AboutBoxNamesTheProductVersionAndFormatDocument) {
  DialogWatcher watcher("About Cairn");
  SendMessageW(frame_->ViewWindow(), WM_COMMAND, ID_ABOUT, 0);
  const std::vector<std::string> texts = watcher.Finish();
  ASSERT_TRUE(watcher.Seen());
  const auto shows = [&texts](const std::string& part) {
    return std::any_of(texts.begin(), texts.end(), [&part](const std::string& text) { return text.find(part) != std::string::npos; });
  };
  EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "Cairn"));
  EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "Version 2.0")) << "from nsx12's version resource";
  EXPECT_TRUE(shows("docs/archive-format.md"));
}

TEST_F(ViewHelpTest, AddressBoxFollowsTheLevelAndTakesTheFocusFromTheList) {
  int selected = -1, icon = -1;
  EXPECT_EQ(std::vector<std::string>{archive_}, Addresses(&selected, &icon));
  EXPECT_EQ(0, selected);
  SHFILEINFOA info = {};
  SHGetFileInfoA(archive_.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  EXPECT_EQ(info.iIcon, icon) << "the archive's icon";

  // Each level is listed once under its parsing name, the one the browser knows it by.
  OpenRow(0);  // Snapshot;2
  EXPECT_EQ(archive_ + "\\Snapshot;2", Shown());
  OpenRow(0);  // the archived folder
  const std::vector<std::string> all = Addresses(&selected);
  ASSERT_EQ(3u, all.size());
  EXPECT_EQ(archive_ + "\\Snapshot;2", all[1]);
  EXPECT_EQ(Shown(), all[2]);
  EXPECT_EQ(2, selected);
  ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_NAVIGATEBACK));
  ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_NAVIGATEBACK));
  EXPECT_EQ(all, Addresses(&selected));
  EXPECT_EQ(0, selected);

  // Tab from the list goes to the address box; so does Shift+Tab, as there is no tree pane.
  for (UINT key : {ID_FOCUS_NEXT, ID_FOCUS_BACK}) {
    SetFocus(List());
    SendMessageW(frame_->ViewWindow(), WM_COMMAND, key, 0);
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == frame_->AddressBox() || IsChild(frame_->AddressBox(), focus)) << key;
  }

  // A folder typed into the box opens with Enter, and the frame names it there for the shell's view.
  NMCBEENDEDITW typed = {};
  typed.hdr.hwndFrom = frame_->AddressBox();
  typed.hdr.idFrom = kAddressBoxId;
  typed.hdr.code = CBEN_ENDEDITW;
  typed.iWhy = CBENF_RETURN;
  lstrcpynW(typed.szText, FromAnsi(data_).c_str(), CBEMAXSTRLEN);
  SendToFrame(WM_NOTIFY, kAddressBoxId, reinterpret_cast<LPARAM>(&typed));
  Pump();
  EXPECT_EQ(data_, Shown());
  char shown[600] = "";
  GetWindowTextA(frame_->AddressBox(), shown, sizeof shown);
  EXPECT_EQ(data_, std::string(shown));
}

}  // namespace
}  // namespace browser
}  // namespace cairn
