// The owner of a kernel handle (file, mapping, event, thread, ...): closed when the owner goes.
// Both null and INVALID_HANDLE_VALUE mean "no handle", since the API returns either.
#pragma once

#include <windows.h>

#include "Owner.h"

namespace cairn {

struct HandleTraits {
  using Value = HANDLE;
  static HANDLE Normal(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }
  static void Free(HANDLE handle) { CloseHandle(handle); }
};

using Handle = Owner<HandleTraits>;

}  // namespace cairn
