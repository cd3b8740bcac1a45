// The owner of a view of a file mapping: unmapped when the owner goes.
#pragma once

#include <windows.h>

#include "Owner.h"

namespace cairn {

struct MappedViewTraits {
  using Value = void*;
  static void* Normal(void* view) { return view; }
  static void Free(void* view) { UnmapViewOfFile(view); }
};

using MappedView = Owner<MappedViewTraits>;

}  // namespace cairn
