// Text helpers of the extension, which works in ANSI (the system code page) as the archive does;
// the engine's interfaces and the shell's take wide text.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "Bstr.h"

namespace cairn {
namespace shell {

std::wstring FromAnsi(const std::string& text);
std::string ToAnsi(const wchar_t* text);
// A BSTR of ANSI text; null when out of memory.
BSTR AnsiToBstr(const std::string& text);
// An owned BSTR of ANSI text; null when out of memory.
Bstr AnsiBstr(const std::string& text);
// The text of a BSTR in ANSI, empty for a null BSTR.
std::string BstrAnsi(BSTR text);
// A string of the module's string table, in ANSI as the extension shows it; empty when it cannot
// be loaded.
std::string ShellString(UINT id);

}  // namespace shell
}  // namespace cairn
