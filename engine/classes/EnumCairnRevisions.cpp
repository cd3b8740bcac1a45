#include "EnumCairnRevisions.h"

namespace cairn {
namespace {
constexpr ULONG kAsAt = 0x01;
constexpr ULONG kAfter = 0x02;
}  // namespace

STDMETHODIMP EnumCairnRevisions::Setup(const ObjectState& state) {
  KeepArchive(state.archive);
  object_ = ComPtr<ICairnObject>(state.object);
  record_ = state.record;
  stamp_ = state.stamp;
  return Reset();
}

STDMETHODIMP EnumCairnRevisions::Next(ULONG flags, ICairnRevision** revision) {
  if (revision == nullptr) return E_POINTER;
  *revision = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  if (cursor_.Damaged()) return kCorruptArchive;
  if (cursor_.Current() != 0 && !RevisionRecord(*heap, cursor_.Current()).IsValid()) return Damaged(__LINE__);
  const ULONG selection = flags & (kAsAt | kAfter);
  if (selection == kAsAt) {
    if (cursor_.Current() != 0 && CompareStamps(RevisionRecord(*heap, cursor_.Current()).AsAt(), stamp_) > 0)
      cursor_.SetCurrent(0);
  } else if (selection == kAfter) {
    while (cursor_.Current() != 0 && CompareStamps(RevisionRecord(*heap, cursor_.Current()).AsAt(), stamp_) <= 0) {
      HRESULT hr = Step(*heap, __LINE__);
      if (FAILED(hr)) return hr;
      if (cursor_.Current() != 0 && !RevisionRecord(*heap, cursor_.Current()).IsValid()) return Damaged(__LINE__);
    }
  }
  if (cursor_.Current() == 0) return S_FALSE;
  ObjectState state;
  state.object = object_.Get();
  state.record = cursor_.Current();
  state.stamp = stamp_;
  return HandOut(CLSID_CairnRevision, state, revision);
}

STDMETHODIMP EnumCairnRevisions::Last(ULONG flags, ICairnRevision** revision) {
  if (revision == nullptr) return E_POINTER;
  *revision = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  Reset();
  const bool asAtOnly = (flags & (kAsAt | kAfter)) == kAsAt;
  // The whole chain must be sound, also behind the revision chosen: a damaged chain has no
  // trustworthy newest revision.
  uint32_t chosen = cursor_.Current();
  bool passed = false;  // a revision later than the stamp was met
  LoopCheck loop;
  loop.Restart(chosen);
  for (uint32_t at = chosen; at != 0;) {
    const RevisionRecord record(*heap, at);
    if (!record.IsValid()) return Damaged(__LINE__);
    if (at != cursor_.Current() && !passed) {
      if (asAtOnly && CompareStamps(record.AsAt(), stamp_) > 0)
        passed = true;
      else
        chosen = at;
    }
    at = record.Next();
    if (!loop.Step(at)) return Damaged(__LINE__);
  }
  cursor_.SetCurrent(chosen);
  return Next(flags, revision);
}

}  // namespace cairn
