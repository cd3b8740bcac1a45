#include "CairnSnapShot.h"

#include "ArchiveData.h"
#include "ArchiveLog.h"
#include "ArchiveText.h"

namespace cairn {
namespace {
constexpr char kModule[] = "CairnSnapShot";
}

STDMETHODIMP CairnSnapShot::Setup(const ObjectState& state) {
  KeepArchive(state.archive);
  record_ = state.record;
  return S_OK;
}

STDMETHODIMP CairnSnapShot::GetSnapShot(LONG* number) {
  return AnswerFromHeap(number, [&](ArchiveHeap& heap) {
    *number = SnapshotRecord(heap, record_).Number();
    return S_OK;
  });
}

STDMETHODIMP CairnSnapShot::GetName(BSTR* name) {
  return AnswerFromHeap(name, [&](ArchiveHeap& heap) { return StringToBstr(heap, SnapshotRecord(heap, record_).Name(), name); });
}

STDMETHODIMP CairnSnapShot::GetComment(BSTR* comment) {
  return AnswerFromHeap(
      comment, [&](ArchiveHeap& heap) { return StringToBstr(heap, SnapshotRecord(heap, record_).Comment(), comment); });
}

HRESULT CairnSnapShot::SetText(BSTR text, bool name) {
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  const HRESULT allowed = MayAllocate(archive_.Get());
  if (FAILED(allowed)) return allowed;
  if (!SnapshotRecord(*heap, record_).IsValid()) return E_FAIL;
  const std::string value = NameCodec::Of(*heap).FromBstr(text);
  const uint32_t stored = WriteString(*heap, value);
  if (stored == 0) {
    LogInternalError(archive_.Get(), kModule, __LINE__);
    return E_OUTOFMEMORY;
  }
  SnapshotRecord snapshot(*heap, record_);  // read afresh: storing the text may have moved the mapping
  const uint32_t old = name ? snapshot.Name() : snapshot.Comment();
  if (name)
    snapshot.SetName(stored);
  else
    snapshot.SetComment(stored);
  if (old != 0) FreeString(*heap, old);
  LogSnapshotEvent(archive_.Get(), name ? message::kNameSet : message::kCommentSet, snapshot.Number(), value);
  return S_OK;
}

STDMETHODIMP CairnSnapShot::SetName(BSTR name) { return SetText(name, true); }
STDMETHODIMP CairnSnapShot::SetComment(BSTR comment) { return SetText(comment, false); }

STDMETHODIMP CairnSnapShot::EnumCairnObjects(ULONG, IEnumCairnObjects** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  SnapshotRecord snapshot(*heap, record_);
  ObjectState state;
  state.archive = archive_.Get();
  state.record = snapshot.Entries();
  state.stamp = snapshot.AsAt();
  return CreateEngineObject(CLSID_EnumCairnObjects, state, enumerator);
}

STDMETHODIMP CairnSnapShot::GetCreationTime(ULONG* high, ULONG* low) {
  if (high == nullptr || low == nullptr) return E_POINTER;
  *high = *low = 0;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  const Stamp created = SnapshotRecord(*heap, record_).Created();
  *high = created.high;
  *low = created.low;
  return S_OK;
}

STDMETHODIMP CairnSnapShot::GetOptions(LONG* options) {
  return AnswerFromHeap(options, [&](ArchiveHeap& heap) {
    *options = static_cast<LONG>(SnapshotRecord(heap, record_).Flags());
    return S_OK;
  });
}

}  // namespace cairn
