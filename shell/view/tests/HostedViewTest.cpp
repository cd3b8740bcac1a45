// The archive view in Wine's own ExplorerBrowser, a host that answers E_NOTIMPL for menus,
// toolbar and status bar, has no view-state streams and never activates the view. It binds every
// location from the desktop: an archive file's list is refused, and the folder class's own
// "::{class}" list gives a folder without an archive, whose view must still work.
#include "ShellTestSupport.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <string>

#include "AnsiText.h"
#include "nsx12.h"
#include "ViewResource.h"

namespace cairn {
namespace browser {
namespace {

using shell::FromAnsi;
using shell::testing::ArchiveTest;

class HostedViewTest : public ArchiveTest {};

TEST_F(HostedViewTest, TheViewStaysSoundInWinesExplorerBrowser) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 300, nullptr,
                                nullptr, nullptr, nullptr);
  ComPtr<IExplorerBrowser> browser;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ExplorerBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerBrowser,
                                   browser.OutVoid()));
  RECT rect = {0, 0, 480, 260};
  FOLDERSETTINGS settings = {FVM_DETAILS, 0};
  ASSERT_EQ(S_OK, browser->Initialize(parent, &rect, &settings));

  wchar_t folderClass[64] = L"";
  StringFromGUID2(CLSID_CairnFolder, folderClass, 64);
  LPITEMIDLIST location = nullptr;
  ASSERT_EQ(S_OK, SHParseDisplayName((std::wstring(L"::") + folderClass).c_str(), nullptr, &location, 0, nullptr));
  EXPECT_EQ(S_OK, browser->BrowseToIDList(location, SBSP_ABSOLUTE));
  CoTaskMemFree(location);
  ComPtr<IShellView> view;
  ASSERT_EQ(S_OK, browser->GetCurrentView(IID_IShellView, view.OutVoid()));
  HWND window = nullptr;
  ASSERT_EQ(S_OK, view->GetWindow(&window));
  HWND list = GetDlgItem(window, IDC_VIEW_LIST);
  ASSERT_NE(nullptr, list);
  // The root's columns, and no snapshots: the folder knows no archive.
  EXPECT_EQ(5, Header_GetItemCount(ListView_GetHeader(list)));
  EXPECT_EQ(0, SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));

  // Commands, status help, activation and the focus keys find no menus, bars or address box.
  for (UINT command : {ID_VIEW_LIST, ID_SELECT_ALL, ID_REFRESH, ID_VIEWS}) SendMessageW(window, WM_COMMAND, command, 0);
  EXPECT_EQ(static_cast<LONG>(LVS_REPORT), GetWindowLongW(list, GWL_STYLE) & LVS_TYPEMASK);
  SendMessageW(window, WM_MENUSELECT, MAKEWPARAM(ID_DELETE, MF_STRING), 0);
  EXPECT_EQ(S_OK, view->UIActivate(SVUIA_ACTIVATE_FOCUS));
  SetFocus(list);
  SendMessageW(window, WM_COMMAND, ID_FOCUS_NEXT, 0);
  EXPECT_EQ(S_OK, view->UIActivate(SVUIA_DEACTIVATE));

  // The archive file itself cannot be bound through the desktop here; the view stays.
  ASSERT_EQ(S_OK, SHParseDisplayName(FromAnsi(archive_).c_str(), nullptr, &location, 0, nullptr));
  EXPECT_EQ(E_FAIL, browser->BrowseToIDList(location, SBSP_ABSOLUTE));
  CoTaskMemFree(location);
  EXPECT_TRUE(IsWindow(window));
  view.Reset();
  EXPECT_EQ(S_OK, browser->Destroy());
  EXPECT_FALSE(IsWindow(window));
  DestroyWindow(parent);
}

}  // namespace
}  // namespace browser
}  // namespace cairn
