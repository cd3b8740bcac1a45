// The rundll entry points that create archives (the New menu), install the sample archive and
// the Send To entry, and uninstall. (The platform's <shlwapi.h> declares another DllInstall: this
// file must not include it.)
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "AnsiText.h"
#include "Handle.h"
#include "IdList.h"
#include "NewArchive.h"
#include "ShellRegistration.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

constexpr char kSampleArchive[] = "\\Sample Archive.crn";
constexpr char kSendToEntry[] = "\\Cairn Archive.crnSendToTarget";
// The system's own run of a setup script's uninstall section; the second form for systems
// without start.exe.
constexpr char kUninstallFormat[] = "rundll.exe setupx.dll,InstallHinfSection DefaultUninstall 132 %s";
constexpr char kUninstallFallbackFormat[] = "advpack.dll,LaunchINFSection %s,DefaultUninstall";

std::string FolderPath(int csidl) {
  IdList list;
  char path[MAX_PATH] = {};
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, list.Out())) && list &&
      !SHGetPathFromIDListA(list.Get(), path))
    path[0] = 0;
  return path;
}

std::string Fill(const char* format, const std::string& text) {
  std::string out = format;
  const size_t at = out.find("%s");
  return at == std::string::npos ? out : out.replace(at, 2, text);
}

}  // namespace

}  // namespace shell
}  // namespace cairn

using namespace cairn::shell;

// rundll32 form; the text is "<number> <path>" as the New menu's command passes it.
extern "C" void CALLBACK DllCreateArchive(HWND, HINSTANCE, LPSTR text, int) {
  CreateArchiveFromCommand(text != nullptr ? text : "");
}

// rundll32 form: the sample archive on the desktop (left alone when it exists) and an empty
// Send To entry.
extern "C" void CALLBACK DllInstall(HWND window, HINSTANCE instance, LPSTR, int show) {
  if (FAILED(CoInitialize(nullptr))) return;
  const std::string desktop = FolderPath(CSIDL_DESKTOPDIRECTORY);
  if (!desktop.empty()) {
    const std::string sample = desktop + kSampleArchive;
    if (GetFileAttributesA(sample.c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::string text = "999 " + sample;
      DllCreateArchive(window, instance, &text[0], show);
    }
  }
  const std::string sendTo = FolderPath(CSIDL_SENDTO);
  if (!sendTo.empty()) {
    // An empty file: only its name and type matter.
    const cairn::Handle entry(CreateFileA((sendTo + kSendToEntry).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  CoUninitialize();
}

// rundll32 form; the text is the path of the setup script whose uninstall section runs.
extern "C" void CALLBACK DllUninstall(HWND window, HINSTANCE, LPSTR text, int) {
  if (FAILED(CoInitialize(nullptr))) return;
  const std::string script = text != nullptr ? text : "";
  UnregisterShellServer();
  const std::string sendTo = FolderPath(CSIDL_SENDTO);
  if (!sendTo.empty()) DeleteFileA((sendTo + kSendToEntry).c_str());
  const auto started = reinterpret_cast<INT_PTR>(
      ShellExecuteA(window, nullptr, "start.exe", Fill(kUninstallFormat, script).c_str(), nullptr, SW_SHOWMINIMIZED));
  if (started == ERROR_FILE_NOT_FOUND)
    ShellExecuteA(window, nullptr, "rundll32.exe", Fill(kUninstallFallbackFormat, script).c_str(), nullptr,
                  SW_SHOWMINIMIZED);
  const std::string message = ShellString(IDS_UNINSTALL_COMPLETE);
  const std::string caption = ShellString(IDS_REBOOT);
  MessageBoxA(window, message.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
  CoUninitialize();
}
