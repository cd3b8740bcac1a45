#include "RotRegistration.h"

#include <new>
#include <utility>

#include "ComObject.h"
#include "ComPtr.h"

namespace cairn {

class RotStandIn final : public ComObject<RotStandIn, IUnknown> {
 public:
  explicit RotStandIn(IUnknown* object) : object_(object) {}

  // QueryInterface: IUnknown is the stand-in's own; everything else is asked of the object while
  // it lives (CO_E_OBJNOTCONNECTED after it is gone).
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown) return ComObject::QueryInterface(iid, out);
    return object_ != nullptr ? object_->QueryInterface(iid, out) : CO_E_OBJNOTCONNECTED;
  }

  void Forget() { object_ = nullptr; }

 private:
  friend class ComObject<RotStandIn, IUnknown>;
  ~RotStandIn() = default;
  IUnknown* object_;  // not owned: the object revokes the registration before it goes
};

HRESULT RotRegistration::Register(IUnknown* object, LPCOLESTR path) {
  Revoke();
  ComPtr<IRunningObjectTable> rot;
  HRESULT hr = GetRunningObjectTable(0, rot.Out());
  if (FAILED(hr)) return hr;
  ComPtr<IMoniker> moniker;
  hr = CreateFileMoniker(path, moniker.Out());
  if (FAILED(hr)) return hr;
  RotStandIn* standIn = new (std::nothrow) RotStandIn(object);
  if (standIn == nullptr) return E_OUTOFMEMORY;
  hr = rot->Register(0, standIn, moniker.Get(), &cookie_);
  if (FAILED(hr)) {
    cookie_ = 0;
    standIn->Release();
    return hr;
  }
  standIn_ = standIn;
  return hr;
}

void RotRegistration::Revoke() {
  if (standIn_ == nullptr) return;
  standIn_->Forget();
  CoDisconnectObject(standIn_, 0);
  ComPtr<IRunningObjectTable> rot;
  if (cookie_ != 0 && SUCCEEDED(GetRunningObjectTable(0, rot.Out()))) rot->Revoke(cookie_);
  cookie_ = 0;
  std::exchange(standIn_, nullptr)->Release();
}

}  // namespace cairn
