#include "NotArchivedLines.h"

#include <set>

namespace cairn {
namespace cn {
namespace {

constexpr uint32_t kInternalError = 108;  // "%s\r%d" or "%s\r%d (%s)": module, place, object
constexpr uint32_t kObjectLocked = 109;
constexpr uint32_t kObjectMissing = 110;
constexpr uint32_t kObjectTooLarge = 111;

// An internal error's module and place, and the object it names in parentheses behind the place.
NotArchivedLine InternalError(const std::string& text) {
  const size_t cut = text.find('\r');
  const std::string module = text.substr(0, cut);
  std::string place = cut == std::string::npos ? std::string() : text.substr(cut + 1);
  std::string name;
  const size_t open = place.find(" (");
  if (open != std::string::npos && place.size() > open + 3 && place.back() == ')') {
    name = place.substr(open + 2, place.size() - open - 3);
    place.resize(open);
  }
  const std::string where = "internal error in " + module + (place.empty() ? "" : " at " + place);
  if (name.empty()) return {"An " + where + " during the snapshot", ""};
  return {"Not archived, an " + where, name};
}

}  // namespace

std::vector<NotArchivedLine> NotArchivedLines(const std::vector<LogEntry>& entries, uint64_t start) {
  std::vector<NotArchivedLine> lines;
  std::set<std::string> named, unnamed;
  for (const LogEntry& entry : entries) {
    if (entry.time < start) continue;
    NotArchivedLine line;
    switch (entry.id) {
      case kObjectTooLarge: line = {"Not archived, too large for an archive (over 4 GB)", entry.text}; break;
      case kObjectLocked: line = {"Not archived, locked by another program", entry.text}; break;
      case kObjectMissing:
        if (entry.text.find('?') == std::string::npos) continue;
        line = {"Not archived, the name cannot be stored", entry.text};
        break;
      case kInternalError: line = InternalError(entry.text); break;
      default: continue;
    }
    if (line.name.empty() ? unnamed.insert(line.reason).second : named.insert(line.name).second)
      lines.push_back(line);
  }
  return lines;
}

}  // namespace cn
}  // namespace cairn
