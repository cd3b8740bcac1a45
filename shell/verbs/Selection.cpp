#include "Selection.h"

namespace cairn {
namespace shell {

std::optional<Selection> Selection::Of(IShellFolder* folder, const FolderLevel& level,
                                       const std::vector<LPCITEMIDLIST>& items) {
  if (folder == nullptr || items.empty()) return std::nullopt;
  Selection selection;
  selection.level_ = level;
  selection.folder_ = ComPtr<IShellFolder>(folder);
  for (LPCITEMIDLIST list : items) {
    CPidl copy;
    const std::optional<Item> item = FirstItem(list);
    if (!item || FAILED(copy.SetPidl(list, true, 1)) || copy.Empty()) return std::nullopt;
    selection.names_.emplace_back(item->name);
    selection.items_.push_back(std::move(copy));
  }
  return selection;
}

std::vector<LPCITEMIDLIST> Selection::Lists() const {
  std::vector<LPCITEMIDLIST> lists;
  for (const CPidl& item : items_) lists.push_back(item.Get());
  return lists;
}

}  // namespace shell
}  // namespace cairn
