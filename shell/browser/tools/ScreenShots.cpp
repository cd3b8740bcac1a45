#include "ScreenShots.h"

#include <cstdio>
#include <vector>

namespace cairn {
namespace browser {
namespace tools {

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
bool Capture(const RECT& area, const std::wstring& path, bool withCursor) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  // The screen holds no cursor; a drag is told by its cursor, so it is drawn in.
  CURSORINFO cursor = {};
  cursor.cbSize = sizeof cursor;
  if (withCursor && GetCursorInfo(&cursor) && (cursor.flags & CURSOR_SHOWING) && cursor.hCursor != nullptr) {
    ICONINFO info = {};
    if (GetIconInfo(cursor.hCursor, &info)) {
      DrawIconEx(memory, cursor.ptScreenPos.x - area.left - static_cast<int>(info.xHotspot),
                 cursor.ptScreenPos.y - area.top - static_cast<int>(info.yHotspot), cursor.hCursor, 0, 0, 0, nullptr,
                 DI_NORMAL);
      if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
      if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    }
  }
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

}  // namespace tools
}  // namespace browser
}  // namespace cairn
