// The Revisions page of a stored file or folder: every revision of the object, the one the
// selected item shows marked with overlay 1.
#include <utility>

#include "AnsiText.h"
#include "ItemListPage.h"
#include "ItemText.h"
#include "PropertyResource.h"
#include "ViewResource.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

class Revisions final : public ItemListPage {
 public:
  explicit Revisions(std::shared_ptr<SheetData> data) : ItemListPage(std::move(data), IDC_PROP_REVISIONS) {}

  void OnInit() override {
    Prepare({{IDS_REVISION, 125}, {IDS_COLUMN_MODIFIED, 100}, {IDS_COLUMN_CREATED_IN, 100}},
            {{IDI_OVERLAY_CURRENT, 1}}, data_->folder.Get());
    const Item shown = Subject();
    for (const std::vector<uint8_t>& revision : data_->level.Operations().RevisionItems(std::string(shown.name))) {
      IdList item = SingleItemList(revision.data(), revision.size());
      const std::optional<Item> read = FirstItem(item.Get());
      if (read) AddRow(std::move(item), read->fields.revision == shown.fields.revision ? 1 : 0);
    }
  }

 private:
  std::wstring CellText(const Item& item, int column) const override {
    const StoredText& names = data_->level.names;
    switch (column) {
      case 0: return names.Wide(item.name) + L";" + std::to_wstring(item.fields.revision);
      case 1: return FromAnsi(DateTime(item.fields.modificationTime));
      case 2: return item.second ? names.Wide(*item.second) : std::wstring();
      default: return std::wstring();
    }
  }
};

}  // namespace

std::unique_ptr<PropertyPage> RevisionsPage(std::shared_ptr<SheetData> data) {
  return std::make_unique<Revisions>(std::move(data));
}

}  // namespace shell
}  // namespace cairn
