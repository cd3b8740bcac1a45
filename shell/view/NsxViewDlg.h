// CNsxViewDlg, the archive view's window: a modeless child dialog (resource 600) whose list view
// shows one level's items with their columns, overlays and sort order, writes the browser's
// status bar and runs the view's commands.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "ArchiveWork.h"
#include "IconCache.h"
#include "Module.h"
#include "Selection.h"
#include "ViewFormat.h"
#include "ViewHost.h"

namespace cairn {
namespace shell {

class CNsxViewDlg {
 public:
  explicit CNsxViewDlg(ViewHost* host) : host_(host) {}
  ~CNsxViewDlg();
  CNsxViewDlg(const CNsxViewDlg&) = delete;
  CNsxViewDlg& operator=(const CNsxViewDlg&) = delete;

  // The dialog as a child of the browser's window; false when it cannot be made.
  bool Create(HWND parent);
  void Destroy();
  // The view is going: messages no longer keep it alive.
  void Orphan() { orphaned_ = true; }
  HWND Window() const { return dialog_; }
  HWND List() const { return list_; }
  bool Editing() const { return editing_; }
  int SortColumn() const { return sortColumn_; }

  // The level's columns with the record's widths; the current widths back.
  void InsertColumns(const ViewState& state);
  void ReadWidths(ViewState* state) const;
  // The view's toolbar buttons in the browser's toolbar: handed over whole on the oldest shell,
  // else added to the browser's toolbar with an Up button and the Views drop-down.
  void SetUpToolbar();
  // The list style of a view mode (FVM_*), and the toolbar's mode buttons to match.
  void ApplyViewMode(UINT mode);
  // Empties the list and fills it from the folder's enumeration.
  void Fill();
  // Sorts by the signed column (1-based) and keeps it as the current one.
  void Sort(int column);
  void UpdateStatus();
  // The item lists of the selected items, or of all.
  std::vector<LPCITEMIDLIST> Items(bool selectedOnly) const;
  // What a verb's worker started now is given: the dialog owns its messages and is told when it
  // is done; a tree pane is told that the archive changed.
  WorkOrder Order() const;

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  LRESULT OnNotify(NMHDR* header);
  void OnCommand(UINT id, UINT code, HWND from);
  void OnInitMenuPopup(HMENU popup);
  // Enables, grays and checks the commands of a menu by the File (1), Edit (2) and View (4) rules.
  void ApplyMenuStates(HMENU menu, int rules);
  void ShowContextMenu(int x, int y);
  void ShowViewsMenu(NMTOOLBARA* button);
  void ApplyShellSettings();
  // The item's text in the column, as the folder gives it; empty when it gives none.
  std::wstring CellText(LPCITEMIDLIST list, int column) const;
  UINT ViewMode() const;
  // The selected items, checked; nullopt when none is selected or one is unsound.
  std::optional<Selection> Selected() const { return Selection::Of(host_->Folder(), host_->Level(), Items(true)); }
  // On the browser's thread, after a worker succeeded: the view refreshed, or the browser sent to
  // the archive root, as the work asks. Beeps when that fails.
  void FinishWork(AfterWork after);
  // Delete, Copy, Restore or Properties for the selection; false when it failed. A snapshot's
  // comment changed in its properties is shown at once.
  bool RunItemVerb(UINT id);
  // SFGAO bits the folder reports for all of the items.
  SFGAOF Abilities(const std::vector<LPCITEMIDLIST>& items, SFGAOF asked) const;
  bool Enabled(UINT command) const;
  void SortCommand(int column);
  // A drag of the selection's data object, as long as a mouse button stays down.
  void StartDrag();
  // The end of a label edit: the folder renames the row's item (owned by the tree pane, if any)
  // and the list is refreshed; FALSE rejects the edit.
  BOOL Rename(int row, const std::wstring& name);

  // The dialog's procedure lives in this module: it stays loaded while the dialog can have messages.
  ModuleLock lock_;
  ViewHost* host_;
  bool orphaned_ = false;       // the view is being destroyed
  bool statusPending_ = false;  // a status update is posted
  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  IconCache icons_;
  int sortColumn_ = 1;
  bool editing_ = false;
  HRESULT ole_ = E_FAIL;
  bool dropTarget_ = false;  // the window is registered as the view's drop target
};

}  // namespace shell
}  // namespace cairn
