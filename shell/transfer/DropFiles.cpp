#include "DropFiles.h"

#include <shlobj.h>

#include <cstring>

#include "GlobalMemoryLock.h"

namespace cairn {
namespace shell {
namespace {

// How long the window under the cursor may take to say where the cursor is: it may belong to
// another program, which may not answer.
constexpr UINT kHitTestWaitMs = 1000;

// The cursor's place in the client coordinates of the window under it, and whether it lies
// outside that window's client area.
void DropPoint(POINT* point, BOOL* nonClient) {
  *point = {};
  *nonClient = FALSE;
  POINT screen;
  if (!GetCursorPos(&screen)) return;
  HWND window = WindowFromPoint(screen);
  if (window == nullptr) return;
  DWORD_PTR hit = HTCLIENT;
  if (SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y), SMTO_ABORTIFHUNG, kHitTestWaitMs,
                          &hit) &&
      hit != HTCLIENT)
    *nonClient = TRUE;
  *point = screen;
  ScreenToClient(window, point);
}

}  // namespace

GlobalMemory DropFilesBlock(const std::vector<std::string>& paths) {
  size_t size = sizeof(DROPFILES) + 1;
  for (const std::string& path : paths) size += path.size() + 1;
  GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size));
  {
    const GlobalMemoryLock locked(block.Get());
    auto* bytes = locked.As<uint8_t>();
    if (bytes == nullptr) return GlobalMemory();
    DROPFILES header = {};
    header.pFiles = sizeof header;
    DropPoint(&header.pt, &header.fNC);
    header.fWide = FALSE;
    std::memcpy(bytes, &header, sizeof header);
    size_t at = sizeof header;
    for (const std::string& path : paths) {
      std::memcpy(bytes + at, path.c_str(), path.size() + 1);
      at += path.size() + 1;
    }
  }
  return block;
}

}  // namespace shell
}  // namespace cairn
