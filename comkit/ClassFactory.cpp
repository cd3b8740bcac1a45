#include "ClassFactory.h"

namespace cairn {

const ClassEntry* ClassTable::Find(REFCLSID clsid) const {
  for (size_t i = 0; i < count; ++i)
    if (IsEqualCLSID(*entries[i].clsid, clsid)) return &entries[i];
  return nullptr;
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
  ULONG n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
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
