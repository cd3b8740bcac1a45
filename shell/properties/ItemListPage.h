// What the Contents and Revisions pages share: a report list of archive items whose rows own
// their item identifiers, with the items' icons from an icon cache of the page (its hidden list
// box, control 43) and overlay icons of the page's own.
#pragma once

#include <string>

#include "IconCache.h"
#include "IdList.h"
#include "PropertyPage.h"

namespace cairn {
namespace shell {

class ItemListPage : public PropertyPage {
 public:
  ItemListPage(std::shared_ptr<SheetData> data, int list) : PropertyPage(std::move(data)), listId_(list) {}

 protected:
  struct Column {
    UINT title;  // string number
    int width;
  };
  struct Overlay {
    UINT icon;
    int number;
  };
  // The list's columns and image lists, with the overlays; items get their icons from iconFolder.
  void Prepare(std::initializer_list<Column> columns, std::initializer_list<Overlay> overlays, IShellFolder* iconFolder);
  // A row for the item at the end of the list, which owns it from here on.
  void AddRow(IdList item, int overlay);
  // The item's text in the column.
  virtual std::wstring CellText(const Item& item, int column) const = 0;

  LRESULT OnNotify(const NMHDR& header) override;
  void OnDestroy() override;

 private:
  int listId_;
  HWND list_ = nullptr;
  IconCache icons_;
  ComPtr<IShellFolder> iconFolder_;
};

}  // namespace shell
}  // namespace cairn
