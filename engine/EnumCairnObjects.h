// EnumCairnObjects: walks a list of objects (a snapshot's entries or a revision's children),
// handing each out with the stamp of the view it belongs to.
#pragma once

#include "EngineObject.h"
#include "Navigation.h"

namespace cairn {

class EnumCairnObjects final : public EngineObject<EnumCairnObjects, IEnumCairnObjects> {
 public:
  // Setup: the archive, the first ListNode and the stamp to pass on.
  STDMETHODIMP Setup(const ObjectState& state) override;
  // Clone: E_NOTIMPL.
  STDMETHODIMP Clone(IEnumCairnObjects** clone) override;
  STDMETHODIMP Reset() override;
  // Every method that walks reports a damaged list (a link outside the archive, into the header,
  // without room for its record, a node naming no sound object, or a loop) as kCorruptArchive,
  // never as an end.
  // Skip: moves forward, stopping past the end; S_OK.
  STDMETHODIMP Skip(ULONG count) override;
  // Next: the current node's object; S_FALSE past the end.
  STDMETHODIMP Next(ULONG flag, ICairnObject** object) override;
  // Last: the last node's object, leaving the enumerator past the end.
  STDMETHODIMP Last(ULONG flag, ICairnObject** object) override;
  // NextByName: from the current node on, the object whose whole stored name equals name
  // exactly (letter case counts); S_FALSE when none does.
  STDMETHODIMP NextByName(BSTR name, ICairnObject** object) override;

 private:
  HRESULT HandOut(ICairnObject** object);
  // Moves to the node after the current one.
  HRESULT Step(ArchiveHeap& heap, int line);
  // Reports damage met at line: logged once, then kCorruptArchive until the next Reset.
  HRESULT Damaged(int line);
  uint32_t first_ = 0;
  Stamp stamp_;
  ListCursor cursor_;
};

}  // namespace cairn
