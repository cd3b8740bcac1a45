// The owner of an item identifier list in the shell's allocator (the task allocator): freed when
// the owner goes. The one owner of such lists in the extension and the browser frame.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "TaskMemory.h"

namespace cairn {

using IdList = TaskMemory<ITEMIDLIST>;

}  // namespace cairn
