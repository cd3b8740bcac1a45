// The archive log's records: a sequence of LogRecords in the named stream \\.\ArchiveLog.
//
//   0  type (0 information, 1 warning, 2 error)
//   4  L, the length of the rest: text length + 16
//   8  time written (FILETIME, UTC)
//  16  message id
//  20  the text, its NUL, then 3 bytes without meaning
//
// The text holds the message's inserts in order, separated by carriage returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cairn {

namespace log_type {
constexpr uint32_t kInformation = 0;
constexpr uint32_t kWarning = 1;
constexpr uint32_t kError = 2;
}  // namespace log_type

// Longest text of one entry.
constexpr size_t kMaxLogText = 1024;

// The bytes of one record; a longer text is cut to kMaxLogText characters.
std::vector<uint8_t> EncodeLogRecord(uint32_t type, uint64_t time, uint32_t id, const std::string& text);

struct LogEntry {
  uint32_t type = 0;
  uint64_t time = 0;
  uint32_t id = 0;
  std::string text;        // up to its NUL, within the record
  bool complete = true;    // false: the log ended inside this record's body
};

// The records of a log in order. A header cut short ends the list; a body cut short gives a
// last entry that is not complete. Records of any type are returned; nothing is trusted.
std::vector<LogEntry> ParseLog(const uint8_t* data, size_t size);

// The inserts of an entry's text: its first 258 characters split at each carriage return, into
// at most 20 inserts (the last one keeps any further carriage returns).
std::vector<std::string> SplitInserts(const std::string& text);

}  // namespace cairn
