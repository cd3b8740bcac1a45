#include "ItemId.h"

#include <gtest/gtest.h>

#include <cstring>

namespace cairn {
namespace shell {
namespace {

std::vector<uint8_t> List(std::initializer_list<std::vector<uint8_t>> items) {
  std::vector<uint8_t> list;
  for (const auto& item : items) list.insert(list.end(), item.begin(), item.end());
  list.push_back(0);
  list.push_back(0);
  return list;
}

void SetSize(std::vector<uint8_t>& item, size_t size) {
  item[0] = static_cast<uint8_t>(size);
  item[1] = static_cast<uint8_t>(size >> 8);
}

TEST(ItemIdTest, SizesFollowTheRuleWithAndWithoutASecondString) {
  ItemFields fields;
  fields.revision = 3;
  EXPECT_EQ(56u + 10, BuildItem(fields, "Snapshot;1").size());
  EXPECT_EQ(56u + 10 + 7 + 1, BuildItem(fields, "Snapshot;1", std::string_view("comment")).size());
  const auto unknown = BuildUnknownItem(fields);
  ASSERT_EQ(56u, unknown.size());
  EXPECT_EQ(kUnknownItemName, ReadItem(unknown.data(), unknown.size())->name);
  EXPECT_FALSE(ReadItem(unknown.data(), unknown.size())->second);
  // An empty second string is still a second string.
  EXPECT_EQ(56u + 1 + 1, BuildItem(fields, "a", std::string_view("")).size());
  // A list of one item is Size + 2 bytes; the empty list is the terminator alone.
  const auto item = BuildItem(fields, "x");
  const auto one = List({item});
  EXPECT_EQ(std::optional<size_t>(item.size() + 2), ListBytes(one.data(), one.size()));
  EXPECT_EQ(std::optional<size_t>(2), ListBytes(List({}).data(), 2));
}

TEST(ItemIdTest, BuiltItemsReadBackFieldForField) {
  ItemFields fields{0x06000010, -7, 12, 0x123456789ull, 1, 0x01D0000000000002ull, 3};
  for (const auto& second : {std::optional<std::string_view>(), std::optional<std::string_view>("Snap;4")}) {
    const auto bytes = BuildItem(fields, "C:\\Data\\report.doc", second);
    const auto item = ReadItem(bytes.data(), bytes.size());
    ASSERT_TRUE(item);
    EXPECT_EQ(bytes.size(), item->size);
    EXPECT_EQ(0x06000010u, item->fields.attributes);
    EXPECT_EQ(-7, item->fields.lastSnapShotChanged);
    EXPECT_EQ(12, item->fields.revision);
    EXPECT_EQ(0x123456789ull, item->fields.itemSize);
    EXPECT_EQ(1u, item->fields.accessTime);
    EXPECT_EQ(0x01D0000000000002ull, item->fields.creationTime);
    EXPECT_EQ(3u, item->fields.modificationTime);
    EXPECT_EQ("C:\\Data\\report.doc", item->name);
    EXPECT_EQ(second, item->second);
  }
}

TEST(ItemIdTest, OversizedTextsAreCutSoThatSizeFitsSixteenBits) {
  const std::string longText(70000, 'c');
  const auto bytes = BuildItem(ItemFields{}, "name", std::string_view(longText));
  EXPECT_EQ(kItemMaxSize, bytes.size());
  const auto item = ReadItem(bytes.data(), bytes.size());
  ASSERT_TRUE(item && item->second);
  EXPECT_EQ(kItemMaxSize - kItemMinSize - 4 - 1, item->second->size());
  // A name with a NUL of its own is cut there rather than read back differently.
  const auto cut = BuildItem(ItemFields{}, std::string_view("ab\0cd", 5));
  EXPECT_EQ(ReadItem(cut.data(), cut.size())->name, "ab");
}

TEST(ItemIdTest, MalformedItemsAreRefused) {
  const auto good = BuildItem(ItemFields{}, "name", std::string_view("second"));
  auto small = good;
  SetSize(small, 55);
  auto beyond = good;
  SetSize(beyond, good.size() + 1);
  auto unterminatedName = BuildItem(ItemFields{}, "name");
  std::memset(unterminatedName.data() + kItemNameOffset, 'x', unterminatedName.size() - kItemNameOffset);
  auto unterminatedSecond = good;  // "second" and the padding after it without a NUL
  std::memset(unterminatedSecond.data() + kItemNameOffset + 5, 'x', unterminatedSecond.size() - kItemNameOffset - 5);

  EXPECT_FALSE(ReadItem(small.data(), small.size()));
  EXPECT_FALSE(ReadItem(beyond.data(), beyond.size()));
  EXPECT_FALSE(ReadItem(good.data(), good.size() - 1));  // Size runs past what is available
  EXPECT_FALSE(ReadItem(good.data(), 40));
  EXPECT_FALSE(ReadItem(unterminatedName.data(), unterminatedName.size()));
  EXPECT_FALSE(ReadItem(unterminatedSecond.data(), unterminatedSecond.size()));
  EXPECT_FALSE(ReadItem(nullptr, 100));
  EXPECT_TRUE(ReadItem(good.data(), good.size()));
}

TEST(ItemIdTest, ListWalksStayInsideTheirBounds) {
  const auto a = BuildItem(ItemFields{}, "Snapshot;1");
  const auto b = BuildItem(ItemFields{}, "C:\\Data");
  const auto list = List({a, b});
  EXPECT_EQ(std::optional<size_t>(list.size()), ListBytes(list.data(), list.size()));
  EXPECT_FALSE(ListBytes(list.data(), list.size() - 1));  // the terminator lies beyond the limit
  const auto items = ReadList(list.data(), list.size());
  ASSERT_TRUE(items);
  ASSERT_EQ(2u, items->size());
  EXPECT_EQ("C:\\Data", (*items)[1].name);
  EXPECT_TRUE(ReadList(list.data(), 2) == std::nullopt);  // no terminator where the size says

  // A Size below 56 (but not 0) is not one of ours, and a zero Size cannot loop.
  auto tiny = List({a});
  SetSize(tiny, 3);
  EXPECT_FALSE(ListBytes(tiny.data(), tiny.size()));
  EXPECT_FALSE(ReadList(tiny.data(), tiny.size()));

  // A chain deeper than any list of ours is refused rather than walked on.
  std::vector<std::vector<uint8_t>> many(kMaxListLevels + 1, BuildItem(ItemFields{}, "x"));
  std::vector<uint8_t> deep;
  for (const auto& item : many) deep.insert(deep.end(), item.begin(), item.end());
  deep.resize(deep.size() + 2, 0);
  EXPECT_FALSE(ListBytes(deep.data(), deep.size()));
  EXPECT_FALSE(ReadList(deep.data(), deep.size()));
  // A folder's contents list is no path: it holds all of its children.
  EXPECT_EQ(std::optional<size_t>(deep.size()), ListBytes(deep.data(), deep.size(), kMaxContentsItems));
  const auto children = ReadList(deep.data(), deep.size(), kMaxContentsItems);
  ASSERT_TRUE(children);
  EXPECT_EQ(kMaxListLevels + 1, children->size());
}

}  // namespace
}  // namespace shell
}  // namespace cairn
