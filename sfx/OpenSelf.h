// What a self-extracting archive does when it is run: open the archive behind the launcher in
// Explorer, first offering to install the system where it is missing.
#pragma once

#include <windows.h>

namespace cairn {
namespace sfx {

// Offers the installation while the system is not installed (download, then run the installer
// and wait for it), then, if it is installed now, opens the own file as an archive through the
// shell's archive class "Cairn Archive" with the parameter "/root".
void OpenSelf(HINSTANCE instance);

}  // namespace sfx
}  // namespace cairn
