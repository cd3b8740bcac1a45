// CairnRevision: one revision of an archived object.
#pragma once

#include "EngineObject.h"

namespace cairn {

class CairnRevision final : public EngineObject<CairnRevision, ICairnRevision> {
 public:
  // Setup: the archive, the object it belongs to, its RevisionRecord (0: no revision, an empty
  // content) and the object's stamp.
  STDMETHODIMP Setup(const ObjectState& state) override;
  // GetContents: a new Stream on this revision's content; E_FAIL if it cannot be set up.
  STDMETHODIMP GetContents(IStream** stream) override;
  STDMETHODIMP GetRevision(LONG* number) override;
  // GetChanges: this revision's own records counted by kind.
  STDMETHODIMP GetChanges(LONG* insertions, LONG* deletions, LONG* changes) override;
  // EnumCairnObjects: the children of a folder or storage revision, with the object's stamp.
  STDMETHODIMP EnumCairnObjects(ULONG flags, IEnumCairnObjects** enumerator) override;
  STDMETHODIMP GetAsAt(ULONG* high, ULONG* low) override;

 private:
  ComPtr<ICairnObject> object_;
  uint32_t record_ = 0;
  Stamp stamp_;
};

}  // namespace cairn
