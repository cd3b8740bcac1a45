#include "ViewFormat.h"

#include <gtest/gtest.h>

#include <vector>

namespace cairn {
namespace shell {
namespace {

struct Built {
  std::vector<uint8_t> bytes;
  Item item;
};

Built Make(uint32_t attributes, uint64_t size, int32_t changedIn = 0, int32_t revision = 0) {
  ItemFields fields;
  fields.attributes = attributes;
  fields.itemSize = size;
  fields.lastSnapShotChanged = changedIn;
  fields.revision = revision;
  Built built{BuildItem(fields, "C:\\data\\file.txt"), {}};
  built.item = *ReadItem(built.bytes.data(), built.bytes.size());
  return built;
}

TEST(ViewFormatTest, SizesOfTheColumnAndTheStatusBar) {
  // The column rounds the low 32 bits up to whole KB; folders show nothing.
  EXPECT_EQ("2KB", ColumnSizeText(Make(0, 1025).item));
  EXPECT_EQ("1KB", ColumnSizeText(Make(0, 1024).item));
  EXPECT_EQ("0KB", ColumnSizeText(Make(0, 0).item));
  EXPECT_EQ("1KB", ColumnSizeText(Make(0, 0x100000001ull).item));
  EXPECT_EQ("4194304KB", ColumnSizeText(Make(0, 0xFFFFFFFFull).item));
  EXPECT_EQ("", ColumnSizeText(Make(kAttributeFolder, 4096).item));

  // The status bar truncates, each unit taking over above its boundary.
  const std::vector<std::pair<uint32_t, std::string>> cases = {
      {0, ""},           {1, "1 bytes"},        {1024, "1024 bytes"},   {1025, "1.00KB"},
      {1536, "1.50KB"},  {2047, "1.99KB"},      {10240, "10.00KB"},     {10241, "10KB"},
      {1048576, "1024KB"}, {1048577, "1.00MB"}, {1572864, "1.50MB"},    {10485760, "10.00MB"},
      {10485761, "10MB"}, {0xFFFFFFFFu, "4095MB"}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(text, StatusSizeText(bytes)) << bytes;
}

TEST(ViewFormatTest, PropertyPageSizesAtEachBoundary) {
  const std::vector<std::pair<uint32_t, std::string>> cases = {
      {0, "0 bytes (0 bytes)"},
      {1024, "1024 bytes (1024 bytes)"},
      {1025, "1.00KB (1025 bytes)"},
      {1536, "1.51KB (1536 bytes)"},  // tenths of the remainder, not the status bar's 1.50KB
      {2023, "1.99KB (2023 bytes)"},
      {2047, "1.99KB (2047 bytes)"},  // never three digits of hundredths
      {10240, "10.00KB (10240 bytes)"},
      {10241, "10KB (10241 bytes)"},
      {1048576, "1024KB (1048576 bytes)"},
      {2000000, "1.92MB (2000000 bytes)"},
      {2097151, "1.99MB (2097151 bytes)"},
      {10485760, "10.00MB (10485760 bytes)"},
      {20000000, "19MB (20000000 bytes)"},
      {0xFFFFFFFFu, "4095MB (4294967295 bytes)"}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(text, PropertySizeText(bytes)) << bytes;
}

TEST(ViewFormatTest, ViewStateRecordsAreReadForTheirOwnLevelOnly) {
  // Defaults: snapshots by creation time, objects by name.
  EXPECT_EQ(4, DefaultViewState(true).sortColumn);
  EXPECT_EQ((std::array<int, 6>{125, 50, 100, 100, 300, 0}), DefaultViewState(true).widths);
  EXPECT_EQ(1, DefaultViewState(false).sortColumn);
  EXPECT_EQ((std::array<int, 6>{125, 200, 50, 100, 100, 100}), DefaultViewState(false).widths);

  // Written and read back: the sort column minus 1, signed, so that a reversed column stays
  // negative; a width of 0 is stored as the default.
  ViewState root = DefaultViewState(true);
  root.sortColumn = -2;
  root.widths = {80, 0, 90, 110, 70, 0};
  const std::array<uint8_t, kViewStateBytes> bytes = WriteViewState(root, true);
  EXPECT_EQ(0xFD, bytes[0]);  // -3
  EXPECT_EQ(0xFF, bytes[3]);
  EXPECT_EQ(5, bytes[4]);
  const ViewState back = ReadViewState(bytes.data(), bytes.size(), true);
  EXPECT_EQ(-2, back.sortColumn);
  EXPECT_EQ((std::array<int, 6>{80, 50, 90, 110, 70, 50}), back.widths);
  // A positive column likewise; Name reversed is stored as -2 and read back as -1.
  root.sortColumn = 3;
  EXPECT_EQ(2, WriteViewState(root, true)[0]);
  EXPECT_EQ(3, ReadViewState(WriteViewState(root, true).data(), kViewStateBytes, true).sortColumn);
  root.sortColumn = -1;
  EXPECT_EQ(0xFE, WriteViewState(root, true)[0]);
  EXPECT_EQ(-1, ReadViewState(WriteViewState(root, true).data(), kViewStateBytes, true).sortColumn);

  // The root's record does not apply below it, nor a short or empty one anywhere.
  EXPECT_EQ(1, ReadViewState(bytes.data(), bytes.size(), false).sortColumn);
  EXPECT_EQ(kObjectColumns, ReadViewState(bytes.data(), bytes.size(), false).columns);
  EXPECT_EQ(4, ReadViewState(bytes.data(), bytes.size() - 1, true).sortColumn);
  EXPECT_EQ(4, ReadViewState(nullptr, 0, true).sortColumn);
  std::array<uint8_t, kViewStateBytes> none = bytes;
  none[4] = 0;
  EXPECT_EQ(4, ReadViewState(none.data(), none.size(), true).sortColumn);

  // A stored width of 0 shows as 50.
  std::array<uint8_t, kViewStateBytes> objects = WriteViewState(DefaultViewState(false), false);
  objects[6] = objects[7] = 0;
  EXPECT_EQ(50, ReadViewState(objects.data(), objects.size(), false).widths[0]);
  // So does a negative one; a sort column the level lacks (the lowest number too) gives the default.
  objects[6] = objects[7] = 0xFF;
  EXPECT_EQ(50, ReadViewState(objects.data(), objects.size(), false).widths[0]);
  for (uint32_t stored : {6u, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
    for (int i = 0; i < 4; ++i) objects[static_cast<size_t>(i)] = static_cast<uint8_t>(stored >> (8 * i));
    EXPECT_EQ(1, ReadViewState(objects.data(), objects.size(), false).sortColumn) << stored;
  }
  objects[0] = 0xF9, objects[1] = objects[2] = objects[3] = 0xFF;  // -7: the last column reversed
  EXPECT_EQ(-6, ReadViewState(objects.data(), objects.size(), false).sortColumn);
}

TEST(ViewFormatTest, OverlaysMarkWhatTheShownSnapshotAddedOrChanged) {
  EXPECT_EQ(7, SnapshotNumberOf("Snapshot;7"));
  EXPECT_EQ(12, SnapshotNumberOf("a;b;12"));
  EXPECT_EQ(0, SnapshotNumberOf("no number"));
  EXPECT_EQ(0, SnapshotNumberOf("huge;99999999999"));

  EXPECT_EQ(1, OverlayOf(Make(0, 1, 2, 1).item, 2));  // first recorded in the shown snapshot
  EXPECT_EQ(3, OverlayOf(Make(0, 1, 2, 4).item, 2));  // changed in it
  EXPECT_EQ(0, OverlayOf(Make(0, 1, 1, 1).item, 2));  // recorded earlier
  EXPECT_EQ(0, OverlayOf(Make(0, 1, 0, 1).item, 0));  // no snapshot shown (the root)

  EXPECT_EQ("first line, second line,", CommentLine("first line\r\nsecond line\r"));
}

TEST(ViewFormatTest, IconLocationsAndCacheKeys) {
  EXPECT_EQ("VERSION::VERSION", IconLocationText(true, kAttributeFolder, ""));
  EXPECT_EQ("DIRECTO::FOLDER", IconLocationText(false, kAttributeFolder | kAttributeHidden, ".txt"));
  EXPECT_EQ("OBJECTS::.TXT", IconLocationText(false, 0, ".txt"));
  EXPECT_EQ("OBJECTS::", IconLocationText(false, kAttributeReadOnly, ""));
  EXPECT_EQ("\"OBJECTS::.TXT\" 1 00000030", IconCacheKey("OBJECTS::.TXT", 1, 0x30));
  EXPECT_EQ(520u, IconCacheKey(std::string(600, 'x'), -1, 0xFFFFFFFF).size());
}

}  // namespace
}  // namespace shell
}  // namespace cairn
