// The owner of a view of a file mapping: unmapped when the owner goes.
#pragma once

#include <windows.h>

#include "Owner.h"

namespace cairn {

struct MappedViewTraits : EmptyWhenNull<void*> {
  static void Free(void* view) { UnmapViewOfFile(view); }
};

using MappedView = Owner<MappedViewTraits>;

}  // namespace cairn
