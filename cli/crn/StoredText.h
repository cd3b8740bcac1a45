// Stored names and times as this system shows them. Stored names are in the Windows code page of
// the machine that took the snapshot (Western European, 1252, is assumed), or in UTF-8 when the
// archive's options say so; times are FILETIMEs.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace cairn {

class ArchiveHeap;

namespace crn {

// The names of one archive.
class StoredText {
 public:
  explicit StoredText(bool utf8) : utf8_(utf8) {}
  // The encoding of the archive's header options.
  static StoredText Of(const ArchiveHeap& heap);

  // The stored text as UTF-8; in a UTF-8 archive a byte that is no part of a well-formed
  // character is read as U+FFFD, so that nothing else is written as a file name.
  std::string Utf8(const std::string& stored) const;
  // The stored text as wide characters, for the shared name rules.
  std::wstring Wide(const std::string& stored) const;

 private:
  bool utf8_;
};

// A FILETIME (100 ns ticks since 1601) as a time of this system; false when it is 0 or before 1970
// cannot be had (a time the archive never recorded).
bool ToTimespec(uint64_t fileTime, timespec* time);

// A FILETIME in local time, "YYYY-MM-DD hh:mm", or "-" when it cannot be shown.
std::string FormatLocal(uint64_t fileTime);

}  // namespace crn
}  // namespace cairn
