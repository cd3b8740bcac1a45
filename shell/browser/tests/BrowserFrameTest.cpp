// The browser frame under Wine with Xvfb: hosting the shell's own view of a file-system folder,
// its controls and menus as a view uses them, moves with Back and Up, view-state streams across
// frames, and archives reached through the extension's folder class.
#include "HostedViewSupport.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>

#include "AnsiText.h"

namespace cairn {
namespace browser {
namespace {

using shell::FromAnsi;
using shell::ToAnsi;
using testing::FrameTest;
using testing::Pump;

IdList Parse(const std::string& path) {
  LPITEMIDLIST list = nullptr;
  const HRESULT hr = SHParseDisplayName(FromAnsi(path).c_str(), nullptr, &list, 0, nullptr);
  EXPECT_EQ(S_OK, hr) << std::hex << hr << " " << path;
  return IdList(list);
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::vector<UINT> PopupIds(HMENU menu) {
  std::vector<UINT> ids;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_SUBMENU;
    if (GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) && info.hSubMenu != nullptr) ids.push_back(info.wID);
  }
  return ids;
}

const std::vector<UINT> kBrowserPopups = {FCIDM_MENU_FILE, FCIDM_MENU_EDIT, FCIDM_MENU_VIEW, FCIDM_MENU_HELP};

class BrowserFrameTest : public FrameTest {
 protected:
  // The view-state stream of the folder shown, as text; "<hr>" when it cannot be read.
  std::string ReadState(BrowserFrame* frame) {
    ComPtr<IStream> stream;
    const HRESULT hr = frame->GetViewStateStream(STGM_READ, stream.Out());
    if (FAILED(hr)) return "<" + std::to_string(static_cast<unsigned long>(hr)) + ">";
    char bytes[64];
    ULONG read = 0;
    stream->Read(bytes, sizeof bytes, &read);
    return std::string(bytes, read);
  }
  void WriteState(BrowserFrame* frame, const std::string& bytes) {
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, frame->GetViewStateStream(STGM_WRITE, stream.Out()));
    ULONG written = 0;
    ASSERT_EQ(S_OK, stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written));
  }
};

TEST_F(BrowserFrameTest, HostsAViewWithToolbarAndStatusBar) {
  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(data_)));
  Pump();
  EXPECT_EQ(data_, Shown());
  EXPECT_EQ(0u, frame_->HistoryDepth());

  // The view's window is a child of the frame and lists the folder's entries but the hidden one.
  HWND viewWindow = frame_->ViewWindow();
  ASSERT_NE(nullptr, viewWindow);
  EXPECT_EQ(frame_->Window(), GetParent(viewWindow));
  ComPtr<IShellView> view;
  ASSERT_EQ(S_OK, frame_->QueryActiveShellView(view.Out()));
  HWND fromView = nullptr;
  EXPECT_EQ(S_OK, view->GetWindow(&fromView));
  EXPECT_EQ(viewWindow, fromView);
  HWND list = FindWindowExA(viewWindow, nullptr, "SysListView32", nullptr);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(3, SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));

  // The activated view merged its menu around the frame's four popups.
  const std::vector<UINT> merged = PopupIds(GetMenu(frame_->Window()));
  for (UINT id : kBrowserPopups) EXPECT_NE(merged.end(), std::find(merged.begin(), merged.end(), id)) << id;

  // Controls as a view reaches them; there is no tree pane.
  HWND control = reinterpret_cast<HWND>(1);
  EXPECT_EQ(S_OK, frame_->GetControlWindow(FCW_TOOLBAR, &control));
  EXPECT_EQ("ToolbarWindow32", ClassOf(control));
  EXPECT_EQ(S_OK, frame_->GetControlWindow(FCW_STATUS, &control));
  EXPECT_EQ("msctls_statusbar32", ClassOf(control));
  EXPECT_EQ(E_FAIL, frame_->GetControlWindow(FCW_TREE, &control));
  EXPECT_EQ(nullptr, control);
  LRESULT result = 1;
  EXPECT_EQ(E_FAIL, frame_->SendControlMsg(FCW_TREE, WM_USER, 0, 0, &result));
  EXPECT_EQ(0, result);

  // Two status parts set and read back through SendControlMsg.
  int parts[] = {145, -1};
  EXPECT_EQ(S_OK, frame_->SendControlMsg(FCW_STATUS, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts), &result));
  EXPECT_EQ(S_OK, frame_->SendControlMsg(FCW_STATUS, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"12KB"), nullptr));
  EXPECT_EQ(S_OK, frame_->SendControlMsg(FCW_STATUS, SB_GETPARTS, 0, 0, &result));
  EXPECT_EQ(2, result);
  wchar_t text[32] = L"";
  SendMessageW(frame_->StatusBar(), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(L"12KB", text);
  EXPECT_EQ(S_OK, frame_->SetStatusTextSB(L"ready"));
  SendMessageW(frame_->StatusBar(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(L"ready", text);

  // The view's buttons follow the frame's Back and Up; the next view starts without them.
  TBBUTTON button = {};
  button.iBitmap = 0;
  button.idCommand = 7;
  button.fsState = TBSTATE_ENABLED;
  const int before = static_cast<int>(SendMessageW(frame_->Toolbar(), TB_BUTTONCOUNT, 0, 0));
  EXPECT_EQ(S_OK, frame_->SetToolbarItems(&button, 1, FCT_MERGE));
  EXPECT_EQ(before + 1, SendMessageW(frame_->Toolbar(), TB_BUTTONCOUNT, 0, 0));
  EXPECT_EQ(0, SendMessageW(frame_->Toolbar(), TB_COMMANDTOINDEX, kCommandBack, 0));
  EXPECT_EQ(1, SendMessageW(frame_->Toolbar(), TB_COMMANDTOINDEX, kCommandUp, 0));
  EXPECT_EQ(E_INVALIDARG, frame_->SetToolbarItems(nullptr, 1, FCT_MERGE));
  ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_PARENT));
  EXPECT_EQ(-1, SendMessageW(frame_->Toolbar(), TB_COMMANDTOINDEX, 7, 0));
}

TEST_F(BrowserFrameTest, MenusMergeIntoFourPopupsAndComeOutAgain) {
  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(data_)));
  HMENU own = GetMenu(frame_->Window());
  // Deactivated, the view leaves the frame's own bar.
  ComPtr<IShellView> view;
  ASSERT_EQ(S_OK, frame_->QueryActiveShellView(view.Out()));
  view->UIActivate(SVUIA_DEACTIVATE);
  own = GetMenu(frame_->Window());
  EXPECT_EQ(kBrowserPopups, PopupIds(own));

  // What a view does when it activates: its own menu, the browser's popups, its items in them.
  HMENU shared = CreateMenu();
  OLEMENUGROUPWIDTHS widths = {{9, 9, 9, 9, 9, 9}};
  EXPECT_EQ(S_OK, frame_->InsertMenusSB(shared, &widths));
  EXPECT_EQ(kBrowserPopups, PopupIds(shared));
  EXPECT_EQ(1, widths.width[0]);
  EXPECT_EQ(2, widths.width[2]);
  EXPECT_EQ(1, widths.width[4]);
  EXPECT_EQ(9, widths.width[1]);  // the object's groups are not the browser's to fill
  HMENU file = GetSubMenu(shared, 0);
  ASSERT_TRUE(InsertMenuW(file, 0, MF_BYPOSITION | MF_STRING, 7, L"&Snapshot"));
  EXPECT_EQ(S_OK, frame_->SetMenuSB(shared, nullptr, nullptr));
  EXPECT_EQ(shared, GetMenu(frame_->Window()));

  // WM_INITMENUPOPUP: the frame's items enabled by where it is (Up here, Back not yet).
  HMENU viewPopup = GetSubMenu(shared, 2);
  SendMessageW(frame_->Window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(viewPopup), 2);
  EXPECT_EQ(static_cast<UINT>(MF_GRAYED), GetMenuState(viewPopup, kCommandBack, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_EQ(0u, GetMenuState(viewPopup, kCommandUp, MF_BYCOMMAND) & MF_GRAYED);

  // Removing gives the frame its own bar back before the view destroys its menu.
  EXPECT_EQ(S_OK, frame_->RemoveMenusSB(shared));
  EXPECT_EQ(0, GetMenuItemCount(shared));
  EXPECT_EQ(own, GetMenu(frame_->Window()));
  DestroyMenu(shared);
  EXPECT_EQ(S_OK, frame_->SetMenuSB(nullptr, nullptr, nullptr));
  EXPECT_EQ(own, GetMenu(frame_->Window()));
  EXPECT_EQ(E_INVALIDARG, frame_->InsertMenusSB(nullptr, &widths));
  EXPECT_EQ(E_INVALIDARG, frame_->RemoveMenusSB(nullptr));
}

TEST_F(BrowserFrameTest, MovesRelativeAbsoluteUpAndBack) {
  const std::string docs = data_ + "\\docs";
  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(data_)));
  IdList docsList = Parse(docs);
  ASSERT_TRUE(docsList);
  ASSERT_EQ(S_OK, frame_->BrowseObject(ILFindLastID(docsList.Get()), SBSP_RELATIVE));
  EXPECT_EQ(docs, Shown());
  ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_PARENT));
  EXPECT_EQ(data_, Shown());
  ASSERT_EQ(S_OK, frame_->BrowseObject(docsList.Get(), SBSP_ABSOLUTE));
  EXPECT_EQ(docs, Shown());
  EXPECT_EQ(3u, frame_->HistoryDepth());

  // Up as a view asks for it (the browser's parent-folder command), and Backspace.
  SendMessageW(frame_->Window(), WM_COMMAND, kCommandUp, 0);
  EXPECT_EQ(data_, Shown());
  MSG key = {frame_->Window(), WM_KEYDOWN, VK_BACK, 0, 0, {0, 0}};
  EXPECT_EQ(S_OK, frame_->TranslateAcceleratorSB(&key, 0));
  EXPECT_EQ(Path(""), Shown() + "\\");
  MSG other = {frame_->Window(), WM_KEYDOWN, 'Q', 0, 0, {0, 0}};
  EXPECT_EQ(S_FALSE, frame_->TranslateAcceleratorSB(&other, 0));

  // Back retraces every move; with nothing left it fails and nothing changes.
  const std::vector<std::string> back = {data_, docs, data_, docs, data_};
  for (const std::string& expected : back) {
    ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_NAVIGATEBACK));
    EXPECT_EQ(expected, Shown());
  }
  EXPECT_EQ(E_FAIL, frame_->BrowseObject(nullptr, SBSP_NAVIGATEBACK));
  EXPECT_EQ(E_NOTIMPL, frame_->BrowseObject(nullptr, SBSP_NAVIGATEFORWARD));
  EXPECT_EQ(E_INVALIDARG, frame_->BrowseObject(nullptr, SBSP_ABSOLUTE));
  EXPECT_EQ(data_, Shown());

  // A place that has no view (a file) leaves the view shown as it was.
  HWND viewWindow = frame_->ViewWindow();
  IdList file = Parse(data_ + "\\notes.cairntest");
  EXPECT_TRUE(FAILED(frame_->BrowseObject(file.Get(), SBSP_ABSOLUTE)));
  EXPECT_EQ(data_, Shown());
  EXPECT_EQ(viewWindow, frame_->ViewWindow());
  EXPECT_TRUE(IsWindow(viewWindow));
  EXPECT_EQ(0u, frame_->HistoryDepth());
}

TEST_F(BrowserFrameTest, ViewStatesAreKeptPerFolderAcrossFrames) {
  const std::string docs = data_ + "\\docs";
  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(data_)));
  WriteState(frame_, "root state of 24 bytes..");
  EXPECT_EQ("root state of 24 bytes..", ReadState(frame_));

  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(docs)));
  EXPECT_EQ('<', ReadState(frame_)[0]) << "a folder without a stored state reads nothing";
  WriteState(frame_, "docs state");
  ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_PARENT));
  EXPECT_EQ("root state of 24 bytes..", ReadState(frame_));
  // A shorter state replaces the longer one whole.
  WriteState(frame_, "short");
  EXPECT_EQ("short", ReadState(frame_));

  // Another frame (a later run) finds them again, each for its own folder.
  BrowserFrame* later = NewFrame();
  ASSERT_NE(nullptr, later);
  ASSERT_EQ(S_OK, later->Open(FromAnsi(docs)));
  EXPECT_EQ("docs state", ReadState(later));
  ASSERT_EQ(S_OK, later->BrowseObject(nullptr, SBSP_PARENT));
  EXPECT_EQ("short", ReadState(later));
  Close(later);
}

TEST_F(BrowserFrameTest, OpensAnArchiveThroughTheExtensionsFolderClass) {
  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(data_)));
  // The extension's folder, created by its class and initialised with the archive's location,
  // gives the view; Back returns to the folder before.
  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(archive_)));
  EXPECT_EQ(archive_, Shown());
  ASSERT_NE(nullptr, frame_->ViewWindow());
  EXPECT_NE(nullptr, GetDlgItem(frame_->ViewWindow(), 37)) << "the archive view's list";
  EXPECT_EQ(1u, frame_->HistoryDepth());

  // Locations below the archive file are bound through the extension's folder, and named by it:
  // those names key the view states.
  IdList archive = Parse(archive_);
  ComPtr<IShellFolder> root;
  ASSERT_EQ(S_OK, frame_->BindFolder(archive.Get(), &root));
  shell::testing::OwnedList first = shell::testing::FindItem(root.Get(), "Snapshot;1");
  IdList snapshot = JoinLists(archive.Get(), first.Get());
  ComPtr<IShellFolder> inSnapshot;
  ASSERT_EQ(S_OK, frame_->BindFolder(snapshot.Get(), &inSnapshot));
  EXPECT_EQ(std::vector<std::string>{data_}, shell::testing::StoredNames(inSnapshot.Get()));
  EXPECT_EQ(archive_ + "\\Snapshot;1", ToAnsi(frame_->LocationName(snapshot.Get(), SHGDN_FORPARSING).c_str()));
  EXPECT_EQ(archive_, ToAnsi(frame_->LocationName(archive.Get(), SHGDN_FORPARSING).c_str()));

  // The archive file changes when snapshots are taken: a later parse of its path, carrying other
  // times, still leads through the extension's folder.
  HANDLE file = CreateFileA(archive_.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  FILETIME written = {};
  GetFileTime(file, nullptr, nullptr, &written);
  ULARGE_INTEGER later = {{written.dwLowDateTime, written.dwHighDateTime}};
  later.QuadPart += 36000000000ull;  // an hour
  written = {later.LowPart, later.HighPart};
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
  CloseHandle(file);
  IdList reparsed = Parse(archive_);
  ASSERT_EQ(nullptr, ListBelow(archive.Get(), reparsed.Get())) << "the file's list should differ now";
  ComPtr<IShellFolder> again;
  ASSERT_EQ(S_OK, frame_->BindFolder(reparsed.Get(), &again));
  EXPECT_EQ(2u, shell::testing::StoredNames(again.Get()).size());

  // A list that only looks like the archive's below its first bytes goes to the desktop.
  EXPECT_EQ(nullptr, ListBelow(snapshot.Get(), archive.Get()));
  EXPECT_TRUE(IsEmptyList(ListBelow(archive.Get(), archive.Get())));

  ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_NAVIGATEBACK));
  EXPECT_EQ(data_, Shown());
}

}  // namespace
}  // namespace browser
}  // namespace cairn
