// The extension's own text. It works in ANSI (the system code page); the engine's interfaces and
// the shell's take wide text; every text it shows comes from the module's string table. Stored
// names are kept as their archive keeps them (StoredText.h).
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <shtypes.h>

#include <string>

#include "Bstr.h"

namespace cairn {
namespace shell {

std::wstring FromAnsi(const std::string& text);
std::string ToAnsi(const wchar_t* text);
// An owned BSTR of ANSI text; null when out of memory.
Bstr AnsiBstr(const std::string& text);
// The text of a BSTR in ANSI, empty for a null BSTR.
std::string BstrAnsi(BSTR text);
// Wide text handed to the shell: STRRET_WSTR in a buffer of maxBytes from the task allocator, the
// text cut to fit. E_OUTOFMEMORY when the buffer cannot be had.
HRESULT WideStrRet(std::wstring text, size_t maxBytes, STRRET* result);
// A string of the module's string table, in ANSI as the extension shows it; empty when it cannot
// be loaded.
std::string ShellString(UINT id);

}  // namespace shell
}  // namespace cairn
