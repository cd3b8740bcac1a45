// browsershots: pictures of the browser frame showing an archive, for the README and the issue
// notes. It opens the archive in a frame at the screen's corner and captures the screen there as
// 24-bit bitmaps: the archive root in details view, the newest snapshot's first folder (where the
// overlays mark what that snapshot added and changed), that folder with an item's context menu
// open, the restore dialog, the Revisions page and the compare window with the previous revision of
// a file named on the command line (an item of that folder), and the newest snapshot's Contents
// page.
//
// usage: browsershots <archive> <output folder> <file>   (writes root.bmp, inside.bmp,
//        context.bmp, restore.bmp, revisions.bmp, compare.bmp and contents.bmp)
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BrowserFrame.h"
#include "ScreenShots.h"
#include "Handle.h"

namespace {

using cairn::browser::tools::Capture;
using cairn::browser::tools::PumpFor;

constexpr int kList = 37;         // the archive view's list
constexpr UINT kOpen = 1;         // the view's Open, Restore and Properties commands
constexpr UINT kRestore = 2;
constexpr UINT kProperties = 6;
constexpr UINT kComparePrevious = 85;  // the view's Compare with Previous Revision



struct MenuShot {
  RECT area;
  std::wstring path;
  bool done = false;
};

// Captures the screen while the context menu is open, then closes the menu.
DWORD WINAPI CaptureMenu(void* parameter) {
  auto* shot = static_cast<MenuShot*>(parameter);
  Sleep(1500);
  shot->done = Capture(shot->area, shot->path, false);
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (menu != nullptr) PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  return 0;
}

struct DialogShot {
  const wchar_t* caption;
  int page;  // the property sheet's page to show, or -1
  std::wstring path;
  bool done = false;
};

// Captures the dialog of the caption once it is up (on the page asked for), then cancels it.
DWORD WINAPI CaptureDialog(void* parameter) {
  auto* shot = static_cast<DialogShot*>(parameter);
  HWND dialog = nullptr;
  for (int tries = 0; tries < 250 && (dialog = FindWindowW(L"#32770", shot->caption)) == nullptr; ++tries) Sleep(20);
  if (dialog == nullptr) return 0;
  if (shot->page >= 0) SendMessageW(dialog, PSM_SETCURSEL, static_cast<WPARAM>(shot->page), 0);
  Sleep(1500);
  RECT area;
  shot->done = GetWindowRect(dialog, &area) && Capture(area, shot->path, false);
  PostMessageW(dialog, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  return 0;
}

// Waits up to ten seconds for the compare verb's window, or for its message (a file of one
// revision has nothing to compare with), which it closes; *parameter tells whether it came.
DWORD WINAPI CloseCompareMessage(void* parameter) {
  for (int tries = 0; tries < 500; ++tries) {
    if (HWND message = FindWindowW(L"#32770", L"Compare")) {
      *static_cast<bool*>(parameter) = true;
      PostMessageW(message, WM_COMMAND, IDOK, 0);
      return 0;
    }
    if (FindWindowW(L"CairnCompareWindow", nullptr) != nullptr) return 0;
    Sleep(20);
  }
  return 0;
}

// Selects the row alone.
void SelectRow(HWND list, int row) {
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void OpenRow(cairn::browser::BrowserFrame* frame, int row) {
  SelectRow(GetDlgItem(frame->ViewWindow(), kList), row);
  SendMessageW(frame->ViewWindow(), WM_COMMAND, kOpen, 0);
  PumpFor(1000);
}

// The row whose name starts with the text; -1 when there is none.
int RowStarting(HWND list, const std::wstring& start) {
  for (int row = 0; row < ListView_GetItemCount(list); ++row) {
    wchar_t text[MAX_PATH] = L"";
    ListView_GetItemText(list, row, 0, text, MAX_PATH);
    if (std::wstring(text).compare(0, start.size(), start) == 0) return row;
  }
  return -1;
}

// Runs the view's command on the selection, capturing the dialog it shows.
bool ShootCommand(cairn::browser::BrowserFrame* frame, UINT command, DialogShot* shot) {
  const cairn::Handle thread(CreateThread(nullptr, 0, &CaptureDialog, shot, 0, nullptr));
  if (!thread) return false;
  SendMessageW(frame->ViewWindow(), WM_COMMAND, command, 0);
  WaitForSingleObject(thread.Get(), 10000);
  return shot->done;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: browsershots <archive> <output folder> <file>\n");
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
  bool ok = Capture(area, out + L"\\root.bmp", false);

  // The newest snapshot comes first; inside it, its first archived folder.
  OpenRow(frame, 0);
  OpenRow(frame, 0);
  HWND list = GetDlgItem(frame->ViewWindow(), kList);
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
  PumpFor(1000);
  ok = Capture(area, out + L"\\inside.bmp", false) && ok;

  // A stored file's context menu, opened at the item (the first, a file the newest snapshot added).
  ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  PumpFor(500);
  RECT item = {};
  ListView_GetItemRect(list, 0, &item, LVIR_LABEL);
  POINT at = {item.left + 20, item.top + (item.bottom - item.top) / 2};
  ClientToScreen(list, &at);
  MenuShot shot{area, out + L"\\context.bmp"};
  const cairn::Handle thread(CreateThread(nullptr, 0, &CaptureMenu, &shot, 0, nullptr));
  SendMessageW(frame->ViewWindow(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(at.x, at.y));
  if (thread) WaitForSingleObject(thread.Get(), 10000);
  ok = shot.done && ok;

  // The restore dialog and the Revisions page of the file, stored at its own path.
  std::wstring file = argv[3];
  file = file.substr(file.find_last_of(L'\\') + 1) + L";";
  const int row = RowStarting(list, file);
  SelectRow(list, row);
  DialogShot restore{L"Restore Item(s)...", -1, out + L"\\restore.bmp"};
  ok = row >= 0 && ShootCommand(frame, kRestore, &restore) && ok;
  DialogShot revisions{L"Properties", 1, out + L"\\revisions.bmp"};
  ok = row >= 0 && ShootCommand(frame, kProperties, &revisions) && ok;

  // The file beside its previous revision in the compare window, which its worker opens; a file
  // of one revision gets a message instead, which is closed, and no picture.
  bool told = false;
  const cairn::Handle closer(CreateThread(nullptr, 0, &CloseCompareMessage, &told, 0, nullptr));
  SendMessageW(frame->ViewWindow(), WM_COMMAND, kComparePrevious, 0);
  // The message's box is the worker's, owned by the frame, whose messages go on meanwhile.
  HANDLE waited = closer.Get();
  while (waited != nullptr && MsgWaitForMultipleObjects(1, &waited, FALSE, 15000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    PumpFor(10);
  HWND compare = FindWindowW(L"CairnCompareWindow", nullptr);
  if (compare != nullptr) {
    SetWindowPos(compare, HWND_TOP, 0, 0, 820, 360, SWP_SHOWWINDOW);
    PumpFor(1500);
    RECT window;
    ok = GetWindowRect(compare, &window) && Capture(window, out + L"\\compare.bmp", false) && ok;
    SendMessageW(compare, WM_CLOSE, 0, 0);
  } else {
    ok = told && ok;
  }

  // The newest snapshot's Contents page, back at the archive root.
  if (SUCCEEDED(frame->Open(argv[1]))) {
    PumpFor(1000);
    SelectRow(GetDlgItem(frame->ViewWindow(), kList), 0);
    DialogShot contents{L"Properties", 1, out + L"\\contents.bmp"};
    ok = ShootCommand(frame, kProperties, &contents) && ok;
  } else {
    ok = false;
  }

  DestroyWindow(frame->Window());
  PumpFor(200);
  frame->Release();
  OleUninitialize();
  return ok ? 0 : 1;
}
