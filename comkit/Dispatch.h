// IDispatch for a dual interface, served from the module's type library: names, dispatch
// identifiers and Invoke all come from the library, so they always match what it tells
// automation clients.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "ComPtr.h"
#include "Module.h"

namespace cairn {

// DualInterface<I> implements IDispatch for the dual interface I; ComObject takes it for I.
template <class I>
class DualInterface : public I {
 public:
  using Interface = I;

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
