#include "CairnStatus.h"

#include <commctrl.h>

#include "ArchiveText.h"
#include "resource.h"

namespace cairn {
namespace {

// The last AutoDismiss argument given to Initialize in this process, once there was one.
std::atomic<bool> g_initialized{false};
std::atomic<bool> g_lastAutoDismiss{false};

// How long Initialize waits for the window. A desktop that never shows one (no display, a
// scheduled job) must not hold up the snapshot: after this the counts run on without it.
constexpr DWORD kCreationWait = 5000;

constexpr size_t kShortenedLength = 25;

// Waits for an event, handling the messages other threads send to this one meanwhile (an owner
// window on this thread may be sent some while the dialog is made).
void WaitHandlingSentMessages(HANDLE event, DWORD timeout) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeout) return;
    if (MsgWaitForMultipleObjects(1, &event, FALSE, timeout - elapsed, QS_SENDMESSAGE) != WAIT_OBJECT_0 + 1) return;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

std::string ShortenedName(const std::string& name) {
  if (name.size() <= kShortenedLength) return name;
  const size_t slash = name.find('\\', name.size() - kShortenedLength);
  if (slash == std::string::npos || slash < 3) return name;
  return "..." + name.substr(slash);
}

CairnStatus::CairnStatus() { state_.autoDismiss = AutoDismissDefault(); }

void CairnStatus::Show(int control, const std::wstring& text) const {
  HWND dialog = state_.dialog;
  if (dialog != nullptr) SetDlgItemTextW(dialog, control, text.c_str());
}

void CairnStatus::Show(int control, LONG count) const { Show(control, std::to_wstring(count)); }

void CairnStatus::Step(LONG count) const {
  HWND dialog = state_.dialog;
  if (dialog != nullptr && count <= state_.maximum) SendDlgItemMessageW(dialog, IDC_STATUS_PROGRESS, PBM_STEPIT, 0, 0);
}

STDMETHODIMP CairnStatus::SetMax(int max) {
  state_.maximum = max;
  HWND dialog = state_.dialog;
  if (dialog != nullptr) SendDlgItemMessageW(dialog, IDC_STATUS_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, max));
  return S_OK;
}

STDMETHODIMP CairnStatus::DisableStop() {
  HWND dialog = state_.dialog;
  if (dialog != nullptr) SendMessageW(dialog, kDisableStopMessage, 0, 0);
  return S_OK;
}

STDMETHODIMP CairnStatus::Destroy() {
  HWND dialog = state_.dialog;
  if (dialog != nullptr) PostThreadMessageW(GetThreadId(thread_.Get()), WM_QUIT, 0, 0);
  return S_OK;
}

STDMETHODIMP CairnStatus::Dismiss() { return state_.autoDismiss ? S_OK : S_FALSE; }

STDMETHODIMP CairnStatus::GetCurrent(int* current) {
  if (current == nullptr) return E_POINTER;
  *current = static_cast<int>(state_.processed);
  return S_OK;
}

STDMETHODIMP CairnStatus::Continue() { return state_.proceed ? S_OK : S_FALSE; }

STDMETHODIMP CairnStatus::SetProcessing(BSTR file) {
  // Shown in the code page the shortening counts in; the window is no archive name.
  Show(IDC_STATUS_PROCESSING, NameCodec::Ansi().Read(ShortenedName(NameCodec::Ansi().Store(file))));
  return S_OK;
}

STDMETHODIMP CairnStatus::IncrementProgress() {
  const LONG processed = ++state_.processed;
  Show(IDC_STATUS_PROCESSED, processed);
  Step(processed);
  return S_OK;
}

STDMETHODIMP CairnStatus::IncrementChanged() {
  Show(IDC_STATUS_CHANGED, ++state_.changed);
  return S_OK;
}

STDMETHODIMP CairnStatus::IncrementDeleted() {
  const LONG deleted = ++state_.deleted;
  if (state_.dialog != nullptr) {
    Show(IDC_STATUS_DELETED, deleted);
    Step(++state_.processed);
  }
  return S_OK;
}

STDMETHODIMP CairnStatus::IncrementAdded() {
  Show(IDC_STATUS_ADDED, ++state_.added);
  return S_OK;
}

STDMETHODIMP CairnStatus::Initialize(LONG* window, LONG autoDismiss) {
  if (thread_) return E_UNEXPECTED;
  owner_ = reinterpret_cast<HWND>(window);

  // The first Initialize of the process sets the default; later ones change it only when their
  // argument does, so that the user's last choice with the check box otherwise stands.
  const bool wanted = autoDismiss != 0;
  if (!g_initialized.exchange(true) || wanted != g_lastAutoDismiss) {
    g_lastAutoDismiss = wanted;
    SetAutoDismissDefault(wanted);
    state_.autoDismiss = wanted;
  } else {
    state_.autoDismiss = AutoDismissDefault();
  }

  created_ = Handle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!created_) return E_FAIL;
  // The thread holds a reference on this object and on the engine's module, so that neither
  // goes while it runs, whatever the caller releases or unloads.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadMain), &module_))
    return E_FAIL;
  AddRef();
  thread_ = Handle(CreateThread(nullptr, 0, &ThreadMain, this, CREATE_SUSPENDED, nullptr));
  if (!thread_) {
    Release();
    FreeLibrary(module_);
    return E_FAIL;
  }
  SetThreadPriority(thread_.Get(), THREAD_PRIORITY_ABOVE_NORMAL);
  ResumeThread(thread_.Get());
  WaitHandlingSentMessages(created_.Get(), kCreationWait);
  return S_OK;
}

DWORD WINAPI CairnStatus::ThreadMain(void* parameter) {
  auto* self = static_cast<CairnStatus*>(parameter);
  HMODULE module = self->module_;
  self->RunWindow();
  self->Release();  // may free the object: touch nothing of it after this
  FreeLibraryAndExitThread(module, 0);
}

void CairnStatus::RunWindow() {
  StatusDialog dialog(state_);
  HWND window = dialog.Create(owner_);
  SetEvent(created_.Get());
  if (window == nullptr) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  state_.dialog = nullptr;
  DestroyWindow(window);
}

}  // namespace cairn
