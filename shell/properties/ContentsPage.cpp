// The Contents page of a snapshot: its top-level objects compared with the snapshot before it.
// An object new in it carries overlay 1, one it no longer holds overlay 2, one whose revision
// changed overlay 3.
#include <utility>
#include <vector>

#include "ItemListPage.h"
#include "PropertyResource.h"
#include "StoredNames.h"
#include "ViewResource.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

constexpr SHCONTF kAllItems = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;

std::vector<IdList> Items(IShellFolder* folder, HWND owner) {
  std::vector<IdList> items;
  ComPtr<IEnumIDList> all;
  if (folder == nullptr || folder->EnumObjects(owner, kAllItems, all.Out()) != S_OK || !all) return items;
  IdList item;
  while (all->Next(1, item.Out(), nullptr) == S_OK && item)
    if (FirstItem(item.Get())) items.push_back(std::move(item));
  return items;
}

class Contents final : public ItemListPage {
 public:
  explicit Contents(std::shared_ptr<SheetData> data) : ItemListPage(std::move(data), IDC_PROP_CONTENTS) {}

  void OnInit() override {
    // The snapshot's folder stays bound while the page shows its items.
    data_->folder->BindToObject(data_->items.front().Get(), nullptr, IID_IShellFolder, snapshot_.OutVoid());
    Prepare({{IDS_ITEMS_CONTAINED, 250}, {IDS_REVISION, 60}},
            {{IDI_OVERLAY_ADDED, 1}, {IDI_OVERLAY_REMOVED, 2}, {IDI_OVERLAY_CHANGED, 3}}, snapshot_.Get());
    std::vector<IdList> previous = PreviousContents();
    for (IdList& item : Items(snapshot_.Get(), Page())) {
      const Item object = *FirstItem(item.Get());
      int overlay = 1;
      for (auto match = previous.begin(); match != previous.end(); ++match) {
        const Item before = *FirstItem(match->Get());
        if (!SameNameIgnoringCase(std::string(before.name), std::string(object.name))) continue;
        overlay = before.fields.revision != object.fields.revision ? 3 : 0;
        previous.erase(match);
        break;
      }
      AddRow(std::move(item), overlay);
    }
    for (IdList& gone : previous) AddRow(std::move(gone), 2);
  }

 private:
  // The top-level objects of the snapshot listed just before this one; none for the first.
  std::vector<IdList> PreviousContents() const {
    const std::string name(Subject().name);
    IdList before;
    for (IdList& snapshot : Items(data_->folder.Get(), Page())) {
      if (FirstItem(snapshot.Get())->name == name) {
        ComPtr<IShellFolder> folder;
        if (!before || FAILED(data_->folder->BindToObject(before.Get(), nullptr, IID_IShellFolder, folder.OutVoid())))
          return {};
        return Items(folder.Get(), Page());
      }
      before = std::move(snapshot);
    }
    return {};
  }

  std::wstring CellText(const Item& item, int column) const override {
    if (column == 0) return data_->level.names.Wide(item.name);
    if (column != 1 || item.fields.revision <= 0) return std::wstring();
    return std::to_wstring(item.fields.revision);
  }

  ComPtr<IShellFolder> snapshot_;
};

}  // namespace

std::unique_ptr<PropertyPage> ContentsPage(std::shared_ptr<SheetData> data) {
  return std::make_unique<Contents>(std::move(data));
}

}  // namespace shell
}  // namespace cairn
