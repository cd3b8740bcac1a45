// EnumSnapShots: walks the archive's snapshots from the oldest; flags select live (1), deleted
// (2) or both (3).
#pragma once

#include "EngineObject.h"
#include "Navigation.h"

namespace cairn {

class EnumSnapShots final : public EngineObject<EnumSnapShots, IEnumSnapShots> {
 public:
  STDMETHODIMP Setup(const ObjectState& state) override;
  // Clone: E_NOTIMPL.
  STDMETHODIMP Clone(IEnumSnapShots** clone) override;
  // Reset: back to the oldest snapshot.
  STDMETHODIMP Reset() override;
  // Every method that walks reports a damaged snapshot list (a link outside the archive, into
  // the header, without room for its record, or a loop) as kCorruptArchive, never as an end.
  // Skip: moves towards the newest, stopping past it; S_OK.
  STDMETHODIMP Skip(ULONG count) override;
  // Next: the next snapshot whose flags share a bit with flags; S_FALSE at the end.
  STDMETHODIMP Next(ULONG flags, ICairnSnapShot** snapshot) override;
  // Last: the newest snapshot if its flags share a bit with flags, else S_FALSE.
  STDMETHODIMP Last(ULONG flags, ICairnSnapShot** snapshot) override;
  // NextByName: from the current one on, the snapshot whose stored name equals name exactly
  // (letter case counts); S_FALSE when none does.
  STDMETHODIMP NextByName(BSTR name, ICairnSnapShot** snapshot) override;
  // Set: moves to the given snapshot (by its number); past the end when there is none.
  STDMETHODIMP Set(ICairnSnapShot* snapshot) override;
  // Prev: the matching snapshot before the current position, leaving the position just after it.
  STDMETHODIMP Prev(ULONG flags, ICairnSnapShot** snapshot) override;
  // Initialize: walks the snapshots of this archive, from the oldest.
  STDMETHODIMP Initialize(ICairnArchive* archive) override;

 private:
  // Yields the snapshot at the cursor (which must match) and moves past it.
  HRESULT HandOut(ICairnSnapShot** snapshot);
  // Moves to the snapshot after the current one.
  HRESULT Step(ArchiveHeap& heap, int line);
  // Reports damage met at line: logged once, then kCorruptArchive until the next Reset.
  HRESULT Damaged(int line);
  ListCursor cursor_;
};

}  // namespace cairn
