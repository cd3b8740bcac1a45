// What a snapshot's log entries say it could not archive, as cn tells it: one line per object,
// with the reason in plain words where the entry gives one. Portable: tested on every host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LogRecords.h"

namespace cairn {
namespace cn {

struct NotArchivedLine {
  std::string reason;  // e.g. "Not archived, too large for an archive (over 4 GB)"
  std::string name;    // the object's stored name (system code page); empty when the entry names none

  bool operator==(const NotArchivedLine& other) const { return reason == other.reason && name == other.name; }
};

// The lines for the entries written from start on, in log order, each object once: a file too
// large (111), one locked (109), one whose name the code page cannot hold (110 with the code
// page's '?', which no file name on the disk can hold: such a missing object was left out for
// its name, not deleted), and internal errors (108, their module and place as the reason; with
// no name when the entry names no object). Other entries say nothing left out.
std::vector<NotArchivedLine> NotArchivedLines(const std::vector<LogEntry>& entries, uint64_t start);

}  // namespace cn
}  // namespace cairn
