// The status callback of an installer download: moves the download dialog's progress bar and
// stops the transfer once the user has cancelled.
#pragma once

#include <windows.h>
#include <urlmon.h>

namespace cairn {
namespace sfx {

class ProgressSink final : public IBindStatusCallback {
 public:
  // A sink with one reference, for the dialog whose progress bar it moves; null when out of memory.
  static ProgressSink* Create(HWND dialog);

  // Makes every later OnProgress return E_ABORT, which stops the transfer. Called from the
  // dialog's thread while the download runs on another.
  void Abort() { InterlockedExchange(&abort_, E_ABORT); }

  // IUnknown and IBindStatusCallback only; anything else is E_NOINTERFACE with *out cleared.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  // Deletes the sink with its last reference.
  STDMETHODIMP_(ULONG) Release() override;

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
  explicit ProgressSink(HWND dialog) : dialog_(dialog) {}
  ~ProgressSink() = default;

  // The launcher links no C++ run-time allocator: sinks live on the process heap.
  static void* operator new(size_t size) noexcept { return HeapAlloc(GetProcessHeap(), 0, size); }
  static void operator delete(void* p) noexcept { HeapFree(GetProcessHeap(), 0, p); }

  LONG references_ = 1;
  volatile LONG abort_ = S_OK;
  HWND dialog_;
};

}  // namespace sfx
}  // namespace cairn
