// CairnObject: one archived file, folder, element or named stream, seen as at a stamp.
#pragma once

#include "EngineObject.h"

namespace cairn {

class CairnObject final : public EngineObject<CairnObject, ICairnObject> {
 public:
  // Setup: the archive, the ObjectRecord and the as-at stamp of the view it was reached from.
  STDMETHODIMP Setup(const ObjectState& state) override;
  // GetName: the stored name (a path, a parent's name and an entry's, or a named stream's).
  STDMETHODIMP GetName(BSTR* name) override;
  // EnumCairnRevisions: the object's revisions, with this object's stamp; E_FAIL if the
  // enumerator cannot be made.
  STDMETHODIMP EnumCairnRevisions(ULONG flags, IEnumCairnRevisions** enumerator) override;

 private:
  uint32_t record_ = 0;
  Stamp stamp_;
};

}  // namespace cairn
