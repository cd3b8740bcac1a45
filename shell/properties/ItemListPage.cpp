#include "ItemListPage.h"

#include "AnsiText.h"
#include "PropertyResource.h"

namespace cairn {
namespace shell {

void ItemListPage::Prepare(std::initializer_list<Column> columns, std::initializer_list<Overlay> overlays,
                           IShellFolder* iconFolder) {
  list_ = GetDlgItem(Page(), listId_);
  // Wide notifications: an archive may keep names that no code page holds.
  ListView_SetUnicodeFormat(list_, TRUE);
  iconFolder_ = ComPtr<IShellFolder>(iconFolder);
  if (icons_.Create(GetDlgItem(Page(), IDC_PROP_ICON_KEYS))) {
    for (const Overlay& overlay : overlays) icons_.AddOverlay(overlay.icon, overlay.number);
    ListView_SetImageList(list_, icons_.Large(), LVSIL_NORMAL);
    ListView_SetImageList(list_, icons_.Small(), LVSIL_SMALL);
  }
  int index = 0;
  for (const Column& column : columns) {
    const std::string title = ShellString(column.title);
    LVCOLUMNA entry = {};
    entry.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    entry.cx = column.width;
    entry.pszText = const_cast<char*>(title.c_str());
    entry.iSubItem = index;
    SendMessageA(list_, LVM_INSERTCOLUMNA, index++, reinterpret_cast<LPARAM>(&entry));
  }
}

void ItemListPage::AddRow(IdList item, int overlay) {
  LVITEMA entry = {};
  entry.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
  entry.iItem = ListView_GetItemCount(list_);
  entry.pszText = LPSTR_TEXTCALLBACKA;
  entry.iImage = I_IMAGECALLBACK;
  entry.lParam = reinterpret_cast<LPARAM>(item.Get());
  entry.state = INDEXTOOVERLAYMASK(overlay);
  entry.stateMask = LVIS_OVERLAYMASK;
  if (SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry)) >= 0) item.Detach();
}

LRESULT ItemListPage::OnNotify(const NMHDR& header) {
  if (header.hwndFrom != list_) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOA:
    case LVN_GETDISPINFOW: {
      auto& info = const_cast<NMLVDISPINFOA&>(reinterpret_cast<const NMLVDISPINFOA&>(header));
      const auto list = reinterpret_cast<LPCITEMIDLIST>(info.item.lParam);
      const std::optional<Item> item = FirstItem(list);
      if ((info.item.mask & LVIF_TEXT) && info.item.cchTextMax > 0) {
        const std::wstring text = item ? CellText(*item, info.item.iSubItem) : std::wstring();
        if (header.code == LVN_GETDISPINFOA)
          lstrcpynA(info.item.pszText, ToAnsi(text.c_str()).c_str(), info.item.cchTextMax);
        else
          lstrcpynW(reinterpret_cast<NMLVDISPINFOW&>(info).item.pszText, text.c_str(), info.item.cchTextMax);
      }
      if (info.item.mask & LVIF_IMAGE) info.item.iImage = icons_.IndexOf(iconFolder_.Get(), list);
      info.item.mask |= LVIF_DI_SETITEM;
      return 0;
    }
    case LVN_DELETEITEM: {
      const IdList freed(reinterpret_cast<LPITEMIDLIST>(reinterpret_cast<const NMLISTVIEW&>(header).lParam));
      return 0;
    }
    default:
      return 0;
  }
}

void ItemListPage::OnDestroy() {
  // The rows' item identifiers go with them, while the page is still there to hear of it.
  if (list_ != nullptr) ListView_DeleteAllItems(list_);
}

}  // namespace shell
}  // namespace cairn
