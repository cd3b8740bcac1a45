// Text as cn receives it (UTF-16 from the system, UTF-8 inside) and as it writes it to the
// console (the system's ANSI code page), and the BSTRs it exchanges with the engine.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "Bstr.h"

namespace cairn {
namespace cn {

std::string Utf8(const wchar_t* text);
std::wstring Wide(const std::string& utf8);

// Text for the console, which shows the system's code page.
std::string Console(const std::string& utf8);
std::string Console(const wchar_t* text);

// A time stamp as listings show it: local time, the user's short date, a space, and the user's
// time format without seconds. Empty when the time cannot be converted.
std::string LocalDateTime(const FILETIME& time);

}  // namespace cn
}  // namespace cairn
