#include "ItemCompare.h"

#include <gtest/gtest.h>

#include <limits>

#include "ItemNames.h"

namespace cairn {
namespace shell {
namespace {

// Byte order for names; the type name is the extension, as the registry-free rule gives it.
class TestCollation final : public ItemCollation {
 public:
  int CompareText(std::string_view a, std::string_view b) const override {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  std::string TypeName(const Item& item) const override { return ExtensionLabel(ItemExtension(item.name)); }
};

struct Built {
  std::vector<uint8_t> bytes;
  Item item;
};

Built Make(std::string_view name, uint64_t size, uint64_t modified, int32_t createdIn) {
  ItemFields fields;
  fields.itemSize = size;
  fields.modificationTime = modified;
  fields.lastSnapShotChanged = createdIn;
  Built built{BuildItem(fields, name), {}};
  built.item = *ReadItem(built.bytes.data(), built.bytes.size());
  return built;
}

TEST(ItemCompareTest, EachColumnUsesItsKeyAndTheSignReverses) {
  const TestCollation collation;
  // a: smaller name, larger size (only the low 32 bits count: 5 against 4), older, type "ZIP", created in a later snapshot; b: the
  // opposite. Snapshot numbers sort the higher first.
  const Built a = Make("a.zip", 0x100000005ull, 10, 2);
  const Built b = Make("b.doc", 4, 20, 1);
  struct Case {
    int column;
    int snapshots;
    int objects;
  } cases[] = {
      {1, -1, -1},  {-1, 1, 1},   {2, 2, -2},   {3, 3, 3},  {-3, -3, -3},
      {4, 4, 4},    {5, 0, 5},    {-5, 0, -5},  {6, 0, -6},  {7, 0, 0},
      {0, 0, 0},    {-7, 0, 0},   {1 << 30, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    EXPECT_EQ(c.snapshots, CompareSnapshotItems(a.item, b.item, c.column, collation));
    EXPECT_EQ(c.objects, CompareObjectItems(a.item, b.item, c.column, collation));
  }
  EXPECT_EQ(0, CompareObjectItems(a.item, b.item, std::numeric_limits<int>::min(), collation));
}

TEST(ItemCompareTest, AnItemEqualsItselfInEveryColumn) {
  const TestCollation collation;
  const Built a = Make("a.zip", 5, 10, 2);
  for (int column = -7; column <= 7; ++column) {
    EXPECT_EQ(0, CompareSnapshotItems(a.item, a.item, column, collation)) << column;
    EXPECT_EQ(0, CompareObjectItems(a.item, a.item, column, collation)) << column;
  }
}

}  // namespace
}  // namespace shell
}  // namespace cairn
