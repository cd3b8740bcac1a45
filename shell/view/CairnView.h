// CCairnView, the view the archive folder gives Explorer for one level: a COM object that owns
// the view dialog (CNsxViewDlg), keeps the browser it lives in, the folder settings and the
// view-state record, and merges its menus into the browser's while it is active. Files dropped
// onto it are added to the archive as a new snapshot.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "ArchiveFolder.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "FolderLevel.h"
#include "NsxViewDlg.h"
#include "UserObjects.h"
#include "ViewFormat.h"
#include "ViewHost.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CCairnView final : public ComObject<CCairnView, ICairnView, IDropTarget, IShellView>, public ViewHost {
 public:
  CCairnView();

  // Initialize: keeps the folder with its level and loads the accelerator tables; E_INVALIDARG
  // without a folder, E_NOINTERFACE for a folder that is not this extension's.
  STDMETHODIMP Initialize(ICairnFolder* folder) override;

  // DragEnter: DROPEFFECT_NONE for the extension's own data (clipboard format 4 offered), else
  // DROPEFFECT_COPY; the effect is kept for DragOver. E_INVALIDARG without data or effect.
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
  // DragOver: the effect chosen at DragEnter.
  STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
  // DragLeave: S_OK, nothing else.
  STDMETHODIMP DragLeave() override;
  // Drop: the dropped files (CF_HDROP) added as a new snapshot on a worker thread, effect
  // DROPEFFECT_COPY; E_FAIL with a beep when the data holds no usable file list or the worker
  // cannot start, E_FAIL without one for the extension's own data.
  STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

  // GetWindow: the dialog's window; E_FAIL before CreateViewWindow.
  STDMETHODIMP GetWindow(HWND* window) override;
  // ContextSensitiveHelp: E_NOTIMPL.
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  // TranslateAccelerator: the editing table while a name is edited, else the view's; S_OK when
  // translated, S_FALSE otherwise.
  STDMETHODIMP TranslateAccelerator(MSG* message) override;
  // EnableModeless: S_OK.
  STDMETHODIMP EnableModeless(BOOL enable) override;
  // UIActivate: merges the menus with or without the focus, or removes them; E_INVALIDARG for a
  // state above SVUIA_INPLACEACTIVATE.
  STDMETHODIMP UIActivate(UINT state) override;
  // Refresh: refills the list from the folder.
  STDMETHODIMP Refresh() override;
  // CreateViewWindow: the dialog as a child of the browser's window, with the columns, widths and
  // sort order of the stored view state; E_OUTOFMEMORY when the dialog cannot be made.
  STDMETHODIMP CreateViewWindow(IShellView* previous, LPCFOLDERSETTINGS settings, IShellBrowser* browser,
                                RECT* rect, HWND* window) override;
  // DestroyViewWindow: E_UNEXPECTED when there is no window.
  STDMETHODIMP DestroyViewWindow() override;
  // GetCurrentInfo: the folder settings, with the view mode shown.
  STDMETHODIMP GetCurrentInfo(LPFOLDERSETTINGS settings) override;
  // AddPropertySheetPages: the archive's Settings page and its schedule page, as the archive
  // file's own sheet has them (a page the callback refuses is destroyed); E_FAIL when the
  // Settings page was refused or cannot be made, E_INVALIDARG without a callback.
  STDMETHODIMP AddPropertySheetPages(DWORD reserved, LPFNSVADDPROPSHEETPAGE add, LPARAM lParam) override;
  // SaveViewState: the sort column and column widths to the browser's stream.
  STDMETHODIMP SaveViewState() override;
  // SelectItem: E_NOTIMPL.
  STDMETHODIMP SelectItem(PCUITEMID_CHILD item, SVSIF flags) override;
  // GetItemObject: E_NOTIMPL for the background, E_INVALIDARG for an unknown kind, else the
  // folder's object for the selection or for all items.
  STDMETHODIMP GetItemObject(UINT kind, REFIID iid, void** object) override;

  // ViewHost, for the dialog.
  IShellView* View() override { return this; }
  IDropTarget* DropTarget() override { return this; }
  IShellBrowser* Browser() const override { return browser_.Get(); }
  IShellFolder* Folder() const override { return folder_.Get(); }
  IArchiveFolder* ArchiveFolder() const override { return archiveFolder_.Get(); }
  const FolderLevel& Level() const override { return level_; }
  void SetViewMode(UINT mode) override { settings_.ViewMode = mode; }
  HMENU MergedMenu() const override { return menu_.Get(); }

 private:
  friend ComObject;
  ~CCairnView();
  void MergeMenus(bool focus);
  void RemoveMenus();

  ComPtr<IShellFolder> folder_;
  ComPtr<IArchiveFolder> archiveFolder_;  // the same folder, for what the view asks beside IShellFolder
  FolderLevel level_;
  ComPtr<IShellBrowser> browser_;
  FOLDERSETTINGS settings_ = {FVM_DETAILS, 0};
  // Loaded from the module's resources, which keep them: no owner needed.
  HACCEL accelerators_ = nullptr;
  HACCEL editingAccelerators_ = nullptr;
  UINT activation_ = SVUIA_DEACTIVATE;
  DWORD dropEffect_ = DROPEFFECT_NONE;
  Menu menu_;
  ViewState state_;
  CNsxViewDlg dialog_;
};

}  // namespace shell
}  // namespace cairn
