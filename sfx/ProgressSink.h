// The status callback of an installer download: moves the download dialog's progress bar and
// stops the transfer once the user has cancelled.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <new>

#include "ComObject.h"

namespace cairn {
namespace sfx {

// New(dialog): a sink with one reference, for the dialog whose progress bar it moves; null when
// out of memory. It answers IUnknown and IBindStatusCallback only.
class ProgressSink final : public ComObject<ProgressSink, IBindStatusCallback> {
 public:
  // Makes every later OnProgress return E_ABORT, which stops the transfer. Called from the
  // dialog's thread while the download runs on another.
  void Abort() { InterlockedExchange(&abort_, E_ABORT); }

  // Not used: E_NOTIMPL.
  STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

  // Shows progress out of progressMax (when known) on the progress bar; returns S_OK to go on,
  // E_ABORT after Abort.
  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG status, LPCWSTR text) override;

 private:
  friend ComObject;
  explicit ProgressSink(HWND dialog) : dialog_(dialog) {}
  ~ProgressSink() = default;

  // The launcher links no C++ run-time allocator: sinks live on the process heap.
  static void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size);
  }
  static void operator delete(void* p) noexcept { HeapFree(GetProcessHeap(), 0, p); }

  volatile LONG abort_ = S_OK;
  HWND dialog_;
};

}  // namespace sfx
}  // namespace cairn
