#include "CairnIDEnum.h"

namespace cairn {
namespace shell {

STDMETHODIMP CairnIDEnum::Initialize(_ITEM* contents, ULONG flags) {
  flags_ = flags;
  items_.clear();
  cursor_ = 0;
  const HRESULT hr = list_.SetPidl(reinterpret_cast<LPCITEMIDLIST>(contents), true, kMaxContentsItems);
  if (FAILED(hr)) return hr;
  if (!list_.Empty()) {
    std::optional<std::vector<Item>> items = ReadItems(list_.Get(), kMaxContentsItems);
    if (!items) return E_INVALIDARG;
    items_ = std::move(*items);
  }
  return S_OK;
}

bool CairnIDEnum::Passes(const Item& item) const {
  const ULONG both = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;
  if ((flags_ & both) != both && item.IsFolder() != ((flags_ & SHCONTF_FOLDERS) != 0)) return false;
  const uint32_t hidden = kAttributeHidden | kAttributeSystem;
  return (flags_ & SHCONTF_INCLUDEHIDDEN) != 0 || (item.fields.attributes & hidden) == 0;
}

STDMETHODIMP CairnIDEnum::Next(ULONG, LPITEMIDLIST* items, ULONG* fetched) {
  if (items == nullptr) return E_POINTER;
  if (fetched != nullptr) *fetched = 0;
  items[0] = nullptr;
  while (cursor_ < items_.size()) {
    const Item& item = items_[cursor_++];
    if (!Passes(item)) continue;
    items[0] = SingleItemList(item.data, item.size).Detach();
    if (items[0] == nullptr) return E_OUTOFMEMORY;
    if (fetched != nullptr) *fetched = 1;
    return S_OK;
  }
  return S_FALSE;
}

STDMETHODIMP CairnIDEnum::Skip(ULONG celt) {
  cursor_ = celt >= items_.size() - cursor_ ? items_.size() : cursor_ + celt;
  return S_OK;
}

STDMETHODIMP CairnIDEnum::Reset() {
  cursor_ = 0;
  return S_OK;
}

STDMETHODIMP CairnIDEnum::Clone(IEnumIDList** copy) {
  if (copy != nullptr) *copy = nullptr;
  return E_NOTIMPL;
}

}  // namespace shell
}  // namespace cairn
