// The owner of a STGMEDIUM, one that a data object gave (GetData) or one still to be handed on:
// released with ReleaseStgMedium when the owner goes, which frees its memory, handle, stream or
// storage, or leaves them to its pUnkForRelease. Moved but never copied.
#pragma once

#include <objbase.h>

namespace cairn {

class StorageMedium {
 public:
  StorageMedium() = default;
  // Takes over the medium.
  explicit StorageMedium(const STGMEDIUM& medium) : medium_(medium) {}
  StorageMedium(StorageMedium&& other) noexcept : medium_(other.Detach()) {}
  StorageMedium& operator=(StorageMedium&& other) noexcept {
    if (this != &other) {
      Reset();
      medium_ = other.Detach();
    }
    return *this;
  }
  StorageMedium(const StorageMedium&) = delete;
  StorageMedium& operator=(const StorageMedium&) = delete;
  ~StorageMedium() { Reset(); }

  // Releases what is held; the owner is empty (TYMED_NULL) after.
  void Reset() {
    if (medium_.tymed != TYMED_NULL || medium_.pUnkForRelease != nullptr) ReleaseStgMedium(&medium_);
    medium_ = STGMEDIUM{};
  }
  // Gives up the medium unreleased, to one that takes it over (SetData with fRelease).
  STGMEDIUM Detach() {
    const STGMEDIUM medium = medium_;
    medium_ = STGMEDIUM{};
    return medium;
  }
  // For GetData's out-parameter: releases what is held and returns the empty medium to fill.
  STGMEDIUM* Out() {
    Reset();
    return &medium_;
  }
  const STGMEDIUM& Get() const { return medium_; }
  explicit operator bool() const { return medium_.tymed != TYMED_NULL; }

 private:
  STGMEDIUM medium_ = {};
};

}  // namespace cairn
