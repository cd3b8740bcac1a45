#include "EnumCairnObjects.h"

#include "ArchiveWalk.h"

namespace cairn {

STDMETHODIMP EnumCairnObjects::Setup(const ObjectState& state) {
  KeepArchive(state.archive);
  first_ = state.record;
  stamp_ = state.stamp;
  return Reset();
}

bool EnumCairnObjects::NameOf(ArchiveHeap& heap, uint32_t offset, std::string* name) const {
  ListNode node(heap, offset);
  return node.IsValid() && SUCCEEDED(ReadString(heap, ObjectRecord(heap, node.Object()).Name(), name));
}

HRESULT EnumCairnObjects::HandOutCurrent(ICairnObject** object) {
  ArchiveHeap* heap = Heap();
  ListNode node(*heap, cursor_.Current());
  if (!node.IsValid() || !ObjectRecord(*heap, node.Object()).IsValid()) return Damaged(__LINE__);
  ObjectState state;
  state.record = node.Object();
  state.stamp = stamp_;
  return HandOut(CLSID_CairnObject, state, object);
}

STDMETHODIMP EnumCairnObjects::Next(ULONG, ICairnObject** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (Heap() == nullptr) return E_FAIL;
  if (cursor_.Damaged()) return kCorruptArchive;
  return cursor_.Current() != 0 ? HandOutCurrent(object) : S_FALSE;
}

STDMETHODIMP EnumCairnObjects::Last(ULONG flag, ICairnObject** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  uint32_t last = 0;
  cursor_.Reset(first_);
  if (FAILED(ForEach<ListNode>(*heap, first_, [&](ListNode& node) {
        last = node.Offset();
        return S_OK;
      })))
    return Damaged(__LINE__);
  cursor_.Reset(last);
  return Next(flag, object);
}

STDMETHODIMP EnumCairnObjects::NextByName(BSTR name, ICairnObject** object) { return NextWithName(name, object); }

}  // namespace cairn
