#include "ItemVerbs.h"

#include <ole2.h>

#include <memory>

#include "DeleteConfirmation.h"
#include "ItemProperties.h"

namespace cairn {
namespace shell {

bool ShowSelectionProperties(const Selection& selection, HWND owner, bool* commentChanged) {
  *commentChanged = false;
  const std::unique_ptr<ItemProperties> sheet = ItemProperties::Create(selection.Folder(), selection.Lists());
  if (!sheet || sheet->Show(owner) < 0) return false;
  *commentChanged = sheet->CommentChanged();
  return true;
}

ComPtr<IDataObject> SelectionData(const Selection& selection, HWND owner) {
  std::vector<LPCITEMIDLIST> lists = selection.Lists();
  ComPtr<IDataObject> data;
  if (FAILED(selection.Folder()->GetUIObjectOf(owner, static_cast<UINT>(lists.size()), lists.data(),
                                               IID_IDataObject, nullptr, data.OutVoid())))
    data.Reset();
  return data;
}

bool CopySelection(const Selection& selection, HWND owner) {
  const ComPtr<IDataObject> data = SelectionData(selection, owner);
  return data && SUCCEEDED(OleSetClipboard(data.Get()));
}

bool DeleteSelection(const Selection& selection, const WorkOrder& order) {
  if (!ConfirmDelete(order.owner, selection.Level().AtRoot(), selection.StoredNames())) return true;
  return StartDelete(order, selection.StoredNames());
}

}  // namespace shell
}  // namespace cairn
