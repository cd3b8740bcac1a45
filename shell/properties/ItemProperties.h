// The property sheet of items shown inside an archive (the property-sheet object): made for one
// selection of one folder, it picks the sheet's pages by the selection (several items: "General"
// alone; a snapshot: "General", "Contents" and "Comment"; a stored file or folder: "General" and
// "Revisions") and shows them as the modal sheet "Properties", or hands them to another sheet.
// Only a snapshot's comment can be changed there.
#pragma once

#include <windows.h>
#include <prsht.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "PropertyPage.h"

namespace cairn {
namespace shell {

class ItemProperties {
 public:
  // The sheet of the items of the folder; null when the folder is not an archive's, there is no
  // item or one is malformed.
  static std::unique_ptr<ItemProperties> Create(IShellFolder* folder, const std::vector<LPCITEMIDLIST>& items);

  // The sheet's pages, each owning what it shows for as long as it lives; the caller hands them
  // to a sheet or destroys them.
  std::vector<HPROPSHEETPAGE> MakePages() const;
  // Shows the sheet modally, owned by the window; the property sheet's result (-1 when it cannot
  // be shown).
  INT_PTR Show(HWND owner) const;
  // After Show: a snapshot's comment was changed.
  bool CommentChanged() const { return data_->commentChanged; }

 private:
  explicit ItemProperties(std::shared_ptr<SheetData> data) : data_(std::move(data)) {}

  std::shared_ptr<SheetData> data_;
};

}  // namespace shell
}  // namespace cairn
