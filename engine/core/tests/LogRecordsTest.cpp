// Log records: their bytes, and reading logs that end early or hold nonsense.
#include <gtest/gtest.h>

#include "ByteOrder.h"
#include "LogRecords.h"

namespace cairn {
namespace {

TEST(LogRecordsTest, RecordBytes) {
  const std::vector<uint8_t> record = EncodeLogRecord(log_type::kError, 0x0102030405060708ull, 108, "Stream\r42");
  ASSERT_EQ(record.size(), 8u + 9 + 16);
  EXPECT_EQ(LoadLE32(&record[0]), 2u);
  EXPECT_EQ(LoadLE32(&record[4]), 9u + 16) << "text length + 16";
  EXPECT_EQ(LoadLE64(&record[8]), 0x0102030405060708ull);
  EXPECT_EQ(LoadLE32(&record[16]), 108u);
  EXPECT_EQ(std::string(record.begin() + 20, record.begin() + 29), "Stream\r42");
  for (size_t i = 29; i < record.size(); ++i) EXPECT_EQ(record[i], 0) << "NUL and three spare bytes";

  EXPECT_EQ(EncodeLogRecord(0, 0, 107, std::string(5000, 'x')).size(), 8u + 1024 + 16) << "text is cut at 1024";
}

TEST(LogRecordsTest, ParsingStopsWhereTheLogEnds) {
  std::vector<uint8_t> log = EncodeLogRecord(0, 1, 104, "Snapshot;1");
  const std::vector<uint8_t> second = EncodeLogRecord(7, 2, 1, "odd type");
  log.insert(log.end(), second.begin(), second.end());

  std::vector<LogEntry> entries = ParseLog(log.data(), log.size());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].text, "Snapshot;1");
  EXPECT_EQ(entries[1].type, 7u) << "every type is returned; the renderer skips unknown ones";
  EXPECT_TRUE(entries[1].complete);

  // A body cut short: an incomplete last entry. A header cut short: nothing more.
  entries = ParseLog(log.data(), log.size() - 3);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(entries[1].complete);
  const size_t firstLength = log.size() - second.size();
  entries = ParseLog(log.data(), firstLength + 7);
  EXPECT_EQ(entries.size(), 1u);

  // Lengths that lie: a huge L, an L shorter than the fixed fields, text without its NUL.
  std::vector<uint8_t> lying = EncodeLogRecord(0, 3, 106, "abc");
  StoreLE32(&lying[4], 0xFFFFFFF0u);
  entries = ParseLog(lying.data(), lying.size());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].complete);
  EXPECT_EQ(entries[0].text, "abc");
  StoreLE32(&lying[4], 4);
  entries = ParseLog(lying.data(), 12);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].id, 0u) << "fields beyond L read as zero";
  std::vector<uint8_t> unterminated = {0, 0, 0, 0, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 106, 0, 0, 0, 'x', 'y'};
  entries = ParseLog(unterminated.data(), unterminated.size());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, "xy");
}

TEST(LogRecordsTest, InsertsSplitAtCarriageReturns) {
  EXPECT_EQ(SplitInserts("7\r"), (std::vector<std::string>{"7", ""}));
  EXPECT_EQ(SplitInserts("C:\\a.txt"), (std::vector<std::string>{"C:\\a.txt"}));
  std::string many;
  for (int i = 0; i < 25; ++i) many += std::to_string(i) + "\r";
  const std::vector<std::string> inserts = SplitInserts(many);
  ASSERT_EQ(inserts.size(), 20u);
  EXPECT_EQ(inserts[18], "18");
  EXPECT_EQ(inserts[19].substr(0, 3), "19\r") << "the last insert keeps the rest";
  EXPECT_EQ(SplitInserts(std::string(300, 'z'))[0].size(), 258u);
}

}  // namespace
}  // namespace cairn
