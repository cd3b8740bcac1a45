// The one smart pointer for COM interfaces used throughout the Windows code.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace cairn {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to p.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // Wraps a pointer whose reference the caller hands over.
  static ComPtr Adopt(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }

  void Reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // For out-parameters: releases what is held and returns the slot to fill.
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }

  // Gives up the reference, e.g. to hand it to a caller's out-parameter.
  T* Detach() { return std::exchange(p_, nullptr); }

  template <class U>
  HRESULT As(ComPtr<U>* other) const {
    return p_ ? p_->QueryInterface(__uuidof(U), other->OutVoid()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace cairn
