// ObjFormats, the format enumerator of the extension's data objects: a copy of the formats it is
// given, handed out in order.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <vector>

#include "ComObject.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class ObjFormats final : public ComObject<ObjFormats, IObjFormats, IEnumFORMATETC> {
 public:
  ObjFormats() = default;

  // Initialize: a copy of the formats (their target devices too), the cursor at the first.
  // E_INVALIDARG for formats missing where a count is given.
  STDMETHODIMP Initialize(unsigned int count, FORMATETC* formats) override;

  // Next: up to `count` formats from the cursor (each target device a copy the caller frees);
  // S_OK when all were given, S_FALSE when fewer.
  STDMETHODIMP Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
  // Skip: S_FALSE, the cursor at the end, when that passes the end.
  STDMETHODIMP Skip(ULONG count) override;
  // Reset: the cursor at the first format.
  STDMETHODIMP Reset() override;
  // Clone: E_NOTIMPL.
  STDMETHODIMP Clone(IEnumFORMATETC** copy) override;

 private:
  friend ComObject;
  ~ObjFormats() { Clear(); }
  void Clear();

  std::vector<FORMATETC> formats_;  // target devices owned, in the task allocator
  size_t cursor_ = 0;
};

}  // namespace shell
}  // namespace cairn
