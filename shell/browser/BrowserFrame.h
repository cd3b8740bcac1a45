// The browser frame: a top-level window that hosts one shell folder's view through a real
// IShellBrowser, as Explorer's right pane does, with no tree pane. It has a menu bar whose File,
// Edit, View and Help popups the view merges into, a toolbar and a status bar the view drives
// through SendControlMsg, an address box (where Enter opens a typed folder or archive),
// per-folder view-state streams kept across runs, Back and Up. An archive
// is opened the way Explorer's /root command opens it: its folder class is created and
// initialised with the archive file's absolute ID list, and every location below that list is
// bound through that folder.
#pragma once

#include <windows.h>
#include <servprov.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ComObject.h"
#include "ComPtr.h"
#include "ShellLists.h"
#include "UserObjects.h"
#include "ViewStateStore.h"

namespace cairn {
namespace browser {

// The frame's own commands, in the browser's range of command identifiers. Up is the number views
// send for the browser's parent-folder command.
constexpr UINT kCommandClose = 40992;
constexpr UINT kCommandBack = 40993;
constexpr UINT kCommandUp = 40994;
// The address box's control identifier, by which views find it among the frame's windows.
constexpr UINT kAddressBoxId = 40962;

class BrowserFrame final : public ComObject<BrowserFrame, IShellBrowser, IServiceProvider> {
 public:
  // A new frame window, not yet shown, with one reference for the caller; the window holds one
  // more until it is destroyed. View states go to stateDirectory (empty: the user's own).
  static HRESULT Create(const std::wstring& stateDirectory, BrowserFrame** frame);

  HWND Window() const { return window_; }
  HWND ViewWindow() const { return viewWindow_; }
  HWND Toolbar() const { return toolbar_; }
  HWND StatusBar() const { return status_; }
  HWND AddressBox() const { return address_; }
  // The absolute location shown; null before the first view.
  LPCITEMIDLIST Location() const { return location_.Get(); }
  size_t HistoryDepth() const { return history_.size(); }
  // The frame posts WM_QUIT when its window is destroyed (for the program, not for tests).
  void QuitOnClose(bool quit) { quitOnClose_ = quit; }

  // Shows a folder of the file system, or an archive through the extension's folder class.
  HRESULT Open(const std::wstring& path);
  // The folder of an absolute location: below the open archive through its folder, elsewhere
  // through the desktop.
  HRESULT BindFolder(LPCITEMIDLIST location, ComPtr<IShellFolder>* folder) const;
  // A location's name as its parent folder gives it (SHGDN flags); empty when it has none.
  std::wstring LocationName(LPCITEMIDLIST location, SHGDNF flags) const;
  // For the message loop: a modeless dialog's keys (the welcome wizard), the view's accelerators,
  // then the frame's. True when handled.
  bool PreTranslateMessage(MSG* message);

  // QueryInterface: the frame's interfaces, and IOleWindow as its IShellBrowser.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;

  // IOleWindow: GetWindow gives the frame window; ContextSensitiveHelp is E_NOTIMPL.
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;

  // InsertMenusSB: appends the File, Edit, View and Help popups (identified FCIDM_MENU_*) to the
  // view's menu and counts them in groups 0, 2 and 4. E_INVALIDARG without a menu.
  STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
  // SetMenuSB: shows the view's menu; null shows the frame's own again.
  STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU oleMenu, HWND activeObject) override;
  // RemoveMenusSB: takes the frame's popups out of the view's menu and destroys them.
  STDMETHODIMP RemoveMenusSB(HMENU shared) override;
  // SetStatusTextSB: the status bar's first part.
  STDMETHODIMP SetStatusTextSB(LPCWSTR text) override;
  // EnableModelessSB: S_OK, nothing else.
  STDMETHODIMP EnableModelessSB(BOOL enable) override;
  // TranslateAcceleratorSB: the frame's accelerators; S_FALSE when the message is not one.
  STDMETHODIMP TranslateAcceleratorSB(MSG* message, WORD id) override;
  // BrowseObject: absolute, relative (SBSP_RELATIVE), parent (SBSP_PARENT) and back
  // (SBSP_NAVIGATEBACK) moves; E_FAIL when there is nowhere to go, E_NOTIMPL for forward. On
  // failure the current view stays.
  STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) override;
  // GetViewStateStream: the current folder's stream, read or written by the mode.
  STDMETHODIMP GetViewStateStream(DWORD mode, IStream** stream) override;
  // GetControlWindow: the toolbar (FCW_TOOLBAR) and the status bar (FCW_STATUS); E_FAIL for
  // anything else (there is no tree pane).
  STDMETHODIMP GetControlWindow(UINT id, HWND* window) override;
  // SendControlMsg: sends the message to that control; E_FAIL when there is no such control.
  STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  // QueryActiveShellView: the view shown; E_FAIL when there is none.
  STDMETHODIMP QueryActiveShellView(IShellView** view) override;
  // OnViewWindowActive: S_OK.
  STDMETHODIMP OnViewWindowActive(IShellView* view) override;
  // SetToolbarItems: appends the view's buttons to the toolbar.
  STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) override;

  // QueryService: the frame itself for SID_SShellBrowser and SID_STopLevelBrowser.
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** object) override;

 private:
  friend ComObject;
  explicit BrowserFrame(const std::wstring& stateDirectory);
  ~BrowserFrame() = default;
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool OnCommand(UINT id);
  LRESULT OnNotify(WPARAM wParam, NMHDR* header);
  LRESULT ToView(UINT message, WPARAM wParam, LPARAM lParam);

  // Shows the folder at `target` (copied); with `remember` the place left goes to the history.
  HRESULT Navigate(LPCITEMIDLIST target, bool remember);
  HRESULT ShowView(IShellView* view);
  // The part of an absolute location below the open archive file (possibly empty); null when
  // the location is not below it.
  LPCITEMIDLIST BelowArchive(LPCITEMIDLIST location) const;
  void CloseView();
  void CreateToolbar();
  void CreateAddressBox();
  // Places the toolbar, the address box and the status bar; the rest is the view's area.
  RECT Layout();
  void UpdateChrome();

  HWND window_ = nullptr;
  HWND toolbar_ = nullptr;
  HWND status_ = nullptr;
  HWND address_ = nullptr;
  std::wstring typedAddress_;  // to open once the address box's notification is over
  Menu ownMenu_;  // taken back from the window when it goes
  AcceleratorTable accelerators_;
  bool quitOnClose_ = false;
  bool forwarding_ = false;  // a message is on its way to the view (the view may pass it back)

  ViewStateStore states_;
  ComPtr<IShellView> view_;
  HWND viewWindow_ = nullptr;
  UINT viewMode_ = FVM_DETAILS;
  std::vector<ComPtr<IShellView>> retired_;  // views closed inside their own calls, released later

  IdList location_;
  std::vector<IdList> history_;
  IdList archiveLocation_;
  ComPtr<IShellFolder> archiveFolder_;
};

}  // namespace browser
}  // namespace cairn
