#include "ClassFactory.h"

namespace cairn {

const ClassEntry* ClassTable::Find(REFCLSID clsid) const {
  for (size_t i = 0; i < count; ++i)
    if (IsEqualCLSID(*entries[i].clsid, clsid)) return &entries[i];
  return nullptr;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return entry_.create(iid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (lock)
    Module::Lock();
  else
    Module::Unlock();
  return S_OK;
}

}  // namespace cairn
