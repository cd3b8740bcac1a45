// The archive view hosted in the browser frame under Wine with Xvfb, read back from its
// controls: columns and widths per level, item texts and overlays, the status bar, sorting,
// view states per level, merged menu states and renaming through label editing.
#include "HostedViewSupport.h"
#include "ViewStateStore.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "ViewResource.h"

namespace cairn {
namespace browser {
namespace {

using shell::FromAnsi;
using shell::testing::RunCn;
using shell::testing::WriteText;
using testing::ArchiveFrameTest;
using testing::Pump;

struct ColumnInfo {
  std::string title;
  int width;
  int format;
  bool operator==(const ColumnInfo& o) const { return title == o.title && width == o.width && format == o.format; }
};

std::ostream& operator<<(std::ostream& out, const ColumnInfo& c) {
  return out << c.title << "/" << c.width << "/" << c.format;
}

// A host like Wine's own ExplorerBrowser: a window, and E_NOTIMPL for menus, toolbar, status
// bar and view state.
class BareHost final : public IShellBrowser {
 public:
  explicit BareHost(HWND window) : window_(window) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IShellBrowser) ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = window_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenuSB(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveMenusSB(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusTextSB(LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP EnableModelessSB(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return E_NOTIMPL; }
  STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE, UINT) override { return E_NOTIMPL; }
  STDMETHODIMP GetViewStateStream(DWORD, IStream** stream) override {
    *stream = nullptr;
    return E_FAIL;
  }
  STDMETHODIMP GetControlWindow(UINT, HWND* window) override {
    *window = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryActiveShellView(IShellView**) override { return E_NOTIMPL; }
  STDMETHODIMP OnViewWindowActive(IShellView*) override { return E_NOTIMPL; }
  STDMETHODIMP SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return E_NOTIMPL; }

 private:
  HWND window_;
};

class ArchiveViewTest : public ArchiveFrameTest {
 protected:
  void Prepare() override {
    // A third snapshot adds a file of 1536 bytes and changes another.
    ASSERT_TRUE(WriteText(data_ + "\\added.cairntest", std::string(1536, 'a')));
    ASSERT_TRUE(WriteText(data_ + "\\notes.cairntest", "notes, changed"));
    ASSERT_EQ(1u, RunCn("\"" + archive_ + "\"", Path("")));
  }

  int Overlay(int row) const {
    return static_cast<int>((SendMessageA(List(), LVM_GETITEMSTATE, row, LVIS_OVERLAYMASK) & LVIS_OVERLAYMASK) >> 8);
  }
  std::vector<ColumnInfo> Columns() const {
    std::vector<ColumnInfo> columns;
    for (int i = 0;; ++i) {
      char title[64] = "";
      LVCOLUMNA column = {};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      column.pszText = title;
      column.cchTextMax = sizeof title;
      if (!SendMessageA(List(), LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column))) break;
      columns.push_back({title, column.cx, column.fmt & LVCFMT_JUSTIFYMASK});
    }
    return columns;
  }
  void ClickHeader(int column) {
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = List();
    click.hdr.idFrom = IDC_VIEW_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageW(frame_->ViewWindow(), WM_NOTIFY, IDC_VIEW_LIST, reinterpret_cast<LPARAM>(&click));
  }
  // The merged popup of the browser's menu bar, prepared as for showing it.
  HMENU Popup(UINT id) {
    HMENU bar = GetMenu(frame_->Window());
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
      MENUITEMINFOW info = {};
      info.cbSize = sizeof info;
      info.fMask = MIIM_ID | MIIM_SUBMENU;
      if (GetMenuItemInfoW(bar, static_cast<UINT>(i), TRUE, &info) && info.wID == id) {
        SendMessageW(frame_->Window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(info.hSubMenu), i);
        return info.hSubMenu;
      }
    }
    ADD_FAILURE() << "no popup " << id;
    return nullptr;
  }
  // "e" enabled, "g" grayed, "c" checked, "-" missing, for each command.
  static std::string States(HMENU popup, std::initializer_list<UINT> commands) {
    std::string states;
    for (UINT command : commands) {
      const UINT state = GetMenuState(popup, command, MF_BYCOMMAND);
      states += state == static_cast<UINT>(-1) ? '-' : (state & MF_CHECKED) ? 'c' : (state & MF_GRAYED) ? 'g' : 'e';
    }
    return states;
  }
};

TEST_F(ArchiveViewTest, RootShowsSnapshotsWithTheirColumnsStatusAndSorting) {
  EXPECT_EQ((std::vector<ColumnInfo>{{"Name", 125, LVCFMT_LEFT},
                                     {"Size", 50, LVCFMT_RIGHT},
                                     {"Type", 100, LVCFMT_LEFT},
                                     {"Created", 100, LVCFMT_LEFT},
                                     {"Comment", 300, LVCFMT_LEFT}}),
            Columns());
  // By creation, later first.
  EXPECT_EQ((std::vector<std::string>{"Snapshot;3", "Snapshot;2", "Snapshot;1"}), Names());
  EXPECT_EQ("", Text(0, 1));
  EXPECT_EQ("Archive snapshot", Text(0, 2));
  EXPECT_NE("", Text(0, 3));
  EXPECT_EQ(0, Overlay(0));

  EXPECT_EQ("3 snapshot(s)", Status(0));
  EXPECT_EQ("Last snapshot created " + Text(0, 3), Status(1));
  Select({2});
  EXPECT_EQ("1 snapshot(s) selected", Status(0));
  EXPECT_EQ("Snapshot created " + Text(2, 3), Status(1));
  Select({0, 1});
  EXPECT_EQ("2 snapshot(s) selected", Status(0));
  EXPECT_EQ("", Status(1));

  // Name once ascending, twice descending.
  ClickHeader(0);
  EXPECT_EQ((std::vector<std::string>{"Snapshot;1", "Snapshot;2", "Snapshot;3"}), Names());
  ClickHeader(0);
  EXPECT_EQ((std::vector<std::string>{"Snapshot;3", "Snapshot;2", "Snapshot;1"}), Names());
  EXPECT_EQ("Snapshot;3", Text(0, 0));
}

TEST_F(ArchiveViewTest, MergedMenusFollowTheSelection) {
  // Columns of the File popup: Open, Restore, Snapshot, Item, Delete, Rename, Properties.
  const auto file = [this] {
    return States(Popup(FCIDM_MENU_FILE), {ID_OPEN, ID_RESTORE, ID_SNAPSHOT, ID_NEW_ITEM, ID_DELETE, ID_RENAME,
                                           ID_PROPERTIES});
  };
  const auto edit = [this] { return States(Popup(FCIDM_MENU_EDIT), {ID_UNDO, ID_COPY, ID_SELECT_ALL}); };
  Select({});
  EXPECT_EQ("ggeegge", file());
  EXPECT_EQ("gge", edit());
  Select({0});
  EXPECT_EQ("eeeeeee", file());
  EXPECT_EQ("gee", edit());
  Select({0, 1});
  EXPECT_EQ("ggeeege", file());
  EXPECT_EQ("gge", edit());
  // View: the mode and the sort column checked, lining up grayed; the root's sort items only.
  EXPECT_EQ("eeec", States(Popup(FCIDM_MENU_VIEW), {ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS}));
  EXPECT_EQ("eeeceg-", States(Popup(FCIDM_MENU_VIEW), {ID_SORT_ROOT_NAME, ID_SORT_ROOT_SIZE, ID_SORT_ROOT_TYPE,
                                                       ID_SORT_ROOT_CREATED, ID_SORT_ROOT_COMMENT, ID_LINE_UP,
                                                       ID_SORT_PATH}));
  Command(ID_VIEW_LIST);
  EXPECT_EQ(static_cast<LONG>(LVS_LIST), GetWindowLongW(List(), GWL_STYLE) & LVS_TYPEMASK);
  EXPECT_EQ("eecc", States(Popup(FCIDM_MENU_VIEW), {ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_SORT_ROOT_CREATED}));
  Command(ID_VIEWS);  // list, then details
  EXPECT_EQ(static_cast<LONG>(LVS_REPORT), GetWindowLongW(List(), GWL_STYLE) & LVS_TYPEMASK);

  // Inside a snapshot: the object layout's sort items; objects cannot be renamed.
  OpenRow("Snapshot;3");
  EXPECT_EQ(archive_ + "\\Snapshot;3", Shown());
  Select({0});
  EXPECT_EQ("eeeeeg", States(Popup(FCIDM_MENU_FILE), {ID_OPEN, ID_RESTORE, ID_SNAPSHOT, ID_NEW_ITEM, ID_DELETE,
                                                       ID_RENAME}));
  EXPECT_EQ("cg-", States(Popup(FCIDM_MENU_VIEW), {ID_SORT_NAME, ID_LINE_UP, ID_SORT_ROOT_NAME}));

  // Tab out of the list (to the frame's address box): the view merges the menus it has without
  // the focus.
  SetFocus(List());
  MSG tab = {List(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  EXPECT_TRUE(frame_->PreTranslateMessage(&tab));
  EXPECT_EQ("e-", States(Popup(FCIDM_MENU_FILE), {ID_OPEN, ID_DELETE}));
}

TEST_F(ArchiveViewTest, InsideASnapshotItemsShowTextsOverlaysAndSizes) {
  OpenRow("Snapshot;3");
  ASSERT_EQ(1, Count());
  OpenRow(Text(0, 0));  // the archived folder
  EXPECT_EQ((std::vector<ColumnInfo>{{"Name", 125, LVCFMT_LEFT},
                                     {"In Folder", 200, LVCFMT_LEFT},
                                     {"Size", 50, LVCFMT_RIGHT},
                                     {"Type", 100, LVCFMT_LEFT},
                                     {"Modified", 100, LVCFMT_LEFT},
                                     {"Created in", 100, LVCFMT_LEFT}}),
            Columns());
  ASSERT_EQ(5, Count());
  const int added = RowStarting("added.cairntest"), changed = RowStarting("notes.cairntest"),
            hidden = RowStarting("hidden.bin");
  ASSERT_GE(added, 0);
  ASSERT_GE(changed, 0);
  ASSERT_GE(hidden, 0);
  EXPECT_EQ(1, Overlay(added)) << "first recorded in the shown snapshot";
  EXPECT_EQ(3, Overlay(changed)) << "changed in it";
  EXPECT_EQ(0, Overlay(hidden));
  EXPECT_EQ(data_, Text(added, 1));
  EXPECT_EQ("2KB", Text(added, 2));  // 1536 bytes in whole KB, rounded up
  EXPECT_EQ("Snapshot;3", Text(added, 5));
  EXPECT_EQ("Snapshot;1", Text(hidden, 5));
  EXPECT_NE("", Text(added, 4));

  // Status: the count and total of all items, then of the selection.
  EXPECT_EQ("5 object(s)", Status(0));
  Select({added});
  EXPECT_EQ("1 object(s) selected", Status(0));
  EXPECT_EQ("1.50KB", Status(1));
  Select({hidden});
  EXPECT_EQ("6 bytes", Status(1));
}

TEST_F(ArchiveViewTest, ViewStatesAreKeptPerLevelAndCheckedOnReading) {
  // The root's widths and reversed name order come back after a visit below it, where the
  // object layout's defaults apply.
  ListView_SetColumnWidth(List(), 0, 77);
  ClickHeader(0);
  ClickHeader(0);
  OpenRow("Snapshot;1");
  EXPECT_EQ(125, Columns()[0].width);
  EXPECT_EQ(200, Columns()[1].width);
  const std::wstring inside = frame_->LocationName(frame_->Location(), SHGDN_FORPARSING);
  ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_NAVIGATEBACK));
  EXPECT_EQ(77, Columns()[0].width);
  EXPECT_EQ((std::vector<std::string>{"Snapshot;3", "Snapshot;2", "Snapshot;1"}), Names());

  // A record of the root's layout stored for a snapshot is not applied there.
  const ViewStateStore states(FromAnsi(Path("states")));
  auto storeRecord = [&](const std::vector<uint8_t>& record) {
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, states.Open(inside, STGM_WRITE, stream.Out()));
    ASSERT_EQ(S_OK, stream->Write(record.data(), static_cast<ULONG>(record.size()), nullptr));
  };
  std::vector<uint8_t> record(24, 0);
  record[4] = 5;   // five columns
  record[6] = 90;  // first width
  storeRecord(record);
  OpenRow("Snapshot;1");
  EXPECT_EQ(6u, Columns().size());
  EXPECT_EQ(125, Columns()[0].width);
  ASSERT_EQ(S_OK, frame_->BrowseObject(nullptr, SBSP_PARENT));

  // A record of its own is, and a stored width of 0 shows as 50.
  record[4] = 6;
  record[6] = 0;
  record[8] = 120;
  storeRecord(record);
  OpenRow("Snapshot;1");
  EXPECT_EQ(50, Columns()[0].width);
  EXPECT_EQ(120, Columns()[1].width);
}

TEST_F(ArchiveViewTest, StaysSoundInAHostWithoutMenusToolbarOrViewState) {
  ComPtr<IShellFolder> root = shell::testing::OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  ComPtr<IShellView> view;
  ASSERT_EQ(S_OK, root->CreateViewObject(nullptr, IID_IShellView, view.OutVoid()));
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 300, nullptr,
                                nullptr, nullptr, nullptr);
  BareHost host(parent);
  FOLDERSETTINGS settings = {FVM_DETAILS, 0};
  RECT rect = {0, 0, 480, 260};
  HWND window = nullptr;
  ASSERT_EQ(S_OK, view->CreateViewWindow(nullptr, &settings, &host, &rect, &window));
  ASSERT_NE(nullptr, window);
  HWND list = GetDlgItem(window, IDC_VIEW_LIST);
  EXPECT_EQ(3, SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  EXPECT_EQ(5, Header_GetItemCount(ListView_GetHeader(list)));
  EXPECT_EQ(S_OK, view->UIActivate(SVUIA_ACTIVATE_FOCUS));
  ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
  SendMessageW(window, WM_COMMAND, ID_VIEW_LIST, 0);
  EXPECT_EQ(E_FAIL, view->SaveViewState());
  EXPECT_EQ(E_INVALIDARG, view->UIActivate(SVUIA_INPLACEACTIVATE + 1));
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOTIMPL, view->GetItemObject(SVGIO_BACKGROUND, IID_IUnknown, &object));
  EXPECT_EQ(E_INVALIDARG, view->GetItemObject(7, IID_IUnknown, &object));
  EXPECT_EQ(S_OK, view->DestroyViewWindow());
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(E_UNEXPECTED, view->DestroyViewWindow());
  DestroyWindow(parent);
}

TEST_F(ArchiveViewTest, RenamesThroughLabelEditingWithBackspaceInTheEditBox) {
  Select({Row("Snapshot;1")});
  SetFocus(List());
  Command(ID_RENAME);
  HWND edit = ListView_GetEditControl(List());
  ASSERT_NE(nullptr, edit);
  SetWindowTextA(edit, "Before upgradeX");
  SendMessageA(edit, EM_SETSEL, 15, 15);
  // Backspace in the box takes a character back through the view's editing keys; the browser's
  // Up (Backspace elsewhere) does not see it.
  MSG key = {edit, WM_KEYDOWN, VK_BACK, 0, 0, {0, 0}};
  EXPECT_TRUE(frame_->PreTranslateMessage(&key));
  char text[64] = "";
  GetWindowTextA(edit, text, sizeof text);
  EXPECT_STREQ("Before upgrade", text);
  EXPECT_EQ(archive_, Shown());

  // Return keeps the name; the snapshot keeps its number, and the list shows it after the refresh.
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  Pump();
  EXPECT_EQ(nullptr, ListView_GetEditControl(List()));
  const std::vector<std::string> names = Names();
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "Before upgrade;1"));
  EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "Snapshot;1"));

  // Outside the box Backspace is the browser's Up.
  MSG up = {List(), WM_KEYDOWN, VK_BACK, 0, 0, {0, 0}};
  EXPECT_TRUE(frame_->PreTranslateMessage(&up));
  EXPECT_EQ(Path(""), Shown() + "\\");
}

TEST_F(ArchiveViewTest, TheListActivatesItemsAsTheShellSettingsSay) {
  // With one-click activation (the shell settings here ask for it) the list's activation opens an
  // item, and a double click does not open it a second time.
  const bool oneClick = (ListView_GetExtendedListViewStyle(List()) & LVS_EX_ONECLICKACTIVATE) != 0;
  Select({0});
  NMITEMACTIVATE notice = {};
  notice.hdr = {List(), IDC_VIEW_LIST, static_cast<UINT>(NM_DBLCLK)};
  notice.iItem = 0;
  SendMessageW(frame_->ViewWindow(), WM_NOTIFY, IDC_VIEW_LIST, reinterpret_cast<LPARAM>(&notice));
  Pump();
  EXPECT_EQ(oneClick ? 5u : 6u, Columns().size());
  if (!oneClick) return;
  notice.hdr.code = LVN_ITEMACTIVATE;
  SendMessageW(frame_->ViewWindow(), WM_NOTIFY, IDC_VIEW_LIST, reinterpret_cast<LPARAM>(&notice));
  Pump();
  EXPECT_EQ(6u, Columns().size());
}

}  // namespace
}  // namespace browser
}  // namespace cairn
