#include "AboutBox.h"

#include <cstdio>
#include <vector>

#include "Module.h"
#include "AboutResource.h"
#include "Version.h"

namespace cairn {
namespace shell {
namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      char format[128] = "", text[192] = "";
      GetDlgItemTextA(dialog, IDC_ABOUT_VERSION, format, sizeof format);
      std::snprintf(text, sizeof text, format, ModuleVersion(Module::Instance()).c_str());
      SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, text);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

std::string ModuleVersion(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  DWORD ignored = 0;
  const DWORD size = n > 0 && n < MAX_PATH ? GetFileVersionInfoSizeW(path, &ignored) : 0;
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
      length < sizeof *fixed || fixed->dwSignature != VS_FFI_SIGNATURE)
    return NSX12_VERSION_TEXT;
  char text[64];
  const unsigned major = HIWORD(fixed->dwFileVersionMS), minor = LOWORD(fixed->dwFileVersionMS),
                 build = HIWORD(fixed->dwFileVersionLS), revision = LOWORD(fixed->dwFileVersionLS);
  if (build == 0 && revision == 0)
    std::snprintf(text, sizeof text, "%u.%u", major, minor);
  else
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", major, minor, build, revision);
  return text;
}

void ShowAboutBox(HWND owner) {
  const ModuleLock lock;  // the box's procedure lives in this module
  DialogBoxParamA(Module::Instance(), MAKEINTRESOURCEA(IDD_ABOUT), owner, &AboutProc, 0);
}

}  // namespace shell
}  // namespace cairn
