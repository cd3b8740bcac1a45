// What the view's dialog asks of the view that owns it: the view itself (its refreshes,
// activation and settings go through IShellView), the browser it lives in, and the folder it
// shows. CCairnView implements it, so the dialog never needs the view's class.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "ArchiveFolder.h"
#include "FolderLevel.h"

namespace cairn {
namespace shell {

class ViewHost {
 public:
  virtual IShellView* View() = 0;
  // The view as the drop target of the dialog's window.
  virtual IDropTarget* DropTarget() = 0;
  // Null outside CreateViewWindow and DestroyViewWindow.
  virtual IShellBrowser* Browser() const = 0;
  virtual IShellFolder* Folder() const = 0;
  virtual IArchiveFolder* ArchiveFolder() const = 0;
  virtual const FolderLevel& Level() const = 0;
  virtual void SetViewMode(UINT mode) = 0;
  // The menu merged into the browser's while the view is active; null otherwise.
  virtual HMENU MergedMenu() const = 0;

 protected:
  ~ViewHost() = default;
};

}  // namespace shell
}  // namespace cairn
