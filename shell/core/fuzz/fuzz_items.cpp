// Reads arbitrary bytes as an item identifier list the way the folder reads lists from the
// shell, compares and names every item it accepts, and builds each one again, which must read
// back the same. Any crash, out-of-range read or mismatch is a bug.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ItemCompare.h"
#include "ItemId.h"
#include "ItemNames.h"

using namespace cairn::shell;

namespace {

class ByteCollation final : public ItemCollation {
 public:
  int CompareText(std::string_view a, std::string_view b) const override {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  std::string TypeName(const Item& item) const override { return ExtensionLabel(ItemExtension(item.name)); }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly the input's size, so that any read past it is caught.
  std::vector<uint8_t> bytes(data, data + size);
  const uint8_t* list = bytes.empty() ? nullptr : bytes.data();

  const std::optional<size_t> walked = ListBytes(list, bytes.size());
  const std::optional<std::vector<Item>> items = ReadList(list, walked ? *walked : bytes.size());
  if (walked) Check(*walked <= bytes.size());
  if (!items) return 0;

  const ByteCollation collation;
  for (size_t i = 0; i < items->size(); ++i) {
    const Item& item = (*items)[i];
    const Item& other = (*items)[(i + 1) % items->size()];
    for (int column = -7; column <= 7; ++column) {
      Check(CompareSnapshotItems(item, item, column, collation) == 0);
      Check(CompareObjectItems(item, item, column, collation) == 0);
      CompareObjectItems(item, other, column, collation);
    }
    ItemDisplayName(PathFileName(item.name), item.fields.revision, true);
    RenamedSnapshotName(item.name, item.fields.revision);
    RevisionCopyName(PathFileName(item.name), item.fields.revision);

    const std::vector<uint8_t> rebuilt = BuildItem(item.fields, item.name, item.second);
    const std::optional<Item> again = ReadItem(rebuilt.data(), rebuilt.size());
    Check(again && again->name == item.name && again->second == item.second);
    Check(again->fields.revision == item.fields.revision && again->fields.itemSize == item.fields.itemSize);
  }
  return 0;
}
