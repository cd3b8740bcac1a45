#include "DownloadDialog.h"

#include <commctrl.h>
#include <urlmon.h>

#include "DllSearch.h"
#include "ProgressSink.h"
#include "resource.h"

namespace cairn {
namespace sfx {
namespace {

// Posted by the worker to the dialog when the download has ended; the result is in the job.
constexpr UINT kDownloadEnded = WM_APP + 1;

// One download, shared by the dialog and its worker: a cancelled dialog ends at once while the
// worker may still be inside the download, so each holds a reference and the last one frees it.
class DownloadJob {
 public:
  static DownloadJob* Create(const wchar_t* target) {
    DownloadJob* job = new DownloadJob;
    if (job != nullptr) lstrcpynW(job->target, target, MAX_PATH);
    return job;
  }
  void AddRef() { InterlockedIncrement(&references_); }
  void Release() {
    if (InterlockedDecrement(&references_) != 0) return;
    if (sink_ != nullptr) static_cast<ProgressSink*>(sink_)->Release();
    if (thread != nullptr) CloseHandle(thread);
    delete this;
  }

  // The dialog's side: stops the transfer at its next progress report, whether or not the worker
  // has made its sink yet.
  void Cancel() {
    InterlockedExchange(&cancelled_, 1);
    if (ProgressSink* sink = static_cast<ProgressSink*>(InterlockedCompareExchangePointer(&sink_, nullptr, nullptr)))
      sink->Abort();
  }
  // The worker's side: hands over its sink, then looks whether the cancel came before it.
  void SetSink(ProgressSink* sink) {
    InterlockedExchangePointer(&sink_, sink);
    if (InterlockedCompareExchange(&cancelled_, 0, 0) != 0) sink->Abort();
  }

  wchar_t target[MAX_PATH] = {};
  wchar_t address[MAX_PATH] = {};
  HWND dialog = nullptr;
  HANDLE thread = nullptr;
  volatile LONG result = E_FAIL;

 private:
  DownloadJob() = default;
  ~DownloadJob() = default;
  // The launcher links no C++ run-time allocator: jobs live on the process heap.
  static void* operator new(size_t size) noexcept { return HeapAlloc(GetProcessHeap(), 0, size); }
  static void operator delete(void* p) noexcept { HeapFree(GetProcessHeap(), 0, p); }

  LONG references_ = 1;
  volatile LONG cancelled_ = 0;
  void* volatile sink_ = nullptr;  // the ProgressSink, once the worker has made it
};

using URLDownloadToFileFn = HRESULT(WINAPI*)(IUnknown*, const wchar_t*, const wchar_t*, DWORD, IBindStatusCallback*);

DWORD WINAPI Download(void* context) {
  DownloadJob* job = static_cast<DownloadJob*>(context);
  const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HRESULT hr = E_OUTOFMEMORY;
  if (ProgressSink* sink = ProgressSink::New(job->dialog)) {
    job->SetSink(sink);
    // urlmon is no known system DLL: it is loaded from the system directory only now.
    const auto download = SystemFunction<URLDownloadToFileFn>(L"urlmon.dll", "URLDownloadToFileW");
    hr = download != nullptr ? download(nullptr, job->address, job->target, 0, sink) : E_FAIL;
  }
  InterlockedExchange(&job->result, hr);
  PostMessageW(job->dialog, kDownloadEnded, 0, 0);  // fails harmlessly once the dialog is gone
  if (SUCCEEDED(initialized)) CoUninitialize();
  job->Release();
  return 0;
}

void StartDownload(HWND dialog, DownloadJob* job) {
  GetDlgItemTextW(dialog, IDC_ADDRESS, job->address, MAX_PATH);
  EnableWindow(GetDlgItem(dialog, IDC_DOWNLOAD_NOW), FALSE);  // one download per dialog
  job->AddRef();
  job->thread = CreateThread(nullptr, 0, Download, job, 0, nullptr);
  if (job->thread == nullptr) {
    job->Release();
    EndDialog(dialog, E_FAIL);
  }
}

INT_PTR CALLBACK DownloadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DownloadJob* job = reinterpret_cast<DownloadJob*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      job = reinterpret_cast<DownloadJob*>(lParam);
      job->dialog = dialog;
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      SendDlgItemMessageW(dialog, IDC_ADDRESS, EM_LIMITTEXT, MAX_PATH - 1, 0);
      SetDlgItemTextW(dialog, IDC_ADDRESS, kDownloadAddress);
      return TRUE;
    case kDownloadEnded:
      EndDialog(dialog, job->result);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_DOWNLOAD_NOW:
          StartDownload(dialog, job);
          return TRUE;
        case IDC_CANCEL_DOWNLOAD:
        case IDCANCEL:  // Escape and the close box cancel too
          job->Cancel();
          EndDialog(dialog, E_ABORT);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

HRESULT RunDownloadDialog(HINSTANCE instance, const wchar_t* target) {
  // The progress bar's class comes from the common controls, no known system DLL either.
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = SystemFunction<InitFn>(L"comctl32.dll", "InitCommonControlsEx");
  const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  if (init == nullptr || !init(&controls)) return E_FAIL;

  DownloadJob* job = DownloadJob::Create(target);
  if (job == nullptr) return E_OUTOFMEMORY;
  const INT_PTR ended = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_DOWNLOAD), nullptr, DownloadDialogProc,
                                        reinterpret_cast<LPARAM>(job));
  job->Release();
  // -1: the dialog could not be shown at all.
  return ended == -1 ? E_FAIL : static_cast<HRESULT>(ended);
}

}  // namespace sfx
}  // namespace cairn
