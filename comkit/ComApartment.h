// ComApartment: COM started on the thread that makes it and ended on that same thread, once. A
// thread may start COM any number of times and must end it as often, on itself: an owner that
// goes on another thread leaves the count alone rather than end another thread's COM.
#pragma once

#include <objbase.h>

namespace cairn {

class ComApartment {
 public:
  ComApartment() : result_(CoInitialize(nullptr)), thread_(GetCurrentThreadId()) {}
  ~ComApartment() {
    if (SUCCEEDED(result_) && GetCurrentThreadId() == thread_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  // Whether COM can be used on the thread (S_FALSE: it was started there before).
  bool Started() const { return SUCCEEDED(result_); }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
  DWORD thread_;
};

}  // namespace cairn
