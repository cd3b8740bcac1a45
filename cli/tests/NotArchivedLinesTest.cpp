// The lines cn prints for what a snapshot left out, from log records as the engine writes them.
#include <gtest/gtest.h>

#include <ostream>

#include "LogRecords.h"
#include "NotArchivedLines.h"

namespace cairn {
namespace cn {

void PrintTo(const NotArchivedLine& line, std::ostream* out) { *out << "'" << line.reason << "' '" << line.name << "'"; }

namespace {

// A log of records written at the given times, read back as cn reads it.
struct Log {
  std::vector<uint8_t> bytes;
  Log& Add(uint64_t time, uint32_t id, const std::string& text, uint32_t type = 0) {
    const std::vector<uint8_t> record = EncodeLogRecord(type, time, id, text);
    bytes.insert(bytes.end(), record.begin(), record.end());
    return *this;
  }
  std::vector<NotArchivedLine> Lines(uint64_t start) const {
    return NotArchivedLines(ParseLog(bytes.data(), bytes.size()), start);
  }
};

TEST(NotArchivedLinesTest, EachObjectLeftOutGetsItsReason) {
  Log log;
  log.Add(100, 111, "C:\\old\\huge.vhd", 1)  // an earlier snapshot's
      .Add(200, 106, "C:\\data\\small.txt")
      .Add(200, 111, "C:\\data\\huge.vhd", 1)
      .Add(201, 109, "C:\\data\\held.txt", 1)
      .Add(202, 110, "C:\\data\\gone.txt")  // deleted or excluded: nothing left out
      .Add(202, 110, "C:\\data\\??.txt")
      .Add(203, 108, "StorageRevision\r451 (C:\\data\\a (1).doc)", 2)
      .Add(203, 108, "CairnArchive\r148", 2)
      .Add(204, 110, "C:\\data\\huge.vhd")  // the same object again, as an added item also logs it
      .Add(205, 104, "Snapshot;2");
  const std::vector<NotArchivedLine> want = {
      {"Not archived, too large for an archive (over 4 GB)", "C:\\data\\huge.vhd"},
      {"Not archived, locked by another program", "C:\\data\\held.txt"},
      {"Not archived, the name cannot be stored", "C:\\data\\??.txt"},
      {"Not archived, an internal error in StorageRevision at 451", "C:\\data\\a (1).doc"},
      {"An internal error in CairnArchive at 148 during the snapshot", ""},
  };
  EXPECT_EQ(log.Lines(200), want);
  EXPECT_EQ(log.Lines(206), std::vector<NotArchivedLine>());
  EXPECT_EQ(log.Lines(0).front().name, "C:\\old\\huge.vhd");
}

}  // namespace
}  // namespace cn
}  // namespace cairn
