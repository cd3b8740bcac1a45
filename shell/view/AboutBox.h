// The extension's About box: its name, its version and where the archive format is written down.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {
namespace shell {

// The version of the module's version resource ("2.0", or "2.0.1.5" when the last parts are
// set), else the version the module was built as.
std::string ModuleVersion(HMODULE module);
// Shows the About box, modal to the owner.
void ShowAboutBox(HWND owner);

}  // namespace shell
}  // namespace cairn
