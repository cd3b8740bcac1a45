#include "ProgressSink.h"

#include <commctrl.h>

#include "resource.h"

namespace cairn {
namespace sfx {

ProgressSink* ProgressSink::Create(HWND dialog) { return new ProgressSink(dialog); }

STDMETHODIMP ProgressSink::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IBindStatusCallback)) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  *out = static_cast<IBindStatusCallback*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) ProgressSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) ProgressSink::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

STDMETHODIMP ProgressSink::OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR) {
  if (progressMax != 0) {
    // In 255-byte units, as the bar has always counted.
    SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_SETRANGE32, 0, static_cast<LPARAM>(progressMax / 255));
    SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(progress / 255), 0);
  }
  return abort_;
}

}  // namespace sfx
}  // namespace cairn
