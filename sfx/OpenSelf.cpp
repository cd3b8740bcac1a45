#include "OpenSelf.h"

#include <objbase.h>
#include <shellapi.h>

#include "DownloadDialog.h"
#include "InstallDialog.h"
#include "Installed.h"
#include "Messages.h"
#include "resource.h"

namespace cairn {
namespace sfx {
namespace {

void ShowError(HINSTANCE instance, UINT text) { ShowMessage(instance, text, IDS_ERROR, MB_ICONHAND); }

// Runs the installer and waits until it has ended.
void RunInstaller(HINSTANCE instance, const wchar_t* installer) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(installer, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &process)) {
    ShowError(instance, IDS_INSTALL_FAILED);
    return;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
}

void OfferInstallation(HINSTANCE instance) {
  if (RunInstallDialog(instance) != IDOK) return;
  static const wchar_t kInstaller[] = L"cairn-setup.exe";
  wchar_t target[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, target);
  if (n == 0 || n + ARRAYSIZE(kInstaller) > MAX_PATH) {
    ShowError(instance, IDS_NO_TEMP_FOLDER);
    return;
  }
  lstrcpyW(target + n, kInstaller);
  if (RunDownloadDialog(instance, target) != S_OK) {
    ShowError(instance, IDS_DOWNLOAD_FAILED);
    return;
  }
  RunInstaller(instance, target);
}

}  // namespace

void OpenSelf(HINSTANCE instance) {
  if (!IsCairnInstalled()) OfferInstallation(instance);
  if (!IsCairnInstalled()) return;
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  // The shell may hand the request to COM objects: an apartment for them, kept until the end.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW open = {};
  open.cbSize = sizeof open;
  // The process ends right after the call: the shell must finish the request before it returns.
  open.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOASYNC;
  open.lpVerb = L"open";
  open.lpFile = self;
  open.lpParameters = L"/root";
  open.lpClass = L"Cairn Archive";
  open.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&open);
}

}  // namespace sfx
}  // namespace cairn
