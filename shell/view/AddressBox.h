// The browser's address box, as the archive view keeps it: the location of the level shown.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "FolderLevel.h"

namespace cairn {
namespace shell {

// The browser's address box; null when it has none.
HWND FindAddressBox(IShellBrowser* browser);
// Selects the level's location in the browser's address box (FolderLevel::Address), adding it with
// the archive's icon when it is not listed yet. Nothing happens when the browser has no address box.
void UpdateAddressBox(IShellBrowser* browser, IShellFolder* folder, const FolderLevel& level);

}  // namespace shell
}  // namespace cairn
