#include "EnumCairnRevisions.h"

#include "ArchiveLog.h"

namespace cairn {
namespace {
constexpr char kModule[] = "EnumCairnRevisions";
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

STDMETHODIMP EnumCairnRevisions::Clone(IEnumCairnRevisions** clone) {
  if (clone != nullptr) *clone = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP EnumCairnRevisions::Reset() {
  ArchiveHeap* heap = Heap();
  cursor_.Reset(heap != nullptr ? ObjectRecord(*heap, record_).OldestRevision() : 0);
  return S_OK;
}

STDMETHODIMP EnumCairnRevisions::Skip(ULONG count) {
  ArchiveHeap* heap = Heap();
  for (ULONG i = 0; heap != nullptr && i < count && cursor_.Current() != 0; ++i)
    cursor_.MoveTo(*heap, RevisionRecord(*heap, cursor_.Current()).Next(), RevisionRecord::kSize);
  return S_OK;
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
      cursor_.MoveTo(*heap, RevisionRecord(*heap, cursor_.Current()).Next(), RevisionRecord::kSize);
  }
  if (cursor_.Current() == 0) return S_FALSE;
  RevisionRecord current(*heap, cursor_.Current());
  if (!current.IsValid()) {
    LogInternalError(archive_.Get(), kModule, __LINE__);
    cursor_.SetCurrent(0);
    return S_FALSE;
  }
  ComPtr<ICairnArchive> archive;
  HRESULT hr = ArchiveForChild(kModule, __LINE__, &archive);
  if (FAILED(hr)) return hr;
  ObjectState state;
  state.archive = archive.Get();
  state.object = object_.Get();
  state.record = current.Offset();
  state.stamp = stamp_;
  hr = CreateEngineObject(CLSID_CairnRevision, state, revision);
  if (FAILED(hr)) return hr;
  cursor_.MoveTo(*heap, current.Next(), RevisionRecord::kSize);
  return S_OK;
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
