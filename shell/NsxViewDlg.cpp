#include "NsxViewDlg.h"

#include <shlwapi.h>

#include <cstdio>
#include <string>

#include "CairnFolder.h"
#include "CairnView.h"
#include "EntryPoints.h"
#include "ItemText.h"
#include "Text.h"
#include "resource.h"
#include "res/ViewResource.h"

namespace cairn {
namespace shell {
namespace {

// The browser's parent-folder command.
constexpr UINT kBrowserParentCommand = 40994;
constexpr int kStatusFirstPart = 145;

struct Column {
  UINT title;
  int format;
};
const Column kSnapshotColumnTitles[] = {{IDS_COLUMN_NAME, LVCFMT_LEFT},
                                        {IDS_COLUMN_SIZE, LVCFMT_RIGHT},
                                        {IDS_COLUMN_TYPE, LVCFMT_LEFT},
                                        {IDS_COLUMN_CREATED, LVCFMT_LEFT},
                                        {IDS_COLUMN_COMMENT, LVCFMT_LEFT}};
const Column kObjectColumnTitles[] = {{IDS_COLUMN_NAME, LVCFMT_LEFT},     {IDS_COLUMN_IN_FOLDER, LVCFMT_LEFT},
                                      {IDS_COLUMN_SIZE, LVCFMT_RIGHT},    {IDS_COLUMN_TYPE, LVCFMT_LEFT},
                                      {IDS_COLUMN_MODIFIED, LVCFMT_LEFT}, {IDS_COLUMN_CREATED_IN, LVCFMT_LEFT}};

// Local short date and time without seconds; empty for no time.
std::string DateTime(uint64_t stamp) {
  FILETIME time{static_cast<DWORD>(stamp), static_cast<DWORD>(stamp >> 32)}, local;
  SYSTEMTIME parts;
  char date[64], clock[64];
  if (stamp == 0 || !FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &parts) ||
      GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &parts, nullptr, date, 64) == 0 ||
      GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, clock, 64) == 0)
    return std::string();
  return std::string(date) + " " + clock;
}

std::string Formatted(UINT format, const std::string& value) {
  char text[600];
  std::snprintf(text, sizeof text, ShellModule::String(format).c_str(), value.c_str());
  return text;
}

std::string Counted(UINT format, int count) {
  char text[600];
  std::snprintf(text, sizeof text, ShellModule::String(format).c_str(), count);
  return text;
}

void Copy(const std::string& from, char* to, int size) {
  if (size <= 0) return;
  lstrcpynA(to, from.c_str(), size);
}

const SystemCollation& Collation() {
  static const SystemCollation collation;
  return collation;
}

int CALLBACK CompareSnapshots(LPARAM a, LPARAM b, LPARAM column) {
  const std::optional<Item> first = FirstItem(reinterpret_cast<LPCITEMIDLIST>(a));
  const std::optional<Item> second = FirstItem(reinterpret_cast<LPCITEMIDLIST>(b));
  if (!first || !second) return 0;
  return CompareSnapshotItems(*first, *second, static_cast<int>(column), Collation());
}

int CALLBACK CompareObjects(LPARAM a, LPARAM b, LPARAM column) {
  const std::optional<Item> first = FirstItem(reinterpret_cast<LPCITEMIDLIST>(a));
  const std::optional<Item> second = FirstItem(reinterpret_cast<LPCITEMIDLIST>(b));
  if (!first || !second) return 0;
  return CompareObjectItems(*first, *second, static_cast<int>(column), Collation());
}

}  // namespace

CNsxViewDlg::~CNsxViewDlg() { Destroy(); }

bool CNsxViewDlg::Create(HWND parent) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  dialog_ = CreateDialogParamA(ShellModule::Instance(), MAKEINTRESOURCEA(IDD_VIEW), parent, &CNsxViewDlg::Proc,
                               reinterpret_cast<LPARAM>(this));
  return dialog_ != nullptr && list_ != nullptr;
}

void CNsxViewDlg::Destroy() {
  if (dialog_ != nullptr) DestroyWindow(dialog_);
  dialog_ = nullptr;
  list_ = nullptr;
}

void CNsxViewDlg::InsertColumns(const ViewState& state) {
  const bool root = view_->AtRoot();
  const Column* columns = root ? kSnapshotColumnTitles : kObjectColumnTitles;
  const size_t count = root ? kSnapshotColumns : kObjectColumns;
  for (size_t i = 0; i < count; ++i) {
    std::string title = ShellModule::String(columns[i].title);
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = columns[i].format;
    column.cx = state.widths[i];
    column.pszText = &title[0];
    column.iSubItem = static_cast<int>(i);
    SendMessageA(list_, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
}

void CNsxViewDlg::ReadWidths(ViewState* state) const {
  const size_t count = view_->AtRoot() ? kSnapshotColumns : kObjectColumns;
  for (size_t i = 0; i < count; ++i) state->widths[i] = ListView_GetColumnWidth(list_, static_cast<int>(i));
}

void CNsxViewDlg::ApplyViewMode(UINT mode) {
  DWORD style = LVS_REPORT;
  switch (mode) {
    case FVM_ICON: style = LVS_ICON; break;
    case FVM_SMALLICON: style = LVS_SMALLICON; break;
    case FVM_LIST: style = LVS_LIST; break;
    default: mode = FVM_DETAILS; break;
  }
  view_->SetViewMode(mode);
  SetWindowLongW(list_, GWL_STYLE, (GetWindowLongW(list_, GWL_STYLE) & ~LVS_TYPEMASK) | style);
  if (IShellBrowser* browser = view_->Browser()) {
    LRESULT result = 0;
    for (UINT command = ID_VIEW_LARGE_ICONS; command <= ID_VIEW_DETAILS; ++command)
      browser->SendControlMsg(FCW_TOOLBAR, TB_CHECKBUTTON, command,
                              MAKELONG(command - ID_VIEW_LARGE_ICONS + FVM_ICON == mode, 0), &result);
  }
}

void CNsxViewDlg::Fill() {
  ListView_DeleteAllItems(list_);
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  CCairnFolder* folder = view_->Folder();
  SHCONTF flags = SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;
  FOLDERSETTINGS settings = {};
  view_->GetCurrentInfo(&settings);
  if (!(settings.fFlags & FWF_NOSUBFOLDERS)) flags |= SHCONTF_FOLDERS;
  // Below the root, the snapshot shown is the one the first sub-path item names.
  int32_t shown = 0;
  if (const std::optional<Item> first = FirstItem(folder->SubPath())) shown = SnapshotNumberOf(first->name);
  ComPtr<IEnumIDList> items;
  if (folder->EnumObjects(dialog_, flags, items.Out()) == S_OK && items) {
    LPITEMIDLIST list = nullptr;
    while (items->Next(1, &list, nullptr) == S_OK && list != nullptr) {
      const std::optional<Item> item = FirstItem(list);
      const int overlay = item ? OverlayOf(*item, shown) : 0;
      LVITEMA entry = {};
      entry.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
      entry.iItem = 0;
      entry.pszText = LPSTR_TEXTCALLBACKA;
      entry.iImage = I_IMAGECALLBACK;
      entry.lParam = reinterpret_cast<LPARAM>(list);
      entry.state = INDEXTOOVERLAYMASK(overlay);
      entry.stateMask = LVIS_OVERLAYMASK;
      if (SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry)) < 0) CoTaskMemFree(list);
      list = nullptr;
    }
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
  UpdateWindow(list_);
  UpdateStatus();
}

void CNsxViewDlg::Sort(int column) {
  sortColumn_ = column;
  SendMessageW(list_, LVM_SORTITEMS, static_cast<WPARAM>(column),
               reinterpret_cast<LPARAM>(view_->AtRoot() ? &CompareSnapshots : &CompareObjects));
}

void CNsxViewDlg::UpdateStatus() {
  IShellBrowser* browser = view_->Browser();
  if (browser == nullptr) return;
  int parts[2] = {kStatusFirstPart, -1};
  LRESULT result = 0;
  browser->SendControlMsg(FCW_STATUS, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts), &result);
  const std::vector<LPCITEMIDLIST> all = Items(false), selected = Items(true);
  const std::vector<LPCITEMIDLIST>& counted = selected.empty() ? all : selected;
  std::string first, second;
  if (view_->AtRoot()) {
    first = Counted(selected.empty() ? IDS_STATUS_SNAPSHOTS : IDS_STATUS_SNAPSHOTS_SELECTED,
                    static_cast<int>(counted.size()));
    if (selected.empty() && !all.empty()) {
      // The latest snapshot: the highest number.
      std::optional<Item> latest;
      for (LPCITEMIDLIST list : all) {
        const std::optional<Item> item = FirstItem(list);
        if (item && (!latest || item->fields.revision > latest->fields.revision)) latest = item;
      }
      if (latest) second = Formatted(IDS_STATUS_LAST_SNAPSHOT, DateTime(latest->fields.creationTime));
    } else if (selected.size() == 1) {
      if (const std::optional<Item> item = FirstItem(selected.front()))
        second = Formatted(IDS_STATUS_SNAPSHOT_CREATED, DateTime(item->fields.creationTime));
    }
  } else {
    first = Counted(selected.empty() ? IDS_STATUS_OBJECTS : IDS_STATUS_OBJECTS_SELECTED,
                    static_cast<int>(counted.size()));
    uint32_t bytes = 0;
    for (LPCITEMIDLIST list : counted)
      if (const std::optional<Item> item = FirstItem(list)) bytes += static_cast<uint32_t>(item->fields.itemSize);
    second = StatusSizeText(bytes);
  }
  browser->SendControlMsg(FCW_STATUS, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(first.c_str()), &result);
  browser->SendControlMsg(FCW_STATUS, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(second.c_str()), &result);
}

std::vector<LPCITEMIDLIST> CNsxViewDlg::Items(bool selectedOnly) const {
  std::vector<LPCITEMIDLIST> items;
  if (list_ == nullptr) return items;
  const UINT flags = selectedOnly ? LVNI_SELECTED : LVNI_ALL;
  for (int i = ListView_GetNextItem(list_, -1, flags); i >= 0; i = ListView_GetNextItem(list_, i, flags)) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = i;
    if (SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
      items.push_back(reinterpret_cast<LPCITEMIDLIST>(item.lParam));
  }
  return items;
}

SFGAOF CNsxViewDlg::Abilities(const std::vector<LPCITEMIDLIST>& items, SFGAOF asked) const {
  if (items.empty()) return 0;
  SFGAOF abilities = asked;
  std::vector<LPCITEMIDLIST> lists(items);
  if (FAILED(view_->Folder()->GetAttributesOf(static_cast<UINT>(lists.size()), lists.data(), &abilities))) return 0;
  return abilities & asked;
}

bool CNsxViewDlg::Enabled(UINT command) const {
  const std::vector<LPCITEMIDLIST> selected = Items(true);
  const size_t n = selected.size();
  switch (command) {
    case ID_OPEN:
      return n == 1;
    case ID_RENAME:
      return n == 1 && Abilities(selected, SFGAO_CANRENAME) != 0;
    case ID_DELETE:
      return n >= 1 && Abilities(selected, SFGAO_CANDELETE) != 0;
    case ID_RESTORE:
      return n == 1 || (!view_->AtRoot() && n >= 1);
    case ID_COPY:
      return view_->AtRoot() ? n == 1 : n >= 1;
    case ID_PASTE:
      return IsClipboardFormatAvailable(CF_HDROP) && !IsClipboardFormatAvailable(4);
    case ID_EDIT_BACKSPACE:
      return editing_;
    case ID_UNDO:
    case ID_PASTE_SHORTCUT:
      return false;
    default:
      return true;
  }
}

// --- Window ---

INT_PTR CALLBACK CNsxViewDlg::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CNsxViewDlg* self = reinterpret_cast<CNsxViewDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CNsxViewDlg*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->dialog_ = window;
  }
  if (self == nullptr) return FALSE;
  return self->OnMessage(message, wParam, lParam);
}

void CNsxViewDlg::OnInitDialog() {
  list_ = GetDlgItem(dialog_, IDC_VIEW_LIST);
  // The cache's image lists start empty, so the overlay icons 501, 503 and 504 take indexes 0 to 2.
  if (icons_.Create(GetDlgItem(dialog_, IDC_VIEW_ICON_KEYS))) {
    const UINT overlays[] = {IDI_OVERLAY_ADDED, IDI_OVERLAY_REMOVED, IDI_OVERLAY_CHANGED};
    for (int i = 0; i < 3; ++i) {
      for (HIMAGELIST images : {icons_.Large(), icons_.Small()}) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(images, &cx, &cy);
        HICON icon = static_cast<HICON>(
            LoadImageW(ShellModule::Instance(), MAKEINTRESOURCEW(overlays[i]), IMAGE_ICON, cx, cy, 0));
        const int index = icon != nullptr ? ImageList_AddIcon(images, icon) : -1;
        if (icon != nullptr) DestroyIcon(icon);
        if (index >= 0) ImageList_SetOverlayImage(images, index, i + 1);
      }
    }
    ListView_SetImageList(list_, icons_.Large(), LVSIL_NORMAL);
    ListView_SetImageList(list_, icons_.Small(), LVSIL_SMALL);
  }
  SetWindowLongW(list_, GWL_STYLE, GetWindowLongW(list_, GWL_STYLE) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  SetWindowLongW(list_, GWL_EXSTYLE, GetWindowLongW(list_, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY);
  ApplyShellSettings();
  ole_ = OleInitialize(nullptr);
}

void CNsxViewDlg::ApplyShellSettings() {
  DWORD extended = LVS_EX_HEADERDRAGDROP;
  using GetSettings = void(WINAPI*)(LPSHELLFLAGSTATE, DWORD);
  HMODULE shell = GetModuleHandleA("shell32.dll");
  auto get = shell != nullptr ? reinterpret_cast<GetSettings>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSettings")))
                              : nullptr;
  if (get != nullptr) {
    SHELLFLAGSTATE state = {};
    get(&state, SSF_DOUBLECLICKINWEBVIEW | SSF_WIN95CLASSIC);
    if (!state.fWin95Classic && !state.fDoubleClickInWebView)
      extended |= LVS_EX_ONECLICKACTIVATE | LVS_EX_TRACKSELECT | LVS_EX_UNDERLINEHOT;
  }
  ListView_SetExtendedListViewStyle(list_, extended);
}

INT_PTR CNsxViewDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return FALSE;
    case WM_SIZE:
      MoveWindow(list_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return TRUE;
    case WM_SETFOCUS:
      SetFocus(list_);
      view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
      return TRUE;
    case WM_SETTINGCHANGE:
      ApplyShellSettings();
      return TRUE;
    case WM_NOTIFY:
      SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, OnNotify(reinterpret_cast<NMHDR*>(lParam)));
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    case WM_INITMENUPOPUP:
      OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
      return TRUE;
    case WM_CONTEXTMENU:
      ShowContextMenu(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      return TRUE;
    case WM_DESTROY:
      ListView_DeleteAllItems(list_);
      if (SUCCEEDED(ole_)) OleUninitialize();
      ole_ = E_FAIL;
      return TRUE;
    default:
      return FALSE;
  }
}

void CNsxViewDlg::ItemText(LPCITEMIDLIST list, int column, char* text, int size) {
  const std::optional<Item> item = FirstItem(list);
  if (!item) return Copy("", text, size);
  if (view_->AtRoot()) {
    switch (column) {
      case 0: return Copy(std::string(item->name), text, size);
      case 1: return Copy("", text, size);  // every snapshot is a folder
      case 2: return Copy(ShellModule::String(IDS_TYPE_SNAPSHOT), text, size);
      case 3: return Copy(DateTime(item->fields.creationTime), text, size);
      case 4: return Copy(CommentLine(item->second ? *item->second : std::string_view()), text, size);
      default: return Copy("", text, size);
    }
  }
  const std::string name(item->name);
  switch (column) {
    case 0: {
      STRRET display = {};
      wchar_t* wide = nullptr;
      std::string shown;
      if (SUCCEEDED(view_->Folder()->GetDisplayNameOf(list, SHGDN_INFOLDER, &display)) &&
          SUCCEEDED(StrRetToStrW(&display, list, &wide))) {
        shown = ToAnsi(wide);
        CoTaskMemFree(wide);
      }
      return Copy(shown, text, size);
    }
    case 1: {
      const size_t slash = name.find_last_of('\\');
      return Copy(slash == std::string::npos ? std::string() : name.substr(0, slash), text, size);
    }
    case 2: return Copy(ColumnSizeText(*item), text, size);
    case 3: return Copy(ItemTypeName(*item), text, size);
    case 4: return Copy(DateTime(item->fields.modificationTime), text, size);
    case 5: return Copy(Formatted(IDS_CREATED_IN_FORMAT, std::string(item->second ? *item->second : "")), text, size);
    default: return Copy("", text, size);
  }
}

LRESULT CNsxViewDlg::OnNotify(NMHDR* header) {
  if (header->code == TBN_DROPDOWN) {
    auto* button = reinterpret_cast<NMTOOLBARA*>(header);
    if (button->iItem == ID_VIEWS) {
      ShowViewsMenu(button);
    } else if (HWND parent = GetParent(header->hwndFrom)) {
      // Another button of the browser's toolbar: the browser's own business.
      if (IShellBrowser* browser = view_->Browser()) {
        HWND browserWindow = nullptr;
        if (SUCCEEDED(browser->GetWindow(&browserWindow)) && parent == browserWindow)
          return SendMessageW(browserWindow, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
      }
    }
    return TBDDRET_DEFAULT;
  }
  if (header->hwndFrom != list_) return 0;
  switch (header->code) {
    case LVN_GETDISPINFOA:
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOA*>(header);
      LPCITEMIDLIST list = reinterpret_cast<LPCITEMIDLIST>(info->item.lParam);
      if (info->item.mask & LVIF_TEXT) {
        if (header->code == LVN_GETDISPINFOA) {
          ItemText(list, info->item.iSubItem, info->item.pszText, info->item.cchTextMax);
        } else {
          char text[600] = "";
          ItemText(list, info->item.iSubItem, text, sizeof text);
          const std::wstring wide = FromAnsi(text);
          auto* wideInfo = reinterpret_cast<NMLVDISPINFOW*>(header);
          if (wideInfo->item.cchTextMax > 0) lstrcpynW(wideInfo->item.pszText, wide.c_str(), wideInfo->item.cchTextMax);
        }
      }
      if (info->item.mask & LVIF_IMAGE) info->item.iImage = icons_.IndexOf(view_->Folder(), list);
      info->item.mask |= LVIF_DI_SETITEM;
      return 0;
    }
    case LVN_DELETEITEM:
      CoTaskMemFree(reinterpret_cast<LPITEMIDLIST>(reinterpret_cast<NMLISTVIEW*>(header)->lParam));
      return 0;
    case LVN_COLUMNCLICK: {
      const int column = reinterpret_cast<NMLISTVIEW*>(header)->iSubItem + 1;
      Sort(column == sortColumn_ ? -sortColumn_ : column);
      return 0;
    }
    case LVN_ITEMCHANGED:
      UpdateStatus();
      return 0;
    case NM_DBLCLK:
    case NM_RETURN:
      OnCommand(ID_OPEN, 0, nullptr);
      return 0;
    case LVN_BEGINLABELEDITA:
    case LVN_BEGINLABELEDITW:
      editing_ = true;
      return FALSE;
    case LVN_ENDLABELEDITA: {
      editing_ = false;
      auto* info = reinterpret_cast<NMLVDISPINFOA*>(header);
      if (info->item.pszText == nullptr || info->item.pszText[0] == 0) return FALSE;
      LVITEMA item = {};
      item.mask = LVIF_PARAM;
      item.iItem = info->item.iItem;
      if (!SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return FALSE;
      const HRESULT hr = view_->Folder()->SetNameOf(nullptr, reinterpret_cast<LPCITEMIDLIST>(item.lParam),
                                                   FromAnsi(info->item.pszText).c_str(), SHGDN_INFOLDER, nullptr);
      if (FAILED(hr)) return FALSE;
      PostMessageW(dialog_, WM_COMMAND, ID_REFRESH, 0);
      return TRUE;
    }
    default:
      return 0;
  }
}

void CNsxViewDlg::SortCommand(int column) {
  if (sortColumn_ != column && sortColumn_ != -column) Sort(column);
}

void CNsxViewDlg::OnCommand(UINT id, UINT, HWND from) {
  if (from != nullptr && from == ListView_GetEditControl(list_)) return;
  IShellBrowser* browser = view_->Browser();
  HWND browserWindow = nullptr;
  if (browser != nullptr) browser->GetWindow(&browserWindow);
  if ((id >= 32652 || id < 1 || id > 72) && from != nullptr && browserWindow != nullptr && GetParent(from) == browserWindow) {
    SendMessageW(browserWindow, WM_COMMAND, id, reinterpret_cast<LPARAM>(from));
    return;
  }
  if (!Enabled(id)) {
    MessageBeep(0);
    return;
  }
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  bool done = true;
  switch (id) {
    case ID_OPEN: {
      const std::vector<LPCITEMIDLIST> selected = Items(true);
      const std::optional<Item> item = FirstItem(selected.front());
      if (!item) {
        done = false;
      } else if (item->IsFolder()) {
        done = browser != nullptr && SUCCEEDED(browser->BrowseObject(selected.front(), SBSP_RELATIVE));
      } else {
        done = view_->Folder()->DisplayItem(dialog_, *item);
      }
      break;
    }
    case ID_RENAME:
      SetFocus(list_);
      ListView_EditLabel(list_, ListView_GetNextItem(list_, -1, LVNI_SELECTED));
      break;
    case ID_SELECT_ALL:
      ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
      break;
    case ID_INVERT_SELECTION:
      for (int i = 0; i < ListView_GetItemCount(list_); ++i)
        ListView_SetItemState(list_, i, ListView_GetItemState(list_, i, LVIS_SELECTED) ^ LVIS_SELECTED, LVIS_SELECTED);
      break;
    case ID_EDIT_BACKSPACE:
      SendMessageW(ListView_GetEditControl(list_), WM_CHAR, VK_BACK, 0);
      break;
    case ID_VIEW_LARGE_ICONS:
    case ID_VIEW_SMALL_ICONS:
    case ID_VIEW_LIST:
    case ID_VIEW_DETAILS:
      ApplyViewMode(id - ID_VIEW_LARGE_ICONS + FVM_ICON);
      break;
    case ID_VIEWS: {
      // small icons, list, details, large icons, and round again
      static const UINT next[] = {FVM_DETAILS, FVM_SMALLICON, FVM_LIST, FVM_DETAILS, FVM_ICON};
      const UINT mode = view_->ViewMode();
      ApplyViewMode(mode >= FVM_ICON && mode <= FVM_DETAILS ? next[mode] : static_cast<UINT>(FVM_DETAILS));
      break;
    }
    case ID_REFRESH:
      view_->Refresh();
      break;
    case ID_FOCUS_BACK:
    case ID_FOCUS_NEXT: {
      // Into the list from elsewhere in the view; out of it to the browser's tree pane when it
      // has one (this browser frame has no address box).
      if (GetFocus() != list_) {
        SetFocus(list_);
        break;
      }
      view_->UIActivate(SVUIA_ACTIVATE_NOFOCUS);
      HWND tree = nullptr;
      if (browser != nullptr && SUCCEEDED(browser->GetControlWindow(FCW_TREE, &tree)) && tree != nullptr) SetFocus(tree);
      break;
    }
    case ID_ARCHIVE_LOG:
      view_->Folder()->ShowArchiveLog(dialog_);
      break;
    case ID_UP:
      if (browserWindow != nullptr) SendMessageW(browserWindow, WM_COMMAND, kBrowserParentCommand, 0);
      break;
    default:
      if (id >= ID_SORT_NAME && id <= ID_SORT_CREATED_IN) {
        SortCommand(static_cast<int>(id - ID_SORT_NAME + 1));
      } else if (id >= ID_SORT_ROOT_NAME && id <= ID_SORT_ROOT_COMMENT) {
        SortCommand(static_cast<int>(id - ID_SORT_ROOT_NAME + 1));
      } else {
        // Commands whose objects are still to come (snapshots and deletion on worker threads,
        // restore, properties, the clipboard, adding items, help and the about box).
        done = false;
      }
  }
  SetCursor(previous);
  if (!done) MessageBeep(0);
}

void CNsxViewDlg::OnInitMenuPopup(HMENU popup) {
  HMENU bar = view_->MergedMenu();
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
    CheckMenuRadioItem(menu, ID_VIEW_LARGE_ICONS, ID_VIEW_DETAILS, ID_VIEW_LARGE_ICONS + view_->ViewMode() - FVM_ICON,
                       MF_BYCOMMAND);
    const bool root = view_->AtRoot();
    const UINT first = root ? ID_SORT_ROOT_NAME : ID_SORT_NAME, last = root ? ID_SORT_ROOT_COMMENT : ID_SORT_CREATED_IN;
    const int column = sortColumn_ < 0 ? -sortColumn_ : sortColumn_;
    for (UINT command = first; command <= last; ++command)
      CheckMenuItem(menu, command, MF_BYCOMMAND | (static_cast<int>(command - first + 1) == column ? MF_CHECKED : MF_UNCHECKED));
    enable(ID_LINE_UP, false);
  }
}

static void RemoveExtraSeparators(HMENU menu) {
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

void CNsxViewDlg::ShowContextMenu(int x, int y) {
  const bool selection = !Items(true).empty();
  const UINT id = selection ? IDM_ITEM_CONTEXT : (view_->AtRoot() ? IDM_BACKGROUND_ROOT : IDM_BACKGROUND_INSIDE);
  HMENU menu = LoadMenuA(ShellModule::Instance(), MAKEINTRESOURCEA(id));
  HMENU popup = menu != nullptr ? GetSubMenu(menu, 0) : nullptr;
  if (popup == nullptr) {
    if (menu != nullptr) DestroyMenu(menu);
    return;
  }
  if (selection) SetMenuDefaultItem(popup, ID_RESTORE, FALSE);
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
  DestroyMenu(menu);
  if (command != 0) OnCommand(command, 0, nullptr);
}

void CNsxViewDlg::ShowViewsMenu(NMTOOLBARA* button) {
  HMENU menu = LoadMenuA(ShellModule::Instance(), MAKEINTRESOURCEA(IDM_VIEWS_DROPDOWN));
  HMENU popup = menu != nullptr ? GetSubMenu(menu, 0) : nullptr;
  if (popup == nullptr) {
    if (menu != nullptr) DestroyMenu(menu);
    return;
  }
  CheckMenuRadioItem(popup, ID_VIEW_LARGE_ICONS, ID_VIEW_DETAILS, ID_VIEW_LARGE_ICONS + view_->ViewMode() - FVM_ICON,
                     MF_BYCOMMAND);
  RECT rect = button->rcButton;
  MapWindowPoints(button->hdr.hwndFrom, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  TPMPARAMS excluded = {sizeof excluded, rect};
  const UINT command = static_cast<UINT>(TrackPopupMenuEx(popup, TPM_RETURNCMD | TPM_VERTICAL | TPM_LEFTALIGN,
                                                          rect.left, rect.bottom, dialog_, &excluded));
  DestroyMenu(menu);
  if (command != 0) OnCommand(command, 0, nullptr);
}

void CNsxViewDlg::SetUpToolbar() {
  IShellBrowser* browser = view_->Browser();
  if (browser == nullptr) return;
  LRESULT standard = 0, views = 0, own = 0, count = 0;
  TBADDBITMAP bitmap = {HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
  if (FAILED(browser->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap), &standard)))
    return;  // a browser without a toolbar
  bitmap.nID = IDB_VIEW_SMALL_COLOR;
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap), &views);
  TBADDBITMAP ownBitmap = {ShellModule::Instance(), IDB_VIEW_TOOLBAR};
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 1, reinterpret_cast<LPARAM>(&ownBitmap), &own);

  struct Button {
    int image;
    UINT command;
    UINT text;  // 0: none
  };
  const int s = static_cast<int>(standard), v = static_cast<int>(views);
  std::vector<Button> buttons = {{static_cast<int>(own), ID_SNAPSHOT, IDS_TIP_SNAPSHOT}, {-1, 0, 0},
                                 {s + STD_COPY, ID_COPY, IDS_TIP_COPY},       {s + STD_PASTE, ID_PASTE, IDS_TIP_PASTE},
                                 {-1, 0, 0},                                  {s + STD_UNDO, ID_UNDO, IDS_TIP_UNDO},
                                 {-1, 0, 0},                                  {s + STD_DELETE, ID_DELETE, IDS_TIP_DELETE},
                                 {s + STD_PROPERTIES, ID_PROPERTIES, IDS_TIP_PROPERTIES}, {-1, 0, 0}};
  const bool plain = PlainShell();
  if (plain) {
    buttons.push_back({v + VIEW_LARGEICONS, ID_VIEW_LARGE_ICONS, 0});
    buttons.push_back({v + VIEW_SMALLICONS, ID_VIEW_SMALL_ICONS, 0});
    buttons.push_back({v + VIEW_LIST, ID_VIEW_LIST, 0});
    buttons.push_back({v + VIEW_DETAILS, ID_VIEW_DETAILS, 0});
  } else {
    buttons.push_back({v + VIEW_VIEWMENU, ID_VIEWS, IDS_TIP_VIEWS});
  }
  std::vector<TBBUTTON> entries;
  for (const Button& button : buttons) {
    TBBUTTON entry = {};
    entry.iBitmap = button.command == 0 ? 0 : button.image;
    entry.idCommand = static_cast<int>(button.command);
    entry.fsState = TBSTATE_ENABLED;
    entry.fsStyle = button.command == 0 ? BTNS_SEP : (button.command == ID_VIEWS ? BTNS_DROPDOWN : BTNS_BUTTON);
    entry.iString = -1;
    if (!plain && button.text != 0) {
      // Each text becomes one string of the toolbar (doubly terminated).
      std::string text = ShellModule::String(button.text);
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
  browser->SendControlMsg(FCW_TOOLBAR, TB_BUTTONCOUNT, 0, 0, &count);
  if (count >= 10) return;
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
  std::string upText = ShellModule::String(IDS_TIP_UP);
  upText.push_back('\0');
  LRESULT upIndex = -1;
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDSTRINGA, 0, reinterpret_cast<LPARAM>(upText.c_str()), &upIndex);
  up.iString = upIndex;
  browser->SendControlMsg(FCW_TOOLBAR, TB_INSERTBUTTONA, 2, reinterpret_cast<LPARAM>(&up), nullptr);
  browser->SendControlMsg(FCW_TOOLBAR, TB_ADDBUTTONSA, entries.size(), reinterpret_cast<LPARAM>(entries.data()), nullptr);
}

}  // namespace shell
}  // namespace cairn
