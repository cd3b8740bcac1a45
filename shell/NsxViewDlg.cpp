#include "NsxViewDlg.h"

#include <shlwapi.h>

#include <cstdio>
#include <string>

#include "AboutBox.h"
#include "AddressBox.h"
#include "CairnFolder.h"
#include "CairnView.h"
#include "ItemText.h"
#include "Module.h"
#include "ShellText.h"
#include "ViewHelp.h"
#include "ViewWorkers.h"
#include "resource.h"
#include "res/ViewResource.h"

namespace cairn {
namespace shell {
namespace {

// The browser's parent-folder command.
constexpr UINT kBrowserParentCommand = 40994;
// The browser's help command, which opens the view's help.
constexpr UINT kBrowserHelpCommand = 32651;
constexpr int kStatusFirstPart = 145;
// Posted to the dialog after selection changes: the status bar is counted again.
constexpr UINT kStatusMessage = WM_APP + 0x151;

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

std::string Formatted(UINT format, const std::string& value) {
  char text[600];
  std::snprintf(text, sizeof text, ShellString(format).c_str(), value.c_str());
  return text;
}

std::string Counted(UINT format, int count) {
  char text[600];
  std::snprintf(text, sizeof text, ShellString(format).c_str(), count);
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
  dialog_ = CreateDialogParamA(Module::Instance(), MAKEINTRESOURCEA(IDD_VIEW), parent, &CNsxViewDlg::Proc,
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
    std::string title = ShellString(columns[i].title);
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
    case ID_PROPERTIES:
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
  // A command can end with the browser releasing the view (a navigation destroys this window):
  // the view stays alive until the message is handled. Not while the view is being destroyed.
  ComPtr<ICairnView> keep;
  if (!self->orphaned_) keep = ComPtr<ICairnView>(static_cast<ICairnView*>(self->view_));
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
            LoadImageW(Module::Instance(), MAKEINTRESOURCEW(overlays[i]), IMAGE_ICON, cx, cy, 0));
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
  if (SUCCEEDED(ole_)) dropTarget_ = SUCCEEDED(RegisterDragDrop(dialog_, static_cast<IDropTarget*>(view_)));
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
    case WM_SETFOCUS: {
      HWND tree = nullptr;
      IShellBrowser* browser = view_->Browser();
      if (browser != nullptr && SUCCEEDED(browser->GetControlWindow(FCW_TREE, &tree)) && tree != nullptr &&
          reinterpret_cast<HWND>(wParam) == tree)
        return TRUE;
      SetFocus(list_);
      view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
      return TRUE;
    }
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
    case WM_MENUSELECT:
      ShowMenuHelp(view_->Browser(), wParam, lParam);
      return TRUE;
    case WM_HELP:
      OpenHelp(dialog_);
      return TRUE;
    case WM_CONTEXTMENU:
      ShowContextMenu(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      return TRUE;
    case kStatusMessage:
      statusPending_ = false;
      UpdateStatus();
      return TRUE;
    case kWorkerDoneMessage:
      FinishWork(view_, wParam != 0);
      return TRUE;
    case WM_DESTROY:
      if (dropTarget_) RevokeDragDrop(dialog_);
      dropTarget_ = false;
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
      case 2: return Copy(ShellString(IDS_TYPE_SNAPSHOT), text, size);
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
  switch (header->code) {
    case TBN_BEGINDRAG:
      ShowCommandHelp(view_->Browser(), static_cast<UINT>(reinterpret_cast<NMTOOLBARA*>(header)->iItem));
      return 0;
    case TBN_ENDDRAG:
      EndCommandHelp(view_->Browser());
      return 0;
    case TTN_NEEDTEXTA:
    case TTN_NEEDTEXTW:
      FillToolTip(header);
      return 0;
    default:
      break;
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
      // Selecting all items sends one notice per item: the status is counted once after them.
      if (!statusPending_ && PostMessageW(dialog_, kStatusMessage, 0, 0)) statusPending_ = true;
      return 0;
    // With one-click activation the list reports the activation itself (a click or Return);
    // otherwise a double click or Return opens.
    case NM_DBLCLK:
    case NM_RETURN:
      if (!(ListView_GetExtendedListViewStyle(list_) & LVS_EX_ONECLICKACTIVATE)) OnCommand(ID_OPEN, 0, nullptr);
      return 0;
    case LVN_ITEMACTIVATE:
      if (ListView_GetExtendedListViewStyle(list_) & LVS_EX_ONECLICKACTIVATE) OnCommand(ID_OPEN, 0, nullptr);
      return 0;
    case LVN_BEGINDRAG:
    case LVN_BEGINRDRAG:
      // Items leave an archive through its data object, still to come.
      MessageBeep(0);
      return 0;
    case LVN_BEGINLABELEDITA:
    case LVN_BEGINLABELEDITW:
      editing_ = true;
      return FALSE;
    case LVN_ENDLABELEDITA: {
      const LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(header)->item;
      return Rename(item.iItem, item.pszText != nullptr ? FromAnsi(item.pszText) : std::wstring());
    }
    case LVN_ENDLABELEDITW: {
      const LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
      return Rename(item.iItem, item.pszText != nullptr ? std::wstring(item.pszText) : std::wstring());
    }
    default:
      return 0;
  }
}

BOOL CNsxViewDlg::Rename(int row, const std::wstring& name) {
  editing_ = false;
  if (name.empty()) return FALSE;
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return FALSE;
  HWND tree = nullptr;
  if (view_->Browser() == nullptr || FAILED(view_->Browser()->GetControlWindow(FCW_TREE, &tree))) tree = nullptr;
  if (FAILED(view_->Folder()->SetNameOf(tree, reinterpret_cast<LPCITEMIDLIST>(item.lParam), name.c_str(),
                                        SHGDN_INFOLDER, nullptr)))
    return FALSE;
  PostMessageW(dialog_, WM_COMMAND, ID_REFRESH, 0);
  return TRUE;
}

void CNsxViewDlg::SortCommand(int column) {
  if (sortColumn_ != column && sortColumn_ != -column) Sort(column);
}

void CNsxViewDlg::OnCommand(UINT id, UINT, HWND from) {
  if (from != nullptr && from == ListView_GetEditControl(list_)) return;
  if (id == kBrowserHelpCommand) {
    OpenHelp(dialog_);
    return;
  }
  IShellBrowser* browser = view_->Browser();
  HWND browserWindow = nullptr;
  if (browser != nullptr) browser->GetWindow(&browserWindow);
  // The browser's own commands, whatever sent them, and anything else its controls send.
  const bool browsers = id >= 32652 || ((id < 1 || id > 72) && from != nullptr && GetParent(from) == browserWindow);
  if (browsers && browserWindow != nullptr) {
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
    case ID_SNAPSHOT:
      done = StartSnapshotWorker(view_, dialog_);
      break;
    case ID_DELETE:
      done = ConfirmAndDelete(view_, dialog_, Items(true));
      break;
    case ID_PASTE:
      done = StartPasteWorker(view_, dialog_);
      break;
    case ID_FOCUS_BACK:
    case ID_FOCUS_NEXT: {
      // Into the list from elsewhere in the view; out of it forwards to the browser's address
      // box, backwards (or without an address box) to its tree pane, else to the address box.
      if (GetFocus() != list_) {
        SetFocus(list_);
        break;
      }
      view_->UIActivate(SVUIA_ACTIVATE_NOFOCUS);
      HWND address = FindAddressBox(browser), tree = nullptr;
      if (browser == nullptr || FAILED(browser->GetControlWindow(FCW_TREE, &tree))) tree = nullptr;
      HWND next = id == ID_FOCUS_NEXT && address != nullptr ? address : (tree != nullptr ? tree : address);
      if (next != nullptr) SetFocus(next);
      break;
    }
    case ID_ABOUT:
      ShowAboutBox(dialog_);
      break;
    case ID_HELP_TOPICS:
      OpenHelp(dialog_);
      break;
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
        // Commands whose objects are still to come (restore, properties, copying to the
        // clipboard and adding items).
        done = false;
      }
  }
  SetCursor(previous);
  if (!done) MessageBeep(0);
}

}  // namespace shell
}  // namespace cairn
