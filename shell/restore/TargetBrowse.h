// The boxes behind the restore dialog's "&Browse..." button: the folder browser ("Save to. . .")
// for a folder or several items, the save-as box ("Save as. . .") for one file. Each starts at the
// current target and gives the one chosen; false when the user cancelled.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {
namespace shell {

// File-system folders only; the current target is selected when the box opens, and
// its status line shows the path under the selection.
bool BrowseForTargetFolder(HWND owner, const std::string& current, std::string* chosen);
// No file types; the current target as the name, in its folder; asks before replacing a file.
bool BrowseForTargetFile(HWND owner, const std::string& current, std::string* chosen);

}  // namespace shell
}  // namespace cairn
