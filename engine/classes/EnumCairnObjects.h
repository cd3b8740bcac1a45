// EnumCairnObjects: walks a list of objects (a snapshot's entries or a revision's children),
// handing each out with the stamp of the view it belongs to.
#pragma once

#include "ListEnumerator.h"

namespace cairn {

class EnumCairnObjects final : public ListEnumerator<EnumCairnObjects, IEnumCairnObjects, ListNode> {
 public:
  static constexpr char kModule[] = "EnumCairnObjects";

  // Setup: the archive, the first ListNode and the stamp to pass on.
  STDMETHODIMP Setup(const ObjectState& state) override;
  // Next: the current node's object; S_FALSE past the end.
  STDMETHODIMP Next(ULONG flag, ICairnObject** object) override;
  // Last: the last node's object, leaving the enumerator past the end.
  STDMETHODIMP Last(ULONG flag, ICairnObject** object) override;
  // NextByName: from the current node on, the object whose whole stored name equals name
  // exactly (letter case counts); S_FALSE when none does.
  STDMETHODIMP NextByName(BSTR name, ICairnObject** object) override;

 private:
  friend class ListEnumerator<EnumCairnObjects, IEnumCairnObjects, ListNode>;
  uint32_t First(ArchiveHeap&) const { return first_; }
  bool NameOf(ArchiveHeap& heap, uint32_t node, std::string* name) const;
  HRESULT HandOutCurrent(ICairnObject** object);
  uint32_t first_ = 0;
  Stamp stamp_;
};

}  // namespace cairn
