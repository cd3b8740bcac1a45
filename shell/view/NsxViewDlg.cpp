#include "NsxViewDlg.h"

#include <shlwapi.h>

#include <string>

#include "AboutBox.h"
#include "AddressBox.h"
#include "AnsiText.h"
#include "CompareVerbs.h"
#include "DialogBase.h"
#include "FileList.h"
#include "FolderDetails.h"
#include "IdList.h"
#include "ItemVerbs.h"
#include "Module.h"
#include "UserObjects.h"
#include "ViewHelp.h"
#include "ViewResource.h"

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

// What LVM_SORTITEMS hands the comparison: the folder and the signed column (1-based; negative
// reverses the order).
struct SortOrder {
  IShellFolder* folder;
  int column;
};

// The folder's comparison of two rows (CompareIDs, by column number less 1), in the order asked.
int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM parameter) {
  const SortOrder& order = *reinterpret_cast<const SortOrder*>(parameter);
  const int magnitude = order.column < 0 ? -order.column : order.column;
  if (magnitude == 0) return 0;
  const HRESULT hr = order.folder->CompareIDs(magnitude - 1, reinterpret_cast<LPCITEMIDLIST>(a),
                                              reinterpret_cast<LPCITEMIDLIST>(b));
  const int result = FAILED(hr) ? 0 : static_cast<SHORT>(HRESULT_CODE(hr));
  const int sign = result < 0 ? -1 : (result > 0 ? 1 : 0);
  return order.column < 0 ? -sign : sign;
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
  const size_t count = host_->Level().AtRoot() ? kSnapshotColumns : kObjectColumns;
  for (size_t i = 0; i < count; ++i) {
    SHELLDETAILS details = {};
    if (FAILED(host_->ArchiveFolder()->GetDetailsOf(nullptr, static_cast<UINT>(i), &details))) continue;
    wchar_t* text = nullptr;
    if (FAILED(StrRetToStrW(&details.str, nullptr, &text))) continue;
    const TaskMemory<wchar_t> title(text);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = details.fmt;
    column.cx = state.widths[i];
    column.pszText = title.Get();
    column.iSubItem = static_cast<int>(i);
    SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

void CNsxViewDlg::ReadWidths(ViewState* state) const {
  const size_t count = host_->Level().AtRoot() ? kSnapshotColumns : kObjectColumns;
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
  host_->SetViewMode(mode);
  SetWindowLongW(list_, GWL_STYLE, (GetWindowLongW(list_, GWL_STYLE) & ~LVS_TYPEMASK) | style);
  if (IShellBrowser* browser = host_->Browser()) {
    LRESULT result = 0;
    for (UINT command = ID_VIEW_LARGE_ICONS; command <= ID_VIEW_DETAILS; ++command)
      browser->SendControlMsg(FCW_TOOLBAR, TB_CHECKBUTTON, command,
                              MAKELONG(command - ID_VIEW_LARGE_ICONS + FVM_ICON == mode, 0), &result);
  }
}

void CNsxViewDlg::Fill() {
  ListView_DeleteAllItems(list_);
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  SHCONTF flags = SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;
  FOLDERSETTINGS settings = {};
  host_->View()->GetCurrentInfo(&settings);
  if (!(settings.fFlags & FWF_NOSUBFOLDERS)) flags |= SHCONTF_FOLDERS;
  ComPtr<IEnumIDList> items;
  if (host_->Folder()->EnumObjects(dialog_, flags, items.Out()) == S_OK && items) {
    IdList list;
    while (items->Next(1, list.Out(), nullptr) == S_OK && list) {
      LVITEMA entry = {};
      entry.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
      entry.iItem = 0;
      entry.pszText = LPSTR_TEXTCALLBACKA;
      entry.iImage = I_IMAGECALLBACK;
      entry.lParam = reinterpret_cast<LPARAM>(list.Get());
      entry.state = INDEXTOOVERLAYMASK(ItemOverlay(host_->Level(), list.Get()));
      entry.stateMask = LVIS_OVERLAYMASK;
      // The list owns what it holds, until LVN_DELETEITEM.
      if (SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry)) >= 0) list.Detach();
    }
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
  UpdateWindow(list_);
  UpdateStatus();
}

void CNsxViewDlg::Sort(int column) {
  sortColumn_ = column;
  SortOrder order = {host_->Folder(), column};
  SendMessageW(list_, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&order), reinterpret_cast<LPARAM>(&CompareRows));
}

void CNsxViewDlg::UpdateStatus() {
  IShellBrowser* browser = host_->Browser();
  if (browser == nullptr) return;
  int parts[2] = {kStatusFirstPart, -1};
  LRESULT result = 0;
  browser->SendControlMsg(FCW_STATUS, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts), &result);
  const std::pair<std::string, std::string> texts = StatusTexts(host_->Level(), Items(false), Items(true));
  browser->SendControlMsg(FCW_STATUS, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(texts.first.c_str()), &result);
  browser->SendControlMsg(FCW_STATUS, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(texts.second.c_str()), &result);
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
  if (FAILED(host_->Folder()->GetAttributesOf(static_cast<UINT>(lists.size()), lists.data(), &abilities))) return 0;
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
      return n == 1 || (!host_->Level().AtRoot() && n >= 1);
    case ID_COMPARE_PREVIOUS:
    case ID_COMPARE_CURRENT:
      return n == 1 && !host_->Level().AtRoot() && Abilities(selected, SFGAO_FOLDER) == 0;
    case ID_COPY:
      return host_->Level().AtRoot() ? n == 1 : n >= 1;
    case ID_PASTE:
      return ClipboardOffersFilesToAdd();
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
  CNsxViewDlg* self = DialogObject<CNsxViewDlg>(DialogKind::kDialog, window, message, lParam);
  if (self == nullptr) return FALSE;
  if (message == WM_INITDIALOG) self->dialog_ = window;
  // A command can end with the browser releasing the view (a navigation destroys this window):
  // the view stays alive until the message is handled. Not while the view is being destroyed.
  ComPtr<IShellView> keep;
  if (!self->orphaned_) keep = ComPtr<IShellView>(self->host_->View());
  return self->OnMessage(message, wParam, lParam);
}

void CNsxViewDlg::OnInitDialog() {
  list_ = GetDlgItem(dialog_, IDC_VIEW_LIST);
  // Wide notifications: an archive may keep names that no code page holds.
  ListView_SetUnicodeFormat(list_, TRUE);
  // The cache's image lists start empty, so the overlay icons 501, 503 and 504 take indexes 0 to 2.
  if (icons_.Create(GetDlgItem(dialog_, IDC_VIEW_ICON_KEYS))) {
    icons_.AddOverlay(IDI_OVERLAY_ADDED, 1);
    icons_.AddOverlay(IDI_OVERLAY_REMOVED, 2);
    icons_.AddOverlay(IDI_OVERLAY_CHANGED, 3);
    ListView_SetImageList(list_, icons_.Large(), LVSIL_NORMAL);
    ListView_SetImageList(list_, icons_.Small(), LVSIL_SMALL);
  }
  SetWindowLongW(list_, GWL_STYLE, GetWindowLongW(list_, GWL_STYLE) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  SetWindowLongW(list_, GWL_EXSTYLE, GetWindowLongW(list_, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY);
  ApplyShellSettings();
  ole_ = OleInitialize(nullptr);
  if (SUCCEEDED(ole_)) dropTarget_ = SUCCEEDED(RegisterDragDrop(dialog_, host_->DropTarget()));
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
      IShellBrowser* browser = host_->Browser();
      if (browser != nullptr && SUCCEEDED(browser->GetControlWindow(FCW_TREE, &tree)) && tree != nullptr &&
          reinterpret_cast<HWND>(wParam) == tree)
        return TRUE;
      SetFocus(list_);
      host_->View()->UIActivate(SVUIA_ACTIVATE_FOCUS);
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
      ShowMenuHelp(host_->Browser(), wParam, lParam);
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
    case kWorkDoneMessage:
      FinishWork(static_cast<AfterWork>(wParam));
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

std::wstring CNsxViewDlg::CellText(LPCITEMIDLIST list, int column) const {
  SHELLDETAILS details = {};
  wchar_t* text = nullptr;
  if (FAILED(host_->ArchiveFolder()->GetDetailsOf(list, static_cast<UINT>(column), &details)) ||
      FAILED(StrRetToStrW(&details.str, list, &text)) || text == nullptr)
    return std::wstring();
  const TaskMemory<wchar_t> owned(text);
  return text;
}

UINT CNsxViewDlg::ViewMode() const {
  FOLDERSETTINGS settings = {};
  host_->View()->GetCurrentInfo(&settings);
  return settings.ViewMode;
}

void CNsxViewDlg::FinishWork(AfterWork after) {
  const bool atRoot = host_->Level().AtRoot();
  if (after == AfterWork::kRefreshAtRootElseBrowse && atRoot) {
    if (FAILED(host_->View()->Refresh())) MessageBeep(0);
    return;
  }
  // Picked files were added: inside a snapshot the view stays as it is.
  if (after == AfterWork::kBrowseAgainAtRoot && !atRoot) return;
  // The archive root: the folder's own location.
  IShellBrowser* browser = host_->Browser();
  LPCITEMIDLIST root = host_->Level().Location();
  if (browser == nullptr || root == nullptr ||
      FAILED(browser->BrowseObject(root, SBSP_ABSOLUTE | SBSP_ALLOW_AUTONAVIGATE)))
    MessageBeep(0);
}

WorkOrder CNsxViewDlg::Order() const {
  WorkOrder order;
  order.operations = host_->Level().Operations();
  order.owner = dialog_;
  order.doneWindow = dialog_;
  HWND tree = nullptr;
  IShellBrowser* browser = host_->Browser();
  order.tellShell = browser != nullptr && SUCCEEDED(browser->GetControlWindow(FCW_TREE, &tree)) && tree != nullptr;
  return order;
}

bool CNsxViewDlg::RunItemVerb(UINT id) {
  // A copy of the selection: the list may be filled anew while a dialog is open.
  const std::optional<Selection> selected = Selected();
  if (!selected) return false;
  bool commentChanged = false;
  switch (id) {
    case ID_DELETE: return DeleteSelection(*selected, Order());
    case ID_COPY: return CopySelection(*selected, dialog_);
    case ID_RESTORE: return RestoreSelection(*selected, dialog_);
    case ID_COMPARE_PREVIOUS: return CompareWithPreviousRevision(*selected, dialog_);
    case ID_COMPARE_CURRENT: return CompareWithCurrentFile(*selected, dialog_);
    case ID_PROPERTIES:
      if (!ShowSelectionProperties(*selected, dialog_, &commentChanged)) return false;
      // The snapshots' comments are shown in the list.
      if (commentChanged) host_->View()->Refresh();
      return true;
    default: return false;
  }
}

LRESULT CNsxViewDlg::OnNotify(NMHDR* header) {
  if (header->code == TBN_DROPDOWN) {
    auto* button = reinterpret_cast<NMTOOLBARA*>(header);
    if (button->iItem == ID_VIEWS) {
      ShowViewsMenu(button);
    } else if (HWND parent = GetParent(header->hwndFrom)) {
      // Another button of the browser's toolbar: the browser's own business.
      if (IShellBrowser* browser = host_->Browser()) {
        HWND browserWindow = nullptr;
        if (SUCCEEDED(browser->GetWindow(&browserWindow)) && parent == browserWindow)
          return SendMessageW(browserWindow, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
      }
    }
    return TBDDRET_DEFAULT;
  }
  switch (header->code) {
    case TBN_BEGINDRAG:
      ShowCommandHelp(host_->Browser(), static_cast<UINT>(reinterpret_cast<NMTOOLBARA*>(header)->iItem));
      return 0;
    case TBN_ENDDRAG:
      EndCommandHelp(host_->Browser());
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
      if ((info->item.mask & LVIF_TEXT) && info->item.cchTextMax > 0) {
        const std::wstring text = CellText(list, info->item.iSubItem);
        if (header->code == LVN_GETDISPINFOA)
          lstrcpynA(info->item.pszText, ToAnsi(text.c_str()).c_str(), info->item.cchTextMax);
        else
          lstrcpynW(reinterpret_cast<NMLVDISPINFOW*>(header)->item.pszText, text.c_str(), info->item.cchTextMax);
      }
      if (info->item.mask & LVIF_IMAGE) info->item.iImage = icons_.IndexOf(host_->Folder(), list);
      info->item.mask |= LVIF_DI_SETITEM;
      return 0;
    }
    case LVN_DELETEITEM: {
      const IdList freed(reinterpret_cast<LPITEMIDLIST>(reinterpret_cast<NMLISTVIEW*>(header)->lParam));
      return 0;
    }
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
      StartDrag();
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
  if (host_->Browser() == nullptr || FAILED(host_->Browser()->GetControlWindow(FCW_TREE, &tree))) tree = nullptr;
  if (FAILED(host_->Folder()->SetNameOf(tree, reinterpret_cast<LPCITEMIDLIST>(item.lParam), name.c_str(),
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
  IShellBrowser* browser = host_->Browser();
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
      LPCITEMIDLIST item = Items(true).front();
      SFGAOF kind = SFGAO_FOLDER;
      if (FAILED(host_->Folder()->GetAttributesOf(1, &item, &kind))) {
        done = false;
      } else if (kind & SFGAO_FOLDER) {
        done = browser != nullptr && SUCCEEDED(browser->BrowseObject(item, SBSP_RELATIVE));
      } else {
        done = host_->ArchiveFolder()->DisplayItem(dialog_, item) == S_OK;
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
      const UINT mode = ViewMode();
      ApplyViewMode(mode >= FVM_ICON && mode <= FVM_DETAILS ? next[mode] : static_cast<UINT>(FVM_DETAILS));
      break;
    }
    case ID_REFRESH:
      host_->View()->Refresh();
      break;
    case ID_SNAPSHOT:
      done = StartSnapshot(Order());
      break;
    case ID_DELETE:
    case ID_COPY:
    case ID_RESTORE:
    case ID_PROPERTIES:
    case ID_COMPARE_PREVIOUS:
    case ID_COMPARE_CURRENT:
      done = RunItemVerb(id);
      break;
    case ID_PASTE:
      done = StartPaste(Order());
      break;
    case ID_NEW_ITEM:
      done = AddPickedFiles(Order());
      break;
    case ID_FOCUS_BACK:
    case ID_FOCUS_NEXT: {
      // Into the list from elsewhere in the view; out of it forwards to the browser's address
      // box, backwards (or without an address box) to its tree pane, else to the address box.
      if (GetFocus() != list_) {
        SetFocus(list_);
        break;
      }
      host_->View()->UIActivate(SVUIA_ACTIVATE_NOFOCUS);
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
      host_->Level().Operations().ShowArchiveLog(dialog_);
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
        // Not a command of the view.
        done = false;
      }
  }
  SetCursor(previous);
  if (!done) MessageBeep(0);
}

}  // namespace shell
}  // namespace cairn
