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
  const ULONG selection = flags & (kAsAt | kAfter);
  if (selection == kAsAt) {
    if (cursor_.Current() != 0 && CompareStamps(RevisionRecord(*heap, cursor_.Current()).AsAt(), stamp_) > 0)
      cursor_.SetCurrent(0);
  } else if (selection == kAfter) {
    while (cursor_.Current() != 0 && CompareStamps(RevisionRecord(*heap, cursor_.Current()).AsAt(), stamp_) <= 0)
      Advance(*heap);
  }
  if (cursor_.Current() == 0) return S_FALSE;
  RevisionRecord current(*heap, cursor_.Current());
  if (!current.IsValid()) {
    StopAtDamage(__LINE__);
    return S_FALSE;
  }
  ObjectState state;
  state.object = object_.Get();
  state.record = current.Offset();
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
  uint32_t steps = heap->MaxRecords(RevisionRecord::kSize);
  while (cursor_.Current() != 0 && steps-- != 0) {
    const uint32_t newer = RevisionRecord(*heap, cursor_.Current()).Next();
    if (newer == 0 || !RevisionRecord(*heap, newer).IsValid()) break;
    if (asAtOnly && CompareStamps(RevisionRecord(*heap, newer).AsAt(), stamp_) > 0) break;
    cursor_.SetCurrent(newer);
  }
  return Next(flags, revision);
}

}  // namespace cairn
