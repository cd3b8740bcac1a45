// The file list of a data transfer (CF_HDROP): a DROPFILES block in global memory, as the shell
// reads it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "GlobalMemory.h"

namespace cairn {
namespace shell {

// A block of the paths (ANSI, each ended by a NUL, the list by one more), shareable global memory;
// its drop point is the cursor's place in the client area of the window under it, flagged when
// it lies outside that area. Empty when out of memory.
GlobalMemory DropFilesBlock(const std::vector<std::string>& paths);

}  // namespace shell
}  // namespace cairn
