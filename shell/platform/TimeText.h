// Times as the extension shows them, in local time: the view's short form and the property pages'
// long form. Both are empty for no time (0).
#pragma once

#include <cstdint>
#include <string>

namespace cairn {
namespace shell {

// A stored time (UTC file time as 64 bits): the user's short date, a blank and the time without
// seconds, as the view's columns and status bar show it.
std::string DateTime(uint64_t stamp);

// The same time as the property pages show it: the date in the form of string 310 ("dd MMMM
// yyyy") in the user's locale, a blank, and the time in the locale's own default form (the user's
// overrides left out).
std::string LongDateTime(uint64_t stamp);

}  // namespace shell
}  // namespace cairn
