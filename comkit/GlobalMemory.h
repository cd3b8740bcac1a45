// The owner of a global memory block (GlobalAlloc): freed when the owner goes.
#pragma once

#include <windows.h>

#include "Owner.h"

namespace cairn {

struct GlobalMemoryTraits : EmptyWhenNull<HGLOBAL> {
  static void Free(HGLOBAL memory) { GlobalFree(memory); }
};

using GlobalMemory = Owner<GlobalMemoryTraits>;

}  // namespace cairn
