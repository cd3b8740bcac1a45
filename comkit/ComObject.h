// Building blocks of the engine's COM classes: the reference count that holds the module, and
// IDispatch served from the module's type library for the dual interfaces.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "ComPtr.h"
#include "Module.h"

namespace cairn {

// Reference counting for an object that keeps the module loaded while it lives.
class RefCount {
 public:
  RefCount() { Module::Lock(); }
  ~RefCount() { Module::Unlock(); }
  RefCount(const RefCount&) = delete;
  RefCount& operator=(const RefCount&) = delete;

  ULONG Increment() { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
  ULONG Decrement() { return static_cast<ULONG>(InterlockedDecrement(&count_)); }

 private:
  LONG count_ = 1;  // objects are created with one reference
};

// IDispatch for the dual interface I of a class: names, dispatch identifiers and Invoke all come
// from the type library, so they always match what the library tells automation clients.
template <class I>
class DualInterface : public I {
 public:
  // GetTypeInfoCount: always one type description.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }

  // GetTypeInfo: the description of I; DISP_E_BADINDEX for any index but 0.
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return Module::TypeInfo(__uuidof(I), info);
  }

  // GetIDsOfNames: DISP_E_UNKNOWNNAME for a name the interface does not have.
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ComPtr<ITypeInfo> info;
    HRESULT hr = Module::TypeInfo(__uuidof(I), info.Out());
    return FAILED(hr) ? hr : DispGetIDsOfNames(info.Get(), names, count, ids);
  }

  // Invoke: calls the vtable method the dispatch identifier names.
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    HRESULT hr = Module::TypeInfo(__uuidof(I), info.Out());
    if (FAILED(hr)) return hr;
    return DispInvoke(static_cast<I*>(this), info.Get(), id, flags, params, result, exception, argError);
  }
};

}  // namespace cairn
