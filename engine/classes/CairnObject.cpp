#include "CairnObject.h"

#include "ArchiveText.h"

namespace cairn {

STDMETHODIMP CairnObject::Setup(const ObjectState& state) {
  KeepArchive(state.archive);
  record_ = state.record;
  stamp_ = state.stamp;
  return S_OK;
}

STDMETHODIMP CairnObject::GetName(BSTR* name) {
  return AnswerFromHeap(name, [&](ArchiveHeap& heap) {
    ObjectRecord object(heap, record_);
    return object.IsValid() ? StringToBstr(heap, object.Name(), name) : E_FAIL;
  });
}

STDMETHODIMP CairnObject::EnumCairnRevisions(ULONG, IEnumCairnRevisions** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = nullptr;
  ObjectState state;
  state.archive = archive_.Get();
  state.object = this;
  state.record = record_;
  state.stamp = stamp_;
  return SUCCEEDED(CreateEngineObject(CLSID_EnumCairnRevisions, state, enumerator)) ? S_OK : E_FAIL;
}

}  // namespace cairn
