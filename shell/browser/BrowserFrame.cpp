#include "BrowserFrame.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlguid.h>
#include <shlwapi.h>

#include <initializer_list>

#include "BrowserResource.h"
#include "nsx12.h"

namespace cairn {
namespace browser {
namespace {

constexpr wchar_t kWindowClass[] = L"CairnBrowserFrame";
// Posted to release views that were closed while one of their own calls was running.
constexpr UINT kReleaseRetired = WM_APP + 1;
// Posted to open the location typed into the address box.
constexpr UINT kOpenTyped = WM_APP + 2;
constexpr UINT kToolbarId = 0xA001;
constexpr UINT kStatusId = 0xA003;
// Room for the address box's list when it drops down.
constexpr int kAddressListHeight = 240;

std::wstring Text(UINT id) {
  wchar_t text[512];
  const int n = LoadStringW(GetModuleHandleW(nullptr), id, text, 512);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

struct MenuItem {
  UINT command;  // 0: a separator
  UINT text;
};

// One popup of the frame's menu bar, identified as views look it up.
bool AppendPopup(HMENU bar, UINT id, UINT text, std::initializer_list<MenuItem> items) {
  Menu popup(CreatePopupMenu());
  if (!popup) return false;
  for (const MenuItem& item : items)
    AppendMenuW(popup.Get(), item.command == 0 ? MF_SEPARATOR : MF_STRING, item.command,
                item.command == 0 ? nullptr : Text(item.text).c_str());
  std::wstring caption = Text(text);
  MENUITEMINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
  info.wID = id;
  info.hSubMenu = popup.Get();
  info.dwTypeData = &caption[0];
  if (!InsertMenuItemW(bar, static_cast<UINT>(GetMenuItemCount(bar)), TRUE, &info)) return false;
  popup.Detach();  // the bar's now
  return true;
}

bool AppendBrowserPopups(HMENU bar) {
  return AppendPopup(bar, FCIDM_MENU_FILE, IDS_BROWSER_MENU_FILE, {{kCommandClose, IDS_BROWSER_CLOSE}}) &&
         AppendPopup(bar, FCIDM_MENU_EDIT, IDS_BROWSER_MENU_EDIT, {}) &&
         AppendPopup(bar, FCIDM_MENU_VIEW, IDS_BROWSER_MENU_VIEW,
                     {{kCommandBack, IDS_BROWSER_BACK_ITEM}, {kCommandUp, IDS_BROWSER_UP_ITEM}}) &&
         AppendPopup(bar, FCIDM_MENU_HELP, IDS_BROWSER_MENU_HELP, {});
}

bool IsBrowserPopup(UINT id) {
  return id == FCIDM_MENU_FILE || id == FCIDM_MENU_EDIT || id == FCIDM_MENU_VIEW || id == FCIDM_MENU_HELP;
}

// Commands of views lie below the browser's range.
bool IsViewCommand(UINT id) { return id < FCIDM_BROWSERFIRST; }

std::wstring StrRetText(STRRET* name, LPCITEMIDLIST item) {
  wchar_t* text = nullptr;
  if (FAILED(StrRetToStrW(name, item, &text)) || text == nullptr) return std::wstring();
  const TaskMemory<wchar_t> owned(text);
  return text;
}

bool FocusIsEdit() {
  wchar_t name[16];
  HWND focus = GetFocus();
  return focus != nullptr && GetClassNameW(focus, name, 16) > 0 && lstrcmpiW(name, L"Edit") == 0;
}

}  // namespace

BrowserFrame::BrowserFrame(const std::wstring& stateDirectory) : states_(stateDirectory) {}

HRESULT BrowserFrame::Create(const std::wstring& stateDirectory, BrowserFrame** frame) {
  if (frame == nullptr) return E_POINTER;
  *frame = nullptr;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW type = {};
  type.cbSize = sizeof type;
  if (!GetClassInfoExW(instance, kWindowClass, &type)) {
    type.lpfnWndProc = &BrowserFrame::WindowProc;
    type.hInstance = instance;
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    type.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    type.lpszClassName = kWindowClass;
    if (RegisterClassExW(&type) == 0) return HRESULT_FROM_WIN32(GetLastError());
  }
  ComPtr<BrowserFrame> created = ComPtr<BrowserFrame>::Adopt(New(stateDirectory));
  if (!created) return E_OUTOFMEMORY;
  created->ownMenu_.Reset(CreateMenu());
  if (!created->ownMenu_.Get() || !AppendBrowserPopups(created->ownMenu_.Get())) return E_OUTOFMEMORY;
  ACCEL keys[] = {{FVIRTKEY | FALT, VK_LEFT, kCommandBack}, {FVIRTKEY, VK_BACK, kCommandUp}};
  created->accelerators_.Reset(CreateAcceleratorTableW(keys, 2));
  HWND window = CreateWindowExW(0, kWindowClass, Text(IDS_BROWSER_TITLE).c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 800, 560, nullptr, created->ownMenu_.Get(), instance, created.Get());
  if (window == nullptr) {
    const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(hr) ? hr : E_FAIL;
  }
  *frame = created.Detach();
  return S_OK;
}

// --- Opening and moving ---

HRESULT BrowserFrame::Open(const std::wstring& path) {
  wchar_t full[MAX_PATH];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
  const DWORD attributes = GetFileAttributesW(full);
  if (attributes == INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(GetLastError());
  LPITEMIDLIST parsed = nullptr;
  HRESULT hr = SHParseDisplayName(full, nullptr, &parsed, 0, nullptr);
  IdList location(parsed);
  if (FAILED(hr)) return hr;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Navigate(location.Get(), true);

  // An archive: the extension's folder class, initialised with the archive file's location.
  ComPtr<IPersistFolder> persist;
  ComPtr<IShellFolder> folder;
  hr = CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFolder, persist.OutVoid());
  if (SUCCEEDED(hr)) hr = persist->Initialize(location.Get());
  if (SUCCEEDED(hr)) hr = persist.As(&folder);
  if (FAILED(hr)) return hr;
  // From now on every location below the archive file is bound through this folder.
  archiveLocation_ = std::move(location);
  archiveFolder_ = folder;
  return Navigate(archiveLocation_.Get(), true);
}

HRESULT BrowserFrame::BindFolder(LPCITEMIDLIST location, ComPtr<IShellFolder>* folder) const {
  if (folder == nullptr) return E_POINTER;
  folder->Reset();
  if (location == nullptr) return E_INVALIDARG;
  if (archiveFolder_) {
    if (LPCITEMIDLIST below = BelowArchive(location)) {
      if (IsEmptyList(below)) {
        *folder = archiveFolder_;
        return S_OK;
      }
      return archiveFolder_->BindToObject(below, nullptr, IID_IShellFolder, folder->OutVoid());
    }
  }
  ComPtr<IShellFolder> desktop;
  HRESULT hr = SHGetDesktopFolder(desktop.Out());
  if (FAILED(hr)) return hr;
  if (IsEmptyList(location)) {
    *folder = desktop;
    return S_OK;
  }
  return desktop->BindToObject(location, nullptr, IID_IShellFolder, folder->OutVoid());
}

LPCITEMIDLIST BrowserFrame::BelowArchive(LPCITEMIDLIST location) const {
  if (LPCITEMIDLIST below = ListBelow(archiveLocation_.Get(), location)) return below;
  // A later parse of the archive's path carries the file's new size and times, so the desktop
  // compares the items that lead to it, by name.
  const size_t levels = ListLevels(archiveLocation_.Get());
  IdList head = ListHead(location, levels);
  ComPtr<IShellFolder> desktop;
  if (!head || levels == 0 || FAILED(SHGetDesktopFolder(desktop.Out()))) return nullptr;
  const HRESULT hr = desktop->CompareIDs(0, archiveLocation_.Get(), head.Get());
  return SUCCEEDED(hr) && HRESULT_CODE(hr) == 0 ? SkipLevels(location, levels) : nullptr;
}

std::wstring BrowserFrame::LocationName(LPCITEMIDLIST location, SHGDNF flags) const {
  if (location == nullptr) return std::wstring();
  STRRET name = {};
  ComPtr<IShellFolder> parent;
  if (IsEmptyList(location)) {
    if (FAILED(SHGetDesktopFolder(parent.Out())) || FAILED(parent->GetDisplayNameOf(location, flags, &name)))
      return std::wstring();
    return StrRetText(&name, location);
  }
  IdList parentLocation = ParentList(location);
  LPCITEMIDLIST last = ILFindLastID(location);
  if (!parentLocation || FAILED(BindFolder(parentLocation.Get(), &parent)) ||
      FAILED(parent->GetDisplayNameOf(last, flags, &name)))
    return std::wstring();
  return StrRetText(&name, last);
}

HRESULT BrowserFrame::Navigate(LPCITEMIDLIST target, bool remember) {
  if (window_ == nullptr) return E_UNEXPECTED;
  ComPtr<IShellFolder> folder;
  HRESULT hr = BindFolder(target, &folder);
  if (FAILED(hr)) return hr;
  ComPtr<IShellView> view;
  hr = folder->CreateViewObject(window_, IID_IShellView, view.OutVoid());
  if (FAILED(hr)) return hr;
  if (!view) return E_FAIL;
  IdList copy = CopyList(target);
  if (!copy) return E_OUTOFMEMORY;

  CloseView();
  IdList previous = std::move(location_);
  location_ = std::move(copy);
  hr = ShowView(view.Get());
  if (FAILED(hr)) {
    // The place left is shown again, as it was.
    location_ = std::move(previous);
    ComPtr<IShellView> again;
    if (location_ && SUCCEEDED(BindFolder(location_.Get(), &folder)) &&
        SUCCEEDED(folder->CreateViewObject(window_, IID_IShellView, again.OutVoid())) && again)
      ShowView(again.Get());
    UpdateChrome();
    return hr;
  }
  if (remember && previous) history_.push_back(std::move(previous));
  UpdateChrome();
  return S_OK;
}

HRESULT BrowserFrame::ShowView(IShellView* view) {
  CreateToolbar();
  SendMessageW(status_, SB_SIMPLE, FALSE, 0);
  int whole = -1;
  SendMessageW(status_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&whole));
  SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
  // The new view names its location in the address box; the frame names it when the view does not.
  SendMessageW(address_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetWindowTextW(address_, L"");
  RECT area = Layout();
  FOLDERSETTINGS settings = {viewMode_, 0};
  HWND window = nullptr;
  const HRESULT hr = view->CreateViewWindow(nullptr, &settings, this, &area, &window);
  if (FAILED(hr)) return hr;
  if (window == nullptr) return E_FAIL;
  view_ = ComPtr<IShellView>(view);
  viewWindow_ = window;
  view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
  Layout();
  return S_OK;
}

void BrowserFrame::CloseView() {
  if (!view_) return;
  FOLDERSETTINGS settings = {};
  // The next folder opens in the mode this one was left in.
  if (SUCCEEDED(view_->GetCurrentInfo(&settings)) && settings.ViewMode >= FVM_FIRST && settings.ViewMode <= FVM_LAST)
    viewMode_ = settings.ViewMode;
  view_->SaveViewState();
  view_->UIActivate(SVUIA_DEACTIVATE);
  view_->DestroyViewWindow();
  // The view may be closing from inside one of its own calls: it lives until the frame's next message.
  retired_.push_back(view_);
  PostMessageW(window_, kReleaseRetired, 0, 0);
  view_.Reset();
  viewWindow_ = nullptr;
  if (GetMenu(window_) != ownMenu_.Get()) SetMenu(window_, ownMenu_.Get());
}

void BrowserFrame::CreateToolbar() {
  // Each view starts from the frame's own buttons: what the last one added goes with it.
  if (toolbar_ != nullptr) DestroyWindow(toolbar_);
  toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0,
                             0, window_, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kToolbarId)),
                             GetModuleHandleW(nullptr), nullptr);
  if (toolbar_ == nullptr) return;
  SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(toolbar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
  const LRESULT history = SendMessageW(toolbar_, TB_LOADIMAGES, IDB_HIST_SMALL_COLOR, reinterpret_cast<LPARAM>(HINST_COMMCTRL));
  const LRESULT views = SendMessageW(toolbar_, TB_LOADIMAGES, IDB_VIEW_SMALL_COLOR, reinterpret_cast<LPARAM>(HINST_COMMCTRL));
  std::wstring back = Text(IDS_BROWSER_BACK), up = Text(IDS_BROWSER_UP);
  TBBUTTON buttons[2] = {};
  buttons[0].iBitmap = static_cast<int>(history + HIST_BACK);
  buttons[0].idCommand = kCommandBack;
  buttons[0].fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
  buttons[0].iString = reinterpret_cast<INT_PTR>(back.c_str());
  buttons[1].iBitmap = static_cast<int>(views + VIEW_PARENTFOLDER);
  buttons[1].idCommand = kCommandUp;
  buttons[1].fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
  buttons[1].iString = reinterpret_cast<INT_PTR>(up.c_str());
  SendMessageW(toolbar_, TB_ADDBUTTONSW, 2, reinterpret_cast<LPARAM>(buttons));
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
}

void BrowserFrame::CreateAddressBox() {
  address_ = CreateWindowExW(0, WC_COMBOBOXEXW, nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN, 0, 0, 0,
                             kAddressListHeight, window_, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kAddressBoxId)),
                             GetModuleHandleW(nullptr), nullptr);
  if (address_ == nullptr) return;
  SendMessageW(address_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  // The shell's small icons, which views and the frame name their locations' icons in.
  SHFILEINFOW info = {};
  const auto icons = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  if (icons != nullptr) SendMessageW(address_, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(icons));
}

RECT BrowserFrame::Layout() {
  RECT area = {0, 0, 0, 0};
  if (window_ == nullptr) return area;
  RECT client;
  GetClientRect(window_, &client);
  int top = 0, bottom = client.bottom;
  if (toolbar_ != nullptr) {
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    RECT rect;
    GetWindowRect(toolbar_, &rect);
    top = rect.bottom - rect.top;
  }
  if (address_ != nullptr) {
    // A row of its own under the toolbar; the window's height includes the list when it drops.
    SetWindowPos(address_, nullptr, 2, top + 2, client.right > 4 ? client.right - 4 : 0, kAddressListHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const int height = static_cast<int>(SendMessageW(address_, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    top += (height > 0 ? height + 6 : 0) + 4;
  }
  if (status_ != nullptr) {
    SendMessageW(status_, WM_SIZE, 0, 0);
    RECT rect;
    GetWindowRect(status_, &rect);
    bottom -= rect.bottom - rect.top;
  }
  area = {0, top, client.right, bottom > top ? bottom : top};
  if (viewWindow_ != nullptr)
    SetWindowPos(viewWindow_, nullptr, 0, top, client.right, area.bottom - top, SWP_NOZORDER | SWP_NOACTIVATE);
  return area;
}

void BrowserFrame::UpdateChrome() {
  const std::wstring name = LocationName(location_.Get(), SHGDN_NORMAL);
  const std::wstring title = Text(IDS_BROWSER_TITLE);
  SetWindowTextW(window_, name.empty() ? title.c_str() : (name + L" - " + title).c_str());
  if (address_ != nullptr && GetWindowTextLengthW(address_) == 0)
    SetWindowTextW(address_, LocationName(location_.Get(), SHGDN_FORPARSING | SHGDN_FORADDRESSBAR).c_str());
  if (toolbar_ != nullptr) {
    SendMessageW(toolbar_, TB_ENABLEBUTTON, kCommandBack, MAKELONG(!history_.empty(), 0));
    SendMessageW(toolbar_, TB_ENABLEBUTTON, kCommandUp, MAKELONG(location_ && !IsEmptyList(location_.Get()), 0));
  }
}

bool BrowserFrame::PreTranslateMessage(MSG* message) {
  if (window_ == nullptr || message->message < WM_KEYFIRST || message->message > WM_KEYLAST) return false;
  // A modeless dialog of the view's (the welcome wizard) takes its own keys: Tab, Enter, Escape.
  HWND root = message->hwnd != nullptr ? GetAncestor(message->hwnd, GA_ROOT) : nullptr;
  char name[8] = "";
  if (root != nullptr && root != window_ && GetClassNameA(root, name, sizeof name) && lstrcmpA(name, "#32770") == 0)
    return IsDialogMessageW(root, message) != FALSE;
  if (view_ && viewWindow_ != nullptr && (message->hwnd == viewWindow_ || IsChild(viewWindow_, message->hwnd))) {
    ComPtr<IShellView> view = view_;
    if (view->TranslateAccelerator(message) == S_OK) return true;
  }
  if (message->hwnd != window_ && !IsChild(window_, message->hwnd)) return false;
  // Backspace belongs to an edit box (a name being changed) rather than to Up.
  if (FocusIsEdit()) return false;
  return TranslateAcceleratorSB(message, 0) == S_OK;
}

// --- Window ---

LRESULT CALLBACK BrowserFrame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  BrowserFrame* frame = reinterpret_cast<BrowserFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    frame = static_cast<BrowserFrame*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    frame->window_ = window;
    frame->AddRef();  // the window's own reference, given back at WM_NCDESTROY
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
  }
  if (frame == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    frame->window_ = nullptr;
    frame->retired_.clear();
    frame->Release();
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return frame->OnMessage(message, wParam, lParam);
}

LRESULT BrowserFrame::ToView(UINT message, WPARAM wParam, LPARAM lParam) {
  // A view hands back what it does not handle; that must not come round again.
  if (viewWindow_ == nullptr || forwarding_) return 0;
  forwarding_ = true;
  const LRESULT result = SendMessageW(viewWindow_, message, wParam, lParam);
  forwarding_ = false;
  return result;
}

bool BrowserFrame::OnCommand(UINT id) {
  switch (id) {
    case kCommandClose:
      DestroyWindow(window_);
      return true;
    case kCommandBack:
      if (FAILED(BrowseObject(nullptr, SBSP_NAVIGATEBACK))) MessageBeep(0);
      return true;
    case kCommandUp:
      if (FAILED(BrowseObject(nullptr, SBSP_PARENT))) MessageBeep(0);
      return true;
    default:
      return false;
  }
}

LRESULT BrowserFrame::OnNotify(WPARAM wParam, NMHDR* header) {
  if (address_ != nullptr && header->hwndFrom == address_ && header->code == CBEN_ENDEDITW) {
    auto* edit = reinterpret_cast<NMCBEENDEDITW*>(header);
    if (edit->iWhy == CBENF_RETURN && edit->szText[0] != 0) {
      typedAddress_ = edit->szText;
      PostMessageW(window_, kOpenTyped, 0, 0);
    }
    return FALSE;
  }
  const bool fromToolbar = toolbar_ != nullptr && (header->hwndFrom == toolbar_ ||
      header->hwndFrom == reinterpret_cast<HWND>(SendMessageW(toolbar_, TB_GETTOOLTIPS, 0, 0)));
  if (!fromToolbar) return 0;
  UINT command = static_cast<UINT>(header->idFrom);
  if (header->code == TBN_DROPDOWN || header->code == TBN_BEGINDRAG || header->code == TBN_ENDDRAG ||
      header->code == TBN_HOTITEMCHANGE)
    command = static_cast<UINT>(reinterpret_cast<NMTOOLBARW*>(header)->iItem);
  if (IsViewCommand(command)) return ToView(WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(header));
  if (header->code == TTN_GETDISPINFOW && (command == kCommandBack || command == kCommandUp)) {
    static std::wstring tip;
    tip = Text(command == kCommandBack ? IDS_BROWSER_BACK : IDS_BROWSER_UP);
    reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = &tip[0];
  }
  return 0;
}

LRESULT BrowserFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      status_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                window_, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kStatusId)),
                                GetModuleHandleW(nullptr), nullptr);
      CreateToolbar();
      CreateAddressBox();
      UpdateChrome();
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_SETFOCUS:
      if (viewWindow_ != nullptr) SetFocus(viewWindow_);
      return 0;
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam))) return 0;
      if (IsViewCommand(LOWORD(wParam))) ToView(message, wParam, lParam);
      return 0;
    case WM_INITMENUPOPUP: {
      HMENU popup = reinterpret_cast<HMENU>(wParam);
      EnableMenuItem(popup, kCommandBack, MF_BYCOMMAND | (history_.empty() ? MF_GRAYED : MF_ENABLED));
      EnableMenuItem(popup, kCommandUp, MF_BYCOMMAND | (location_ && !IsEmptyList(location_.Get()) ? MF_ENABLED : MF_GRAYED));
      return ToView(message, wParam, lParam);
    }
    case WM_MENUSELECT:
      return ToView(message, wParam, lParam);
    case WM_NOTIFY:
      return OnNotify(wParam, reinterpret_cast<NMHDR*>(lParam));
    case kReleaseRetired:
      retired_.clear();
      return 0;
    case kOpenTyped: {
      const std::wstring typed = std::move(typedAddress_);
      typedAddress_.clear();
      if (!typed.empty() && FAILED(Open(typed))) MessageBeep(0);
      return 0;
    }
    case WM_DESTROY:
      CloseView();
      // The frame owns its menu bar: the window must not destroy it with itself.
      SetMenu(window_, nullptr);
      if (quitOnClose_) PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

// --- IUnknown ---

STDMETHODIMP BrowserFrame::QueryInterface(REFIID iid, void** object) {
  if (object != nullptr && iid == IID_IOleWindow) return ComObject::QueryInterface(IID_IShellBrowser, object);
  return ComObject::QueryInterface(iid, object);
}

// --- IOleWindow ---

STDMETHODIMP BrowserFrame::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserFrame::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// --- IShellBrowser ---

STDMETHODIMP BrowserFrame::InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) {
  if (shared == nullptr) return E_INVALIDARG;
  if (!AppendBrowserPopups(shared)) return E_OUTOFMEMORY;
  if (widths != nullptr) {
    widths->width[0] = 1;  // File
    widths->width[2] = 2;  // Edit, View
    widths->width[4] = 1;  // Help
  }
  return S_OK;
}

STDMETHODIMP BrowserFrame::SetMenuSB(HMENU shared, HOLEMENU, HWND) {
  if (window_ == nullptr) return E_FAIL;
  SetMenu(window_, shared != nullptr ? shared : ownMenu_.Get());
  DrawMenuBar(window_);
  return S_OK;
}

STDMETHODIMP BrowserFrame::RemoveMenusSB(HMENU shared) {
  if (shared == nullptr) return E_INVALIDARG;
  // The view destroys its menu next: the frame must not go on showing it.
  if (window_ != nullptr && GetMenu(window_) == shared) SetMenu(window_, ownMenu_.Get());
  for (int position = GetMenuItemCount(shared) - 1; position >= 0; --position) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_SUBMENU;
    if (!GetMenuItemInfoW(shared, static_cast<UINT>(position), TRUE, &info) || info.hSubMenu == nullptr ||
        !IsBrowserPopup(info.wID))
      continue;
    RemoveMenu(shared, static_cast<UINT>(position), MF_BYPOSITION);
    DestroyMenu(info.hSubMenu);
  }
  return S_OK;
}

STDMETHODIMP BrowserFrame::SetStatusTextSB(LPCWSTR text) {
  if (status_ == nullptr) return E_FAIL;
  SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text != nullptr ? text : L""));
  return S_OK;
}

STDMETHODIMP BrowserFrame::EnableModelessSB(BOOL) { return S_OK; }

STDMETHODIMP BrowserFrame::TranslateAcceleratorSB(MSG* message, WORD) {
  if (message == nullptr) return E_POINTER;
  if (window_ == nullptr || !accelerators_) return S_FALSE;
  return TranslateAcceleratorW(window_, accelerators_.Get(), message) ? S_OK : S_FALSE;
}

STDMETHODIMP BrowserFrame::BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) {
  if (flags & SBSP_NAVIGATEFORWARD) return E_NOTIMPL;
  if (flags & SBSP_NAVIGATEBACK) {
    if (history_.empty()) return E_FAIL;
    IdList target = std::move(history_.back());
    history_.pop_back();
    const HRESULT hr = Navigate(target.Get(), false);
    if (FAILED(hr)) history_.push_back(std::move(target));
    UpdateChrome();
    return hr;
  }
  IdList target;
  if (flags & SBSP_PARENT) {
    if (!location_ || IsEmptyList(location_.Get())) return E_FAIL;
    target = ParentList(location_.Get());
  } else if (flags & SBSP_RELATIVE) {
    if (!location_) return E_FAIL;
    if (list == nullptr) return E_INVALIDARG;
    target = JoinLists(location_.Get(), list);
  } else {
    if (list == nullptr) return E_INVALIDARG;
    target = CopyList(list);
  }
  if (!target) return E_OUTOFMEMORY;
  return Navigate(target.Get(), true);
}

STDMETHODIMP BrowserFrame::GetViewStateStream(DWORD mode, IStream** stream) {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  if (!location_) return E_FAIL;
  return states_.Open(LocationName(location_.Get(), SHGDN_FORPARSING), mode, stream);
}

STDMETHODIMP BrowserFrame::GetControlWindow(UINT id, HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = id == FCW_TOOLBAR ? toolbar_ : id == FCW_STATUS ? status_ : nullptr;
  return *window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserFrame::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (result != nullptr) *result = 0;
  HWND control = nullptr;
  const HRESULT hr = GetControlWindow(id, &control);
  if (FAILED(hr)) return hr;
  const LRESULT answer = SendMessageW(control, message, wParam, lParam);
  if (result != nullptr) *result = answer;
  return S_OK;
}

STDMETHODIMP BrowserFrame::QueryActiveShellView(IShellView** view) {
  if (view == nullptr) return E_POINTER;
  *view = view_ ? ComPtr<IShellView>(view_).Detach() : nullptr;
  return *view != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserFrame::OnViewWindowActive(IShellView*) { return S_OK; }

STDMETHODIMP BrowserFrame::SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT) {
  if (toolbar_ == nullptr) return E_FAIL;
  if (count == 0) return S_OK;
  if (buttons == nullptr) return E_INVALIDARG;
  SendMessageW(toolbar_, TB_ADDBUTTONSW, count, reinterpret_cast<LPARAM>(buttons));
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  return S_OK;
}

// --- IServiceProvider ---

STDMETHODIMP BrowserFrame::QueryService(REFGUID service, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (service != SID_SShellBrowser && service != SID_STopLevelBrowser) return E_NOINTERFACE;
  return QueryInterface(iid, object);
}

}  // namespace browser
}  // namespace cairn
