// One owner for a kernel handle: closed once, never copied.
#pragma once

#include <windows.h>

namespace cairn {
namespace sfx {

class Handle {
 public:
  Handle() = default;
  // Takes over h; both null and INVALID_HANDLE_VALUE mean "no handle".
  explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Close();
      h_ = other.h_;
      other.h_ = nullptr;
    }
    return *this;
  }

  void Close() {
    if (h_ != nullptr) CloseHandle(h_);
    h_ = nullptr;
  }
  HANDLE Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace sfx
}  // namespace cairn
