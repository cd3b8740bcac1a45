#include "ObjFormats.h"

#include <objbase.h>

#include <cstring>

namespace cairn {
namespace shell {
namespace {

// A copy of the format with a target device of its own (in the task allocator); false when out
// of memory.
bool CopyFormat(const FORMATETC& from, FORMATETC* to) {
  *to = from;
  if (from.ptd == nullptr) return true;
  to->ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(from.ptd->tdSize));
  if (to->ptd == nullptr) return false;
  std::memcpy(to->ptd, from.ptd, from.ptd->tdSize);
  return true;
}

}  // namespace

void ObjFormats::Clear() {
  for (FORMATETC& format : formats_) CoTaskMemFree(format.ptd);
  formats_.clear();
  cursor_ = 0;
}

STDMETHODIMP ObjFormats::Initialize(unsigned int count, FORMATETC* formats) {
  if (count != 0 && formats == nullptr) return E_INVALIDARG;
  Clear();
  for (unsigned int i = 0; i < count; ++i) {
    FORMATETC copy;
    if (!CopyFormat(formats[i], &copy)) return E_OUTOFMEMORY;
    formats_.push_back(copy);
  }
  return S_OK;
}

STDMETHODIMP ObjFormats::Next(ULONG count, FORMATETC* formats, ULONG* fetched) {
  if (fetched != nullptr) *fetched = 0;
  if (formats == nullptr) return E_POINTER;
  ULONG given = 0;
  while (given < count && cursor_ < formats_.size()) {
    if (!CopyFormat(formats_[cursor_], &formats[given])) break;
    ++cursor_;
    ++given;
  }
  if (fetched != nullptr) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP ObjFormats::Skip(ULONG count) {
  if (count > formats_.size() - cursor_) {
    cursor_ = formats_.size();
    return S_FALSE;
  }
  cursor_ += count;
  return S_OK;
}

STDMETHODIMP ObjFormats::Reset() {
  cursor_ = 0;
  return S_OK;
}

STDMETHODIMP ObjFormats::Clone(IEnumFORMATETC** copy) {
  if (copy != nullptr) *copy = nullptr;
  return E_NOTIMPL;
}

}  // namespace shell
}  // namespace cairn
