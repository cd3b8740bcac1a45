// crnbrowse: shows a folder or a Cairn archive in the browser frame, the way Explorer shows an
// archive where it can host the Explorer extension.
//
// usage: crnbrowse <folder or archive>
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "BrowserFrame.h"
#include "BrowserResource.h"

namespace {

std::wstring Text(UINT id) {
  wchar_t text[512];
  const int n = LoadStringW(GetModuleHandleW(nullptr), id, text, 512);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

void Report(const std::wstring& message) {
  std::fwprintf(stderr, L"%ls\n", message.c_str());
  MessageBoxW(nullptr, message.c_str(), Text(IDS_BROWSER_TITLE).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int show) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 2) {
    Report(Text(IDS_BROWSER_USAGE));
    return 2;
  }
  const std::wstring path = argv[1];
  LocalFree(argv);
  if (FAILED(OleInitialize(nullptr))) return 1;
  int code = 1;
  cairn::browser::BrowserFrame* frame = nullptr;
  HRESULT hr = cairn::browser::BrowserFrame::Create(std::wstring(), &frame);
  if (SUCCEEDED(hr)) hr = frame->Open(path);
  if (FAILED(hr)) {
    wchar_t message[1024];
    std::swprintf(message, 1024, Text(IDS_BROWSER_CANNOT_SHOW).c_str(), path.c_str(), static_cast<unsigned long>(hr));
    Report(message);
    if (frame != nullptr && frame->Window() != nullptr) DestroyWindow(frame->Window());
  } else {
    frame->QuitOnClose(true);
    ShowWindow(frame->Window(), show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (frame->PreTranslateMessage(&message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    code = 0;
  }
  if (frame != nullptr) frame->Release();
  OleUninitialize();
  return code;
}
