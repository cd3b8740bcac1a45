// EnumCairnRevisions: walks an object's revisions from the oldest. Flag 0x01 selects those
// stamped not later than the object's stamp (as at), 0x02 those stamped later (after); both or
// neither select all.
#pragma once

#include "EngineObject.h"
#include "Navigation.h"

namespace cairn {

class EnumCairnRevisions final : public EngineObject<EnumCairnRevisions, IEnumCairnRevisions> {
 public:
  // Setup: the archive, the object (its ObjectRecord and its stamp).
  STDMETHODIMP Setup(const ObjectState& state) override;
  // Clone: E_NOTIMPL.
  STDMETHODIMP Clone(IEnumCairnRevisions** clone) override;
  STDMETHODIMP Reset() override;
  // Every method that walks reports a damaged chain (a link outside the archive, into the
  // header, without room for its record, or a loop) as kCorruptArchive, never as an end.
  // Skip: moves towards the newest, stopping past it; S_OK.
  STDMETHODIMP Skip(ULONG count) override;
  // Next: the current revision when flags select it; S_FALSE past the end.
  STDMETHODIMP Next(ULONG flags, ICairnRevision** revision) override;
  // Last: with as-at alone, the revision current as at the stamp; else the newest as Next selects.
  STDMETHODIMP Last(ULONG flags, ICairnRevision** revision) override;

 private:
  // Moves to the revision after the current one.
  HRESULT Step(ArchiveHeap& heap, int line);
  // Reports damage met at line: logged once, then kCorruptArchive until the next Reset.
  HRESULT Damaged(int line);
  ComPtr<ICairnObject> object_;
  uint32_t record_ = 0;
  Stamp stamp_;
  ListCursor cursor_;
};

}  // namespace cairn
