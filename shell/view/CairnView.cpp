#include "CairnView.h"

#include "AddressBox.h"
#include "SettingsPage.h"
#include "MenuMerge.h"
#include "Module.h"
#include "ShellVersion.h"
#include "ViewResource.h"

namespace cairn {
namespace shell {
namespace {

// The browser's popups the view merges into, in the order of the view's menu resources.
constexpr UINT kBrowserPopups[] = {FCIDM_MENU_FILE, FCIDM_MENU_EDIT, FCIDM_MENU_VIEW, FCIDM_MENU_HELP};

HMENU BrowserPopup(HMENU menu, UINT id) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_SUBMENU;
    if (GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) && info.wID == id) return info.hSubMenu;
  }
  return nullptr;
}

}  // namespace

CCairnView::CCairnView() : dialog_(this) {}

CCairnView::~CCairnView() {
  dialog_.Orphan();
  RemoveMenus();
  dialog_.Destroy();
}

STDMETHODIMP CCairnView::Initialize(ICairnFolder* folder) {
  if (folder == nullptr) return E_INVALIDARG;
  HRESULT hr = folder->QueryInterface(IID_IShellFolder, folder_.OutVoid());
  if (SUCCEEDED(hr)) hr = folder->QueryInterface(__uuidof(IArchiveFolder), archiveFolder_.OutVoid());
  if (SUCCEEDED(hr)) hr = archiveFolder_->GetLevel(&level_);
  if (FAILED(hr)) {
    folder_.Reset();
    archiveFolder_.Reset();
    return hr;
  }
  accelerators_ = LoadAcceleratorsW(Module::Instance(), MAKEINTRESOURCEW(IDA_VIEW));
  editingAccelerators_ = LoadAcceleratorsW(Module::Instance(), MAKEINTRESOURCEW(IDA_VIEW_EDITING));
  state_ = DefaultViewState(true);
  return S_OK;
}

STDMETHODIMP CCairnView::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = dialog_.Window();
  return *window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP CCairnView::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP CCairnView::TranslateAccelerator(MSG* message) {
  if (message == nullptr) return E_POINTER;
  if (dialog_.Window() == nullptr) return S_FALSE;
  HWND edit = ListView_GetEditControl(dialog_.List());
  const bool editing = dialog_.Editing() && edit != nullptr && message->hwnd == edit;
  HACCEL table = editing ? editingAccelerators_ : accelerators_;
  if (table == nullptr) return S_FALSE;
  return TranslateAcceleratorA(dialog_.Window(), table, message) ? S_OK : S_FALSE;
}

STDMETHODIMP CCairnView::EnableModeless(BOOL) { return S_OK; }

STDMETHODIMP CCairnView::UIActivate(UINT state) {
  if (state > SVUIA_INPLACEACTIVATE) return E_INVALIDARG;
  if ((state == SVUIA_ACTIVATE_NOFOCUS || state == SVUIA_ACTIVATE_FOCUS) && !PlainShell())
    UpdateAddressBox(browser_.Get(), folder_.Get(), level_);
  if (state == activation_ || (state == SVUIA_INPLACEACTIVATE && activation_ == SVUIA_DEACTIVATE)) return S_OK;
  if (!browser_) return E_UNEXPECTED;
  if (state == SVUIA_DEACTIVATE || state == SVUIA_INPLACEACTIVATE) {
    RemoveMenus();
    activation_ = SVUIA_DEACTIVATE;
    return S_OK;
  }
  // Recorded first: the browser may move the focus meanwhile, and the dialog asking again for
  // this state then changes nothing.
  activation_ = state;
  browser_->OnViewWindowActive(this);
  MergeMenus(state == SVUIA_ACTIVATE_FOCUS);
  if (state == SVUIA_ACTIVATE_FOCUS && dialog_.List() != nullptr) SetFocus(dialog_.List());
  return S_OK;
}

void CCairnView::MergeMenus(bool focus) {
  RemoveMenus();
  menu_.Reset(CreateMenu());
  if (!menu_) return;
  OLEMENUGROUPWIDTHS widths = {};
  if (FAILED(browser_->InsertMenusSB(menu_.Get(), &widths))) {
    menu_.Reset();
    return;
  }
  const UINT id = level_.AtRoot() ? (focus ? IDM_MERGE_FOCUS_ROOT : IDM_MERGE_ROOT)
                                  : (focus ? IDM_MERGE_FOCUS_INSIDE : IDM_MERGE_INSIDE);
  for (int i = 0; i < 4; ++i) MergeMenuResource(BrowserPopup(menu_.Get(), kBrowserPopups[i]), 0, id, i, 0, 0xFFFF, false);
  browser_->SetMenuSB(menu_.Get(), nullptr, dialog_.Window());
}

void CCairnView::RemoveMenus() {
  if (!menu_) return;
  if (browser_) {
    browser_->SetMenuSB(nullptr, nullptr, nullptr);
    browser_->RemoveMenusSB(menu_.Get());
  }
  menu_.Reset();
}

STDMETHODIMP CCairnView::Refresh() {
  if (dialog_.Window() == nullptr) return E_UNEXPECTED;
  dialog_.Fill();
  dialog_.Sort(dialog_.SortColumn());
  return S_OK;
}

STDMETHODIMP CCairnView::CreateViewWindow(IShellView* previous, LPCFOLDERSETTINGS settings, IShellBrowser* browser,
                                          RECT* rect, HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = nullptr;
  if (settings == nullptr || browser == nullptr || rect == nullptr || !folder_) return E_INVALIDARG;
  if (dialog_.Window() != nullptr) return E_UNEXPECTED;
  settings_ = *settings;
  browser_ = ComPtr<IShellBrowser>(browser);
  if (previous != nullptr) previous->SaveViewState();

  // The stored record of this folder, when it is one of this level.
  uint8_t bytes[kViewStateBytes] = {};
  ULONG read = 0;
  ComPtr<IStream> stream;
  if (SUCCEEDED(browser->GetViewStateStream(STGM_READ, stream.Out())) && stream) {
    if (FAILED(stream->Read(bytes, sizeof bytes, &read))) read = 0;
  }
  state_ = ReadViewState(bytes, read, level_.AtRoot());

  HWND parent = nullptr;
  if (FAILED(browser->GetWindow(&parent)) || !dialog_.Create(parent)) {
    dialog_.Destroy();
    browser_.Reset();
    return E_OUTOFMEMORY;
  }
  dialog_.SetUpToolbar();
  dialog_.InsertColumns(state_);
  dialog_.ApplyViewMode(settings_.ViewMode);
  dialog_.Fill();
  SetWindowPos(dialog_.Window(), nullptr, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
               SWP_NOZORDER | SWP_SHOWWINDOW);
  dialog_.Sort(state_.sortColumn);
  *window = dialog_.Window();
  return S_OK;
}

STDMETHODIMP CCairnView::DestroyViewWindow() {
  if (dialog_.Window() == nullptr) return E_UNEXPECTED;
  RemoveMenus();
  activation_ = SVUIA_DEACTIVATE;
  dialog_.Destroy();
  browser_.Reset();
  return S_OK;
}

STDMETHODIMP CCairnView::GetCurrentInfo(LPFOLDERSETTINGS settings) {
  if (settings == nullptr) return E_POINTER;
  *settings = settings_;
  return S_OK;
}

STDMETHODIMP CCairnView::AddPropertySheetPages(DWORD, LPFNSVADDPROPSHEETPAGE add, LPARAM lParam) {
  if (add == nullptr) return E_INVALIDARG;
  return AddSettingsPages(level_.archivePath, add, lParam);
}

STDMETHODIMP CCairnView::SaveViewState() {
  if (!browser_ || dialog_.Window() == nullptr) return E_UNEXPECTED;
  ComPtr<IStream> stream;
  HRESULT hr = browser_->GetViewStateStream(STGM_WRITE, stream.Out());
  if (FAILED(hr)) return hr;
  if (!stream) return E_FAIL;
  state_.sortColumn = dialog_.SortColumn();
  dialog_.ReadWidths(&state_);
  const std::array<uint8_t, kViewStateBytes> bytes = WriteViewState(state_, level_.AtRoot());
  ULONG written = 0;
  hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  return FAILED(hr) ? hr : (written == bytes.size() ? S_OK : STG_E_WRITEFAULT);
}

STDMETHODIMP CCairnView::SelectItem(PCUITEMID_CHILD, SVSIF) { return E_NOTIMPL; }

STDMETHODIMP CCairnView::GetItemObject(UINT kind, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const UINT what = kind & SVGIO_TYPE_MASK;
  if (what == SVGIO_BACKGROUND) return E_NOTIMPL;
  if (what != SVGIO_SELECTION && what != SVGIO_ALLVIEW) return E_INVALIDARG;
  if (dialog_.List() == nullptr) return E_UNEXPECTED;
  if (!PlainShell()) UpdateAddressBox(browser_.Get(), folder_.Get(), level_);
  std::vector<LPCITEMIDLIST> items = dialog_.Items(what == SVGIO_SELECTION);
  return folder_->GetUIObjectOf(dialog_.Window(), static_cast<UINT>(items.size()), items.data(), iid, nullptr, object);
}

}  // namespace shell
}  // namespace cairn
