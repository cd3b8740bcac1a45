// Stored names and times as this system shows them. Stored names are in the Windows code page of
// the machine that took the snapshot (Western European, 1252, is assumed); times are FILETIMEs.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace cairn {
namespace crn {

// The stored text as UTF-8.
std::string ToUtf8(const std::string& stored);
// The stored text as wide characters, for the shared name rules.
std::wstring ToWide(const std::string& stored);

// A FILETIME (100 ns ticks since 1601) as a time of this system; false when it is 0 or before 1970
// cannot be had (a time the archive never recorded).
bool ToTimespec(uint64_t fileTime, timespec* time);

// A FILETIME in local time, "YYYY-MM-DD hh:mm", or "-" when it cannot be shown.
std::string FormatLocal(uint64_t fileTime);

}  // namespace crn
}  // namespace cairn
