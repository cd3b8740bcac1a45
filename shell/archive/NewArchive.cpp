// Creating an empty archive file through the engine.
#include "NewArchive.h"

#include <windows.h>
#include <objbase.h>

#include "AnsiText.h"
#include "ComPtr.h"
#include "KnownArchives.h"
#include "cairn.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

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
    if (FAILED(hr))
      Problem(ShellString(IDS_CREATE_PROBLEM));
    else
      RecordKnownArchive(FromAnsi(path));
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

void CreateArchiveFromCommand(const std::string& commandLine) { CreateArchive(CreateArchivePath(commandLine)); }

}  // namespace shell
}  // namespace cairn
