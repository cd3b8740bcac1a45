#include "CairnRevision.h"

#include "Revisions.h"

namespace cairn {

STDMETHODIMP CairnRevision::Setup(const ObjectState& state) {
  KeepArchive(state.archive);
  object_ = ComPtr<ICairnObject>(state.object);
  record_ = state.record;
  stamp_ = state.stamp;
  return S_OK;
}

STDMETHODIMP CairnRevision::GetContents(IStream** stream) {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  ObjectState state;
  state.archive = archive_.Get();
  state.object = object_.Get();
  state.record = record_;
  state.streamKind = ObjectState::StreamKind::kRevision;
  return SUCCEEDED(CreateEngineObject(CLSID_Stream, state, stream)) ? S_OK : E_FAIL;
}

STDMETHODIMP CairnRevision::GetRevision(LONG* number) {
  return AnswerFromHeap(number, [&](ArchiveHeap& heap) {
    if (record_ != 0) *number = RevisionRecord(heap, record_).Number();
    return S_OK;
  });
}

STDMETHODIMP CairnRevision::GetChanges(LONG* insertions, LONG* deletions, LONG* changes) {
  if (insertions == nullptr || deletions == nullptr || changes == nullptr) return E_POINTER;
  *insertions = *deletions = *changes = 0;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  if (record_ == 0) return S_OK;
  uint32_t counts[3] = {};
  HRESULT hr = CountDifferences(*heap, record_, &counts[0], &counts[1], &counts[2]);
  if (FAILED(hr)) return E_FAIL;
  *insertions = static_cast<LONG>(counts[0]);
  *deletions = static_cast<LONG>(counts[1]);
  *changes = static_cast<LONG>(counts[2]);
  return S_OK;
}

STDMETHODIMP CairnRevision::EnumCairnObjects(ULONG, IEnumCairnObjects** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  ObjectState state;
  state.archive = archive_.Get();
  state.record = record_ != 0 ? RevisionRecord(*heap, record_).Children() : 0;
  state.stamp = stamp_;
  return CreateEngineObject(CLSID_EnumCairnObjects, state, enumerator);
}

STDMETHODIMP CairnRevision::GetAsAt(ULONG* high, ULONG* low) {
  if (high == nullptr || low == nullptr) return E_POINTER;
  *high = *low = 0;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  if (record_ != 0) {
    const Stamp stamp = RevisionRecord(*heap, record_).AsAt();
    *high = stamp.high;
    *low = stamp.low;
  }
  return S_OK;
}

}  // namespace cairn
