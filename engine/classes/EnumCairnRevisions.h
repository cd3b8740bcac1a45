// EnumCairnRevisions: walks an object's revisions from the oldest. Flag 0x01 selects those
// stamped not later than the object's stamp (as at), 0x02 those stamped later (after); both or
// neither select all.
#pragma once

#include "ListEnumerator.h"

namespace cairn {

class EnumCairnRevisions final : public ListEnumerator<EnumCairnRevisions, IEnumCairnRevisions, RevisionRecord> {
 public:
  static constexpr char kModule[] = "EnumCairnRevisions";

  // Setup: the archive, the object (its ObjectRecord and its stamp).
  STDMETHODIMP Setup(const ObjectState& state) override;
  // Next: the current revision when flags select it; S_FALSE past the end.
  STDMETHODIMP Next(ULONG flags, ICairnRevision** revision) override;
  // Last: with as-at alone, the revision current as at the stamp; else the newest as Next selects.
  STDMETHODIMP Last(ULONG flags, ICairnRevision** revision) override;

 private:
  friend class ListEnumerator<EnumCairnRevisions, IEnumCairnRevisions, RevisionRecord>;
  uint32_t First(ArchiveHeap& heap) const { return ObjectRecord(heap, record_).OldestRevision(); }
  ComPtr<ICairnObject> object_;
  uint32_t record_ = 0;
  Stamp stamp_;
};

}  // namespace cairn
