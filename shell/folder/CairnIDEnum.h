// CairnIDEnum: hands a folder's items to the shell one at a time, filtered by the shell's
// enumeration flags. It works on its own copy of the folder's contents list.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "ComObject.h"
#include "Pidl.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CairnIDEnum final : public ComObject<CairnIDEnum, ICairnIDEnum, IEnumIDList> {
 public:
  // Initialize: keeps the flags and a copy of the list, cursor at its first item. E_INVALIDARG
  // for a malformed list (nothing is then listed).
  STDMETHODIMP Initialize(_ITEM* contents, ULONG flags) override;

  // Next: at most one item per call, whatever celt is; S_FALSE (and a null item) at the end.
  STDMETHODIMP Next(ULONG celt, LPITEMIDLIST* items, ULONG* fetched) override;
  // Skip: moves past up to celt items, stopping at the end; S_OK.
  STDMETHODIMP Skip(ULONG celt) override;
  // Reset: back to the first item; S_OK.
  STDMETHODIMP Reset() override;
  // Clone: E_NOTIMPL.
  STDMETHODIMP Clone(IEnumIDList** copy) override;

 private:
  bool Passes(const Item& item) const;

  ULONG flags_ = 0;
  CPidl list_;
  std::vector<Item> items_;  // views into list_
  size_t cursor_ = 0;
};

}  // namespace shell
}  // namespace cairn
