#include "EnumCairnObjects.h"

#include "ArchiveLog.h"
#include "ArchiveWalk.h"
#include "Text.h"

namespace cairn {
namespace {
constexpr char kModule[] = "EnumCairnObjects";
}

STDMETHODIMP EnumCairnObjects::Setup(const ObjectState& state) {
  KeepArchive(state.archive);
  first_ = state.record;
  stamp_ = state.stamp;
  return Reset();
}

STDMETHODIMP EnumCairnObjects::Clone(IEnumCairnObjects** clone) {
  if (clone != nullptr) *clone = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP EnumCairnObjects::Reset() {
  cursor_.Reset(first_);
  return S_OK;
}

HRESULT EnumCairnObjects::Damaged(int line) {
  if (!cursor_.Damaged()) LogInternalError(archive_.Get(), kModule, line);
  cursor_.Damage();
  return kCorruptArchive;
}

HRESULT EnumCairnObjects::Step(ArchiveHeap& heap, int line) {
  ListNode node(heap, cursor_.Current());
  if (!node.IsValid() || !cursor_.MoveTo(node.Next())) return Damaged(line);
  return S_OK;
}

STDMETHODIMP EnumCairnObjects::Skip(ULONG count) {
  ArchiveHeap* heap = Heap();
  if (cursor_.Damaged()) return kCorruptArchive;
  for (ULONG i = 0; heap != nullptr && i < count && cursor_.Current() != 0; ++i) {
    HRESULT hr = Step(*heap, __LINE__);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT EnumCairnObjects::HandOut(ICairnObject** object) {
  ArchiveHeap* heap = Heap();
  ListNode node(*heap, cursor_.Current());
  if (!node.IsValid() || !ObjectRecord(*heap, node.Object()).IsValid()) return Damaged(__LINE__);
  ComPtr<ICairnArchive> archive;
  HRESULT hr = ArchiveForChild(kModule, __LINE__, &archive);
  if (FAILED(hr)) return hr;
  ObjectState state;
  state.archive = archive.Get();
  state.record = node.Object();
  state.stamp = stamp_;
  hr = CreateEngineObject(CLSID_CairnObject, state, object);
  if (FAILED(hr)) return hr;
  Step(*heap, __LINE__);  // a damaged link behind this node is reported by the next call
  return S_OK;
}

STDMETHODIMP EnumCairnObjects::Next(ULONG, ICairnObject** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (Heap() == nullptr) return E_FAIL;
  if (cursor_.Damaged()) return kCorruptArchive;
  return cursor_.Current() != 0 ? HandOut(object) : S_FALSE;
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

STDMETHODIMP EnumCairnObjects::NextByName(BSTR name, ICairnObject** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  if (cursor_.Damaged()) return kCorruptArchive;
  const std::string wanted = ToAnsi(name);
  while (cursor_.Current() != 0) {
    ListNode node(*heap, cursor_.Current());
    std::string stored;
    if (!node.IsValid() || FAILED(ReadString(*heap, ObjectRecord(*heap, node.Object()).Name(), &stored)))
      return Damaged(__LINE__);
    if (lstrcmpA(stored.c_str(), wanted.c_str()) == 0) return HandOut(object);
    HRESULT hr = Step(*heap, __LINE__);
    if (FAILED(hr)) return hr;
  }
  return S_FALSE;
}

}  // namespace cairn
