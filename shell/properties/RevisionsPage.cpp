// The Revisions page of a stored file or folder: every revision of the object, the one the
// selected item shows marked with overlay 1.
#include <cstdio>
#include <utility>

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
  std::string CellText(const Item& item, int column) const override {
    switch (column) {
      case 0: {
        char text[MAX_PATH + 16];
        std::snprintf(text, sizeof text, "%s;%d", std::string(item.name).c_str(), static_cast<int>(item.fields.revision));
        return text;
      }
      case 1: return DateTime(item.fields.modificationTime);
      case 2: return item.second ? std::string(*item.second) : std::string();
      default: return std::string();
    }
  }
};

}  // namespace

std::unique_ptr<PropertyPage> RevisionsPage(std::shared_ptr<SheetData> data) {
  return std::make_unique<Revisions>(std::move(data));
}

}  // namespace shell
}  // namespace cairn
