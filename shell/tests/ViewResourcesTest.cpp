// The view's resources as nsx12.dll carries them: the pictures at both icon sizes, the dialog
// with its list and hidden key list, the keys, and the menus the view merges and tracks.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "ShellTestSupport.h"
#include "ViewResource.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class ViewResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA((ModuleDirectory() + "\\nsx12.dll").c_str());
    ASSERT_NE(nullptr, module_);
  }
  void TearDown() override { FreeLibrary(module_); }

  // The commands of a menu, depth first; 0 for each separator, -1 before each submenu's items.
  std::vector<int> Commands(HMENU menu) {
    std::vector<int> ids;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      if (HMENU sub = GetSubMenu(menu, i)) {
        ids.push_back(-1);
        const std::vector<int> inner = Commands(sub);
        ids.insert(ids.end(), inner.begin(), inner.end());
      } else {
        ids.push_back(static_cast<int>(GetMenuItemID(menu, i)));
      }
    }
    return ids;
  }
  std::vector<int> MenuCommands(int id) {
    HMENU menu = LoadMenuW(module_, MAKEINTRESOURCEW(id));
    EXPECT_NE(nullptr, menu) << id;
    if (menu == nullptr) return {};
    std::vector<int> ids = Commands(menu);
    DestroyMenu(menu);
    return ids;
  }
  static bool Holds(const std::vector<int>& ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

  HMODULE module_ = nullptr;
};

TEST_F(ViewResourcesTest, PicturesLoadAtBothIconSizes) {
  for (int id : {IDI_ARCHIVE, IDI_OVERLAY_ADDED, IDI_OVERLAY_REMOVED, IDI_OVERLAY_CHANGED, IDI_OVERLAY_CURRENT,
                 IDI_SNAPSHOT}) {
    for (int size : {32, 16}) {
      HICON icon = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
      ASSERT_NE(nullptr, icon) << id << " at " << size;
      ICONINFO info = {};
      ASSERT_TRUE(GetIconInfo(icon, &info));
      BITMAP bits = {};
      GetObjectW(info.hbmColor, sizeof bits, &bits);
      EXPECT_EQ(size, bits.bmWidth) << id;
      EXPECT_EQ(size, bits.bmHeight) << id;
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
      DestroyIcon(icon);
    }
  }
  // The toolbar strip: 16-pixel images side by side, the snapshot button first.
  HBITMAP strip = static_cast<HBITMAP>(LoadImageW(module_, MAKEINTRESOURCEW(IDB_VIEW_TOOLBAR), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(nullptr, strip);
  BITMAP bits = {};
  GetObjectW(strip, sizeof bits, &bits);
  EXPECT_EQ(16, bits.bmHeight);
  EXPECT_EQ(0, bits.bmWidth % 16);
  EXPECT_LE(16, bits.bmWidth);
  DeleteObject(strip);
}

TEST_F(ViewResourcesTest, DialogHoldsTheListAndTheHiddenKeyList) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, parent);
  HWND dialog = CreateDialogParamW(module_, MAKEINTRESOURCEW(IDD_VIEW), parent, &QuietDialog, 0);
  ASSERT_NE(nullptr, dialog);
  EXPECT_TRUE(GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD);
  RECT units = {0, 0, 186, 95}, client = {};
  MapDialogRect(dialog, &units);
  GetClientRect(dialog, &client);
  EXPECT_EQ(units.right, client.right);
  EXPECT_EQ(units.bottom, client.bottom);

  char name[32] = "";
  HWND list = GetDlgItem(dialog, IDC_VIEW_LIST);
  ASSERT_NE(nullptr, list);
  GetClassNameA(list, name, sizeof name);
  EXPECT_STREQ("SysListView32", name);
  const LONG style = GetWindowLongW(list, GWL_STYLE);
  EXPECT_EQ(static_cast<LONG>(LVS_EDITLABELS | LVS_SHAREIMAGELISTS | WS_VISIBLE),
            style & (LVS_EDITLABELS | LVS_SHAREIMAGELISTS | WS_VISIBLE));
  HWND keys = GetDlgItem(dialog, IDC_VIEW_ICON_KEYS);
  ASSERT_NE(nullptr, keys);
  GetClassNameA(keys, name, sizeof name);
  EXPECT_STREQ("ListBox", name);
  EXPECT_FALSE(GetWindowLongW(keys, GWL_STYLE) & WS_VISIBLE);
  // Keys are looked up exactly, with the image index beside them.
  EXPECT_EQ(0, SendMessageA(keys, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("\"VERSION::Version\" 0 00000012")));
  EXPECT_EQ(0, SendMessageA(keys, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>("\"VERSION::Version\" 0 00000012")));
  DestroyWindow(parent);
}

TEST_F(ViewResourcesTest, KeysAndMenusCarryTheViewsCommands) {
  auto table = [this](int id) {
    HACCEL accelerators = LoadAcceleratorsW(module_, MAKEINTRESOURCEW(id));
    EXPECT_NE(nullptr, accelerators) << id;
    std::vector<ACCEL> keys(static_cast<size_t>(CopyAcceleratorTableW(accelerators, nullptr, 0)));
    CopyAcceleratorTableW(accelerators, keys.data(), static_cast<int>(keys.size()));
    std::vector<std::vector<int>> entries;
    for (const ACCEL& key : keys) entries.push_back({key.fVirt & (FSHIFT | FCONTROL | FALT), key.key, key.cmd});
    std::sort(entries.begin(), entries.end());
    return entries;
  };
  EXPECT_EQ((std::vector<std::vector<int>>{{0, VK_TAB, ID_FOCUS_NEXT},
                                           {0, VK_DELETE, ID_DELETE},
                                           {FSHIFT, VK_TAB, ID_FOCUS_BACK},
                                           {FCONTROL, 'A', ID_SELECT_ALL},
                                           {FCONTROL, 'C', ID_COPY},
                                           {FCONTROL, 'V', ID_PASTE}}),
            table(IDA_VIEW));
  EXPECT_EQ((std::vector<std::vector<int>>{{0, VK_BACK, ID_EDIT_BACKSPACE}}), table(IDA_VIEW_EDITING));

  // The context menu of items needs no clean-up of its own: no separator at either end or twice.
  const std::vector<int> items = MenuCommands(IDM_ITEM_CONTEXT);
  EXPECT_EQ((std::vector<int>{-1, ID_OPEN, ID_RESTORE, 0, ID_COMPARE_PREVIOUS, ID_COMPARE_CURRENT, 0, ID_COPY, ID_PASTE, 0,
                              ID_DELETE, ID_RENAME, 0, ID_PROPERTIES}),
            items);
  // Merged menus: four popups; with the focus the commands on the selection, without it not;
  // inside a snapshot sorting by the object columns, at the root by the snapshot columns.
  for (int id : {IDM_MERGE_FOCUS_INSIDE, IDM_MERGE_INSIDE, IDM_MERGE_FOCUS_ROOT, IDM_MERGE_ROOT}) {
    HMENU menu = LoadMenuW(module_, MAKEINTRESOURCEW(id));
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(4, GetMenuItemCount(menu)) << id;
    DestroyMenu(menu);
    const std::vector<int> ids = MenuCommands(id);
    const bool focus = id == IDM_MERGE_FOCUS_INSIDE || id == IDM_MERGE_FOCUS_ROOT;
    const bool root = id == IDM_MERGE_FOCUS_ROOT || id == IDM_MERGE_ROOT;
    for (int command : {ID_DELETE, ID_RENAME, ID_PROPERTIES, ID_UNDO, ID_COPY, ID_PASTE})
      EXPECT_EQ(focus, Holds(ids, command)) << id << " " << command;
    for (int command : {ID_OPEN, ID_RESTORE, ID_SNAPSHOT, ID_NEW_ITEM, ID_SELECT_ALL, ID_ARCHIVE_LOG,
                        ID_CHECK_ARCHIVE, ID_VIEW_DETAILS, ID_LINE_UP, ID_HELP_TOPICS, ID_ABOUT})
      EXPECT_TRUE(Holds(ids, command)) << id << " " << command;
    EXPECT_EQ(root, Holds(ids, ID_SORT_ROOT_COMMENT)) << id;
    EXPECT_EQ(!root, Holds(ids, ID_SORT_PATH)) << id;
  }
  EXPECT_TRUE(Holds(MenuCommands(IDM_BACKGROUND_INSIDE), ID_SORT_CREATED_IN));
  EXPECT_TRUE(Holds(MenuCommands(IDM_BACKGROUND_ROOT), ID_SORT_ROOT_CREATED));
  EXPECT_FALSE(Holds(MenuCommands(IDM_BACKGROUND_ROOT), ID_SORT_NAME));
  EXPECT_EQ((std::vector<int>{-1, ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS}),
            MenuCommands(IDM_VIEWS_DROPDOWN));
  for (int command : {ID_UNDO, ID_PASTE, ID_RESTORE_LATEST, ID_UP, ID_VIEWS, ID_MAKE_SFX, ID_MAKE_ARCHIVE})
    EXPECT_TRUE(Holds(MenuCommands(IDM_MERGE_PLACEHOLDERS), command)) << command;
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
