// A page of the property sheet of archive items: the dialog of one page kind, the sheet's shared
// data (the folder, the level and the items shown), and the plumbing from the sheet's messages to
// the page's handlers. A page object lives from the page's creation until the sheet lets the page
// go (PSPCB_RELEASE), so a page handed to another sheet (AddPropertySheetPages) keeps all it shows.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "ArchiveFolder.h"
#include "ComPtr.h"
#include "DialogBase.h"
#include "FolderLevel.h"
#include "Module.h"
#include "Pidl.h"

namespace cairn {
namespace shell {

// What the pages of one sheet share.
struct SheetData {
  ComPtr<IShellFolder> folder;
  ComPtr<IArchiveFolder> archiveFolder;
  FolderLevel level;
  std::vector<CPidl> items;     // the selection, every item checked
  bool commentChanged = false;  // a comment was applied: what shows the snapshots is stale
};

class PropertyPage : public DialogBase {
 public:
  // The sheet's page of this object and dialog resource; it owns the object from here on (also
  // when it cannot be made: then null).
  static HPROPSHEETPAGE Create(std::unique_ptr<PropertyPage> page, UINT dialog);

  explicit PropertyPage(std::shared_ptr<SheetData> data) : data_(std::move(data)) {}

 protected:
  // WM_INITDIALOG: the page's controls are there.
  virtual void OnInit() = 0;
  // WM_NOTIFY from the sheet or a control; the result the notification asks for (0: allowed,
  // nothing done).
  virtual LRESULT OnNotify(const NMHDR& header) { return 0; }
  virtual void OnCommand(UINT id, UINT code) {}
  virtual void OnDestroy() {}

  HWND Page() const { return Window(); }
  HWND Sheet() const { return GetParent(Window()); }
  // The first selected item.
  Item Subject() const { return *FirstItem(data_->items.front().Get()); }
  void SetText(int control, const std::string& text) const { SetDlgItemTextA(Window(), control, text.c_str()); }
  // A text an item holds (a name, a path), as the archive keeps its names.
  void SetStoredText(int control, const std::string& stored) const {
    SetDlgItemTextW(Window(), control, data_->level.names.Wide(stored).c_str());
  }

  std::shared_ptr<SheetData> data_;

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) final;

  // A page handed to another sheet runs this module's code until the sheet lets it go.
  ModuleLock lock_;
};

// The pages by kind (PropertyPages.cpp and the page files).
std::unique_ptr<PropertyPage> SeveralItemsPage(std::shared_ptr<SheetData> data);
std::unique_ptr<PropertyPage> SnapshotGeneralPage(std::shared_ptr<SheetData> data);
std::unique_ptr<PropertyPage> ContentsPage(std::shared_ptr<SheetData> data);
std::unique_ptr<PropertyPage> CommentPage(std::shared_ptr<SheetData> data);
std::unique_ptr<PropertyPage> ObjectGeneralPage(std::shared_ptr<SheetData> data);
std::unique_ptr<PropertyPage> RevisionsPage(std::shared_ptr<SheetData> data);

}  // namespace shell
}  // namespace cairn
