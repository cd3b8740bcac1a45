#include "LogRecords.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"

namespace cairn {

std::vector<uint8_t> EncodeLogRecord(uint32_t type, uint64_t time, uint32_t id, const std::string& text) {
  const std::string body = text.substr(0, kMaxLogText);
  const uint32_t length = static_cast<uint32_t>(body.size()) + 16;
  std::vector<uint8_t> record(8 + length, 0);
  StoreLE32(&record[0], type);
  StoreLE32(&record[4], length);
  StoreLE64(&record[8], time);
  StoreLE32(&record[16], id);
  std::memcpy(&record[20], body.data(), body.size());  // then the NUL and 3 zero bytes
  return record;
}

std::vector<LogEntry> ParseLog(const uint8_t* data, size_t size) {
  std::vector<LogEntry> entries;
  size_t at = 0;
  while (size - at >= 8) {
    LogEntry entry;
    entry.type = LoadLE32(data + at);
    const uint32_t length = LoadLE32(data + at + 4);
    at += 8;
    const size_t available = std::min<size_t>(length, size - at);
    const uint8_t* body = data + at;
    uint8_t fixed[12] = {};
    std::memcpy(fixed, body, std::min<size_t>(available, 12));
    entry.time = LoadLE64(fixed);
    entry.id = LoadLE32(fixed + 8);
    if (available > 12) {
      const char* text = reinterpret_cast<const char*>(body + 12);
      entry.text.assign(text, strnlen(text, available - 12));
    }
    entry.complete = available == length;
    entries.push_back(std::move(entry));
    if (!entries.back().complete) break;
    at += length;
  }
  return entries;
}

std::vector<std::string> SplitInserts(const std::string& text) {
  const std::string head = text.substr(0, 258);
  std::vector<std::string> inserts;
  size_t start = 0;
  for (;;) {
    const size_t end = head.find('\r', start);
    if (end == std::string::npos || inserts.size() == 19) {
      inserts.push_back(head.substr(start));
      return inserts;
    }
    inserts.push_back(head.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace cairn
