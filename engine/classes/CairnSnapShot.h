// CairnSnapShot: one snapshot of the archive.
#pragma once

#include "EngineObject.h"

namespace cairn {

class CairnSnapShot final : public EngineObject<CairnSnapShot, ICairnSnapShot> {
 public:
  // Setup: the archive and the SnapshotRecord.
  STDMETHODIMP Setup(const ObjectState& state) override;
  STDMETHODIMP GetSnapShot(LONG* number) override;
  // GetName: the stored name, e.g. "Autosnap;12".
  STDMETHODIMP GetName(BSTR* name) override;
  // SetName: stores the name and logs the change; E_FAIL without an archive, E_OUTOFMEMORY when
  // the archive cannot grow (the old name stays).
  STDMETHODIMP SetName(BSTR name) override;
  // SetComment: as SetName, for the comment.
  STDMETHODIMP SetComment(BSTR comment) override;
  STDMETHODIMP GetComment(BSTR* comment) override;
  // EnumCairnObjects: the snapshot's top-level objects, seen as at the snapshot.
  STDMETHODIMP EnumCairnObjects(ULONG flags, IEnumCairnObjects** enumerator) override;
  // GetCreationTime: the creation time, high word first.
  STDMETHODIMP GetCreationTime(ULONG* high, ULONG* low) override;
  // GetOptions: the snapshot flags.
  STDMETHODIMP GetOptions(LONG* options) override;

 private:
  // Replaces the name (or the comment) with a copy of text and logs the change.
  HRESULT SetText(BSTR text, bool name);
  uint32_t record_ = 0;
};

}  // namespace cairn
