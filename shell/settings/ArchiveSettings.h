// What an archive file's Settings page shows and changes, as values: its options (compression
// and its speed or space trade-off, the activity window) and its include and exclude lists of
// file types, read from the archive and written back in a fixed order.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ArchiveOperations.h"

namespace cairn {
namespace shell {

// The archive options word's bits the page shows; the others are written back unchanged.
constexpr long kOptionCompress = 0x1;
constexpr long kOptionShowActivity = 0x2;
constexpr long kOptionAutoDismiss = 0x4;
constexpr long kOptionOptimiseForSpace = 0x8;  // only while compressing

struct ArchiveSettings {
  bool read = false;  // the archive could be read: only then is anything written back
  long snapshots = 0;
  bool hasLastSnapshot = false;
  uint64_t lastSnapshot = 0;  // a UTC file time
  bool compress = false;
  bool optimiseForSpace = false;
  bool showActivity = false;
  bool autoDismiss = false;
  std::vector<std::string> include;
  std::vector<std::string> exclude;
};

// The settings of the level's archive, through a reader of its own: the number of snapshots and
// the last one's time, the options (optimising for space only while compressing), the lists. An
// archive that cannot be read gives no snapshots, every option off and empty lists.
ArchiveSettings ReadArchiveSettings(const ArchiveOperations& archive);

// Writes the settings back, stopping at the first failure: the compression bits (the space bit
// is kept while compression is off), the activity window's bit, the auto-dismiss bit, then each
// list whose text differs from the archive's. True when all is written, and also when there is
// nothing to write: settings never read. False when the archive cannot be opened for writing
// (another writer keeps it, it is read-only or gone) or the engine refuses a change.
bool WriteArchiveSettings(const ArchiveOperations& archive, const ArchiveSettings& settings);

// A list's text: the patterns joined by ",", and back; empty entries are dropped when read.
std::string JoinPatterns(const std::vector<std::string>& patterns);
std::vector<std::string> SplitPatterns(const std::string& text);

}  // namespace shell
}  // namespace cairn
