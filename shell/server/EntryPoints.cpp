// The rundll entry points that create archives (the New menu), install the sample archive and
// the Send To entry, and uninstall. (The platform's <shlwapi.h> declares another DllInstall: this
// file must not include it.)
#include "EntryPoints.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "AnsiText.h"
#include "ComPtr.h"
#include "Handle.h"
#include "IdList.h"
#include "Registration.h"
#include "cairn.h"
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

void Problem(const std::string& text) {
  const std::string caption = ShellString(IDS_CREATE_PROBLEM);
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

std::string LastErrorText(DWORD error) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  LocalFree(text);
  return message;
}

void CreateArchive(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    // The system's text for the error an existing file gives.
    Problem(LastErrorText(ERROR_FILE_EXISTS));
    return;
  }
  if (FAILED(CoInitialize(nullptr))) {
    Problem(ShellString(IDS_NO_COM));
    return;
  }
  {
    ComPtr<IPersistFile> file;
    HRESULT hr = CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                                  file.OutVoid());
    if (SUCCEEDED(hr)) hr = file->Load(FromAnsi(path).c_str(), STGM_CREATE | STGM_READWRITE);
    if (FAILED(hr)) Problem(ShellString(IDS_CREATE_PROBLEM));
  }
  CoUninitialize();
}

}  // namespace

std::string CreateArchivePath(const std::string& commandLine) {
  const size_t blank = commandLine.find(' ');
  if (blank == std::string::npos) return std::string();
  std::string path = commandLine.substr(blank + 1);
  // A caller may quote a path that holds blanks (rundll32 itself does when it passes arguments on).
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  return path;
}

}  // namespace shell
}  // namespace cairn

using namespace cairn::shell;

// rundll32 form; the text is "<number> <path>" as the New menu's command passes it.
extern "C" void CALLBACK DllCreateArchive(HWND, HINSTANCE, LPSTR text, int) {
  CreateArchive(CreateArchivePath(text != nullptr ? text : ""));
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
