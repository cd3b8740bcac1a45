// A time written out in full, as the pages of an archive's properties show it.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {
namespace shell {

// The time in local time: the date in the module's date format ("dd MMMM yyyy") for the user's
// default locale, a blank, and the time in that locale's default time format without the user's
// overrides. Empty when it cannot be converted.
std::string LongDateTime(const FILETIME& utc);

}  // namespace shell
}  // namespace cairn
