// What an archive file's Settings page shows and changes, as values: its options (compression
// and its speed or space trade-off, how changes are found, the names' encoding, the activity
// window) and its include and exclude lists of file types, read from the archive and written back
// in one writer session.
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
constexpr long kOptionModifiedTime = 0x10;     // size, last-write time and attributes decide a change
constexpr long kOptionFindMovedData = 0x20;    // the difference pass looks anywhere ahead
// kOptionUtf8Names (StoredText.h): names in UTF-8, set only before the first snapshot.

struct ArchiveSettings {
  bool read = false;  // the archive could be opened for reading: only then is anything written back
  // Which values could be read; each is shown and written back only when it was.
  bool optionsRead = false;
  bool includeRead = false;
  bool excludeRead = false;
  long snapshots = 0;
  bool hasLastSnapshot = false;
  uint64_t lastSnapshot = 0;  // a UTC file time
  bool compress = false;
  bool optimiseForSpace = false;
  bool modifiedTime = false;
  bool findMovedData = false;
  bool utf8Names = false;
  bool showActivity = false;
  bool autoDismiss = false;
  std::vector<std::string> include;
  std::vector<std::string> exclude;
};

// The settings of the level's archive, through a reader of its own: the number of snapshots and
// the last one's time, the options (optimising for space only while compressing), the lists. Each
// value is read on its own: one that cannot be read stays as a fresh ArchiveSettings has it
// (no snapshots, every option off, empty lists) and does not keep the others from being read.
ArchiveSettings ReadArchiveSettings(const ArchiveOperations& archive);

// How writing the settings back ended.
enum class SettingsWritten {
  kWritten,    // all written, or nothing to write (settings never read)
  kBusy,       // another writer keeps the archive
  kDenied,     // the archive is read-only, or this user may not write it
  kGone,       // the archive is no longer where it was
  kFailed,     // the archive cannot be opened for writing otherwise, or the engine refused a change
};

// Writes the settings back in one writer session, all of them or none: the options word (the
// compression bits, the space bit kept while compression is off, the bits of how changes are
// found, the names' encoding, the activity window's and the auto-dismiss bits) and each list whose
// text differs from the archive's. When a step fails, the steps before it are undone. The engine
// refuses a change of the names' encoding once the archive has a snapshot (kFailed).
SettingsWritten WriteArchiveSettings(const ArchiveOperations& archive, const ArchiveSettings& settings);

// A list's text: the patterns joined by ",", and back; empty entries are dropped when read.
std::string JoinPatterns(const std::vector<std::string>& patterns);
std::vector<std::string> SplitPatterns(const std::string& text);

}  // namespace shell
}  // namespace cairn
