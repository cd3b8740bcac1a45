// The question asked before items of an archive are deleted.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cairn {
namespace shell {

// Asks, owned by the window, whether the items of these stored names are to be deleted
// (snapshots at the root, else stored files and folders): one by its name, several by their
// count. True when the answer is Yes.
bool ConfirmDelete(HWND owner, bool atRoot, const std::vector<std::string>& storedNames);

}  // namespace shell
}  // namespace cairn
