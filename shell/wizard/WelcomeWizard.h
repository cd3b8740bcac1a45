// The welcome wizard: four pages on how archives are used, shown modeless the first time a
// process opens an archive as a folder. It changes no archive; its last page can turn it off.
#pragma once

#include <windows.h>

namespace cairn {
namespace shell {

// Shows the wizard, owned by the window, with the pages and pictures of the module, and returns
// at once: the sheet's window, or null when it could not be made. The sheet destroys itself when
// it is finished or cancelled; the owner's message loop passes it its keys (IsDialogMessage).
HWND RunWelcomeWizard(HWND owner, HINSTANCE instance);

}  // namespace shell
}  // namespace cairn
