// browsershots: pictures of the browser frame showing an archive, for the README and the issue
// notes. It opens the archive in a frame at the screen's corner and captures the screen there as
// 24-bit bitmaps: the archive root in details view, the newest snapshot's first folder (where the
// overlays mark what that snapshot added and changed), and that folder with an item's context menu
// open.
//
// usage: browsershots <archive> <output folder>   (writes root.bmp, inside.bmp, context.bmp)
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BrowserFrame.h"
#include "Handle.h"

namespace {

constexpr int kList = 37;    // the archive view's list
constexpr UINT kOpen = 1;    // the view's Open command

void PumpFor(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(20);
  }
}

bool Capture(const RECT& area, const std::wstring& path) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<BYTE> bits(static_cast<size_t>((width * 3 + 3) & ~3) * static_cast<size_t>(height));
  const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), bits.data(),
                             reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (rows != height) return false;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + bits.size());
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
                       std::fwrite(bits.data(), bits.size(), 1, out) == 1;
  return std::fclose(out) == 0 && written;
}

struct MenuShot {
  RECT area;
  std::wstring path;
  bool done = false;
};

// Captures the screen while the context menu is open, then closes the menu.
DWORD WINAPI CaptureMenu(void* parameter) {
  auto* shot = static_cast<MenuShot*>(parameter);
  Sleep(1500);
  shot->done = Capture(shot->area, shot->path);
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (menu != nullptr) PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  return 0;
}

void OpenRow(cairn::browser::BrowserFrame* frame, int row) {
  HWND list = GetDlgItem(frame->ViewWindow(), kList);
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(frame->ViewWindow(), WM_COMMAND, kOpen, 0);
  PumpFor(1000);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: browsershots <archive> <output folder>\n");
    return 2;
  }
  const std::wstring out = argv[2];
  if (FAILED(OleInitialize(nullptr))) return 1;
  cairn::browser::BrowserFrame* frame = nullptr;
  HRESULT hr = cairn::browser::BrowserFrame::Create(out + L"\\states", &frame);
  if (SUCCEEDED(hr)) {
    SetWindowPos(frame->Window(), HWND_TOP, 0, 0, 820, 520, SWP_SHOWWINDOW);
    hr = frame->Open(argv[1]);
  }
  if (FAILED(hr)) {
    std::fprintf(stderr, "browsershots: the archive cannot be shown (0x%08lx)\n", static_cast<unsigned long>(hr));
    return 1;
  }
  PumpFor(1500);
  RECT area;
  GetWindowRect(frame->Window(), &area);
  bool ok = Capture(area, out + L"\\root.bmp");

  // The newest snapshot comes first; inside it, its first archived folder.
  OpenRow(frame, 0);
  OpenRow(frame, 0);
  HWND list = GetDlgItem(frame->ViewWindow(), kList);
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
  PumpFor(1000);
  ok = Capture(area, out + L"\\inside.bmp") && ok;

  // An item's context menu, opened at the item.
  ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  PumpFor(500);
  RECT item = {};
  ListView_GetItemRect(list, 1, &item, LVIR_LABEL);
  POINT at = {item.left + 20, item.top + (item.bottom - item.top) / 2};
  ClientToScreen(list, &at);
  MenuShot shot{area, out + L"\\context.bmp"};
  const cairn::Handle thread(CreateThread(nullptr, 0, &CaptureMenu, &shot, 0, nullptr));
  SendMessageW(frame->ViewWindow(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(at.x, at.y));
  if (thread) WaitForSingleObject(thread.Get(), 10000);
  ok = shot.done && ok;

  DestroyWindow(frame->Window());
  PumpFor(200);
  frame->Release();
  OleUninitialize();
  return ok ? 0 : 1;
}
