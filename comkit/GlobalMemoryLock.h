// GlobalMemoryLock: a global memory block (GlobalAlloc, or a medium's hGlobal) locked for as long
// as the owner lives, and unlocked once when it goes. It does not own the block: the block must
// outlive the lock.
#pragma once

#include <windows.h>

namespace cairn {

class GlobalMemoryLock {
 public:
  explicit GlobalMemoryLock(HGLOBAL memory)
      : memory_(memory), data_(memory != nullptr ? GlobalLock(memory) : nullptr) {}
  ~GlobalMemoryLock() {
    if (data_ != nullptr) GlobalUnlock(memory_);
  }
  GlobalMemoryLock(const GlobalMemoryLock&) = delete;
  GlobalMemoryLock& operator=(const GlobalMemoryLock&) = delete;

  // The block's bytes; null when it could not be locked (a null, discarded or freed block).
  void* Data() const { return data_; }
  template <class T>
  T* As() const {
    return static_cast<T*>(data_);
  }
  // The block's size in bytes, which bounds what may be read through Data; 0 when not locked.
  SIZE_T Size() const { return data_ != nullptr ? GlobalSize(memory_) : 0; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  HGLOBAL memory_;
  void* data_;
};

}  // namespace cairn
