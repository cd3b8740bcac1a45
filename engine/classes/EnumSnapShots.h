// EnumSnapShots: walks the archive's snapshots from the oldest; flags select live (1), deleted
// (2) or both (3).
#pragma once

#include "ListEnumerator.h"

namespace cairn {

class EnumSnapShots final : public ListEnumerator<EnumSnapShots, IEnumSnapShots, SnapshotRecord> {
 public:
  static constexpr char kModule[] = "EnumSnapShots";

  STDMETHODIMP Setup(const ObjectState& state) override;
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
  friend class ListEnumerator<EnumSnapShots, IEnumSnapShots, SnapshotRecord>;
  uint32_t First(ArchiveHeap& heap) const { return heap.HeaderField(header::kSnapshotList); }
  bool NameOf(ArchiveHeap& heap, uint32_t offset, std::string* name) const;
  // Yields the snapshot at the cursor (which must match) and moves past it.
  HRESULT HandOutCurrent(ICairnSnapShot** snapshot);
};

}  // namespace cairn
