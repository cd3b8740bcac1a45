// The owner of a block from the COM task allocator (CoTaskMemAlloc): freed when the owner goes.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "Owner.h"

namespace cairn {

template <class T>
struct TaskMemoryTraits : EmptyWhenNull<T*> {
  static void Free(T* block) { CoTaskMemFree(block); }
};

template <class T>
using TaskMemory = Owner<TaskMemoryTraits<T>>;

}  // namespace cairn
