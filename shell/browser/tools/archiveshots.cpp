// archiveshots: pictures of an archive file as a person meets it outside the archive, for the
// README and the issue notes. The registered extension's handler gives the archive file's context
// menu (shown between entries of the shell's own) and its properties (the Settings page); then a
// stored folder is dragged from the archive's view in one browser frame onto a file-system folder
// shown in another, captured while the drag is over the folder, with the drag's cursor. Check
// Archive, chosen in the menu, is captured once its report is shown: for the archive, and for a
// damaged archive when one is given. Given a file held in archives, the History page of its
// properties too.
//
// usage: archiveshots <archive> <folder> <output folder> [<damaged archive> [<file>]]
//        (writes menu.bmp, settings.bmp, drag.bmp and check.bmp, with a damaged archive
//        check-damaged.bmp, and with a file history.bmp)
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <prsht.h>
#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "BrowserFrame.h"
#include "ScreenShots.h"
#include "ComPtr.h"
#include "Handle.h"
#include "nsx12.h"

namespace {

using cairn::ComPtr;
using cairn::browser::BrowserFrame;
using cairn::browser::tools::Capture;
using cairn::browser::tools::PumpFor;

constexpr int kList = 37;  // the archive view's list
constexpr UINT kOpen = 1;  // the view's Open command
constexpr UINT kCheckArchive = 80;  // the archive file's Check Archive command



// Something shown modally on the main thread, captured from another thread after a while and
// then ended by `end`.
struct Shot {
  RECT area;
  std::wstring path;
  void (*end)(Shot* shot) = nullptr;
  bool done = false;
};

DWORD WINAPI CaptureLater(void* parameter) {
  auto* shot = static_cast<Shot*>(parameter);
  Sleep(1500);
  shot->done = Capture(shot->area, shot->path, true);
  shot->end(shot);
  return 0;
}

void CloseMenu(Shot*) {
  if (HWND menu = FindWindowW(L"#32768", nullptr)) PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
}

// The properties' caption, as Explorer writes it: the file's name and "Properties".
std::wstring g_sheetCaption;

void CancelSheet(Shot*) {
  if (HWND sheet = FindWindowW(nullptr, g_sheetCaption.c_str()))
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

void LeftButton(bool down) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof input);
}

void Drop(Shot*) { LeftButton(false); }

// Runs `show` on this thread while another captures the area after a while and then ends it.
bool ShotOf(const RECT& area, const std::wstring& path, void (*end)(Shot*), const std::function<void()>& show) {
  Shot shot{area, path, end};
  const cairn::Handle thread(CreateThread(nullptr, 0, &CaptureLater, &shot, 0, nullptr));
  if (!thread) return false;
  show();
  WaitForSingleObject(thread.Get(), 10000);
  return shot.done;
}

// The extension's handler of the class for the file, as Explorer makes it for a right click.
ComPtr<IShellExtInit> HandlerFor(const std::wstring& archive, REFCLSID clsid = CLSID_CairnShellExt,
                                 const wchar_t* className = L"Cairn Archive") {
  PIDLIST_ABSOLUTE item = nullptr;
  ComPtr<IShellFolder> parent;
  ComPtr<IDataObject> data;
  ComPtr<IShellExtInit> handler;
  PCUITEMID_CHILD child = nullptr;
  HKEY archiveClass = nullptr;
  if (SUCCEEDED(SHParseDisplayName(archive.c_str(), nullptr, &item, 0, nullptr)) &&
      SUCCEEDED(SHBindToParent(item, IID_IShellFolder, parent.OutVoid(), &child)) &&
      SUCCEEDED(parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, data.OutVoid())) &&
      RegOpenKeyExW(HKEY_CLASSES_ROOT, className, 0, KEY_READ, &archiveClass) == ERROR_SUCCESS &&
      SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                 handler.OutVoid())) &&
      FAILED(handler->Initialize(nullptr, data.Get(), archiveClass)))
    handler.Reset();
  if (archiveClass != nullptr) RegCloseKey(archiveClass);
  CoTaskMemFree(item);
  return handler;
}

BOOL CALLBACK AddPage(HPROPSHEETPAGE page, LPARAM pages) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(pages)->push_back(page);
  return TRUE;
}

bool MenuShot(IShellExtInit* handler, const std::wstring& path) {
  ComPtr<IContextMenu> menu;
  HMENU popup = CreatePopupMenu();
  AppendMenuW(popup, MF_STRING, 1, L"&Open");
  AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(popup, MF_STRING, 2, L"P&roperties");
  SetMenuDefaultItem(popup, 1, FALSE);
  if (FAILED(handler->QueryInterface(IID_IContextMenu, menu.OutVoid())) ||
      FAILED(menu->QueryContextMenu(popup, 2, 100, 0x7FFF, CMF_NORMAL))) {
    DestroyMenu(popup);
    return false;
  }
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  const bool shot = ShotOf({0, 0, 400, 260}, path, &CloseMenu, [&] {
    SetForegroundWindow(owner);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN, 40, 30, 0, owner, nullptr);
  });
  DestroyWindow(owner);
  DestroyMenu(popup);
  return shot;
}

bool SheetShot(IShellExtInit* handler, const std::wstring& archive, const std::wstring& path) {
  ComPtr<IShellPropSheetExt> pages;
  std::vector<HPROPSHEETPAGE> added;
  if (FAILED(handler->QueryInterface(IID_IShellPropSheetExt, pages.OutVoid())) ||
      FAILED(pages->AddPages(&AddPage, reinterpret_cast<LPARAM>(&added))))
    return false;
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_NOCONTEXTHELP;
  g_sheetCaption = archive.substr(archive.find_last_of(L'\\') + 1) + L" Properties";
  header.pszCaption = g_sheetCaption.c_str();
  header.nPages = static_cast<UINT>(added.size());
  header.phpage = added.data();
  return ShotOf({0, 0, 440, 528}, path, &CancelSheet, [&] { PropertySheetW(&header); });
}

// The check window, once its report is shown (its button then says Close); null before.
HWND ReportedCheck() {
  HWND window = FindWindowW(nullptr, L"Check Archive");
  wchar_t button[16] = L"";
  if (window != nullptr) GetDlgItemTextW(window, IDCANCEL, button, 16);
  return lstrcmpW(button, L"Close") == 0 ? window : nullptr;
}

bool CheckShot(IShellExtInit* handler, const std::wstring& path) {
  ComPtr<IContextMenu> menu;
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = MAKEINTRESOURCEA(kCheckArchive);
  info.nShow = SW_SHOWNORMAL;
  if (FAILED(handler->QueryInterface(IID_IContextMenu, menu.OutVoid())) || FAILED(menu->InvokeCommand(&info)))
    return false;
  HWND window = nullptr;
  for (int i = 0; i < 300 && (window = ReportedCheck()) == nullptr; ++i) PumpFor(100);
  if (window == nullptr) return false;
  PumpFor(500);
  RECT area;
  const bool shot = GetWindowRect(window, &area) && Capture(area, path, false);
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  for (int i = 0; i < 50 && FindWindowW(nullptr, L"Check Archive") != nullptr; ++i) PumpFor(100);
  return shot;
}

BrowserFrame* FrameAt(const std::wstring& states, const std::wstring& location, int x, int y) {
  BrowserFrame* frame = nullptr;
  if (FAILED(BrowserFrame::Create(states, &frame))) return nullptr;
  SetWindowPos(frame->Window(), HWND_TOP, x, y, 600, 420, SWP_SHOWWINDOW);
  if (FAILED(frame->Open(location))) {
    DestroyWindow(frame->Window());
    frame->Release();
    return nullptr;
  }
  return frame;
}

void OpenRow(BrowserFrame* frame, int row) {
  HWND list = GetDlgItem(frame->ViewWindow(), kList);
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(frame->ViewWindow(), WM_COMMAND, kOpen, 0);
  PumpFor(1000);
}

// The newest snapshot's first folder is dragged from the archive's frame onto the folder's frame;
// the left button goes down over the folder, and comes up once the drag was captured. (Wine's
// folders take only drops that offer the shell's own item lists, so there the drop is refused.)
bool DragShots(const std::wstring& archive, const std::wstring& folder, const std::wstring& out) {
  BrowserFrame* source = FrameAt(out + L"\\states", archive, 0, 0);
  BrowserFrame* target = FrameAt(out + L"\\states", folder, 640, 0);
  bool ok = source != nullptr && target != nullptr;
  if (ok) {
    PumpFor(1500);
    OpenRow(source, 0);
    HWND list = GetDlgItem(source->ViewWindow(), kList);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    PumpFor(500);
    const RECT both = {0, 0, 1240, 420};
    SetCursorPos(940, 300);
    LeftButton(true);
    PumpFor(300);
    ok = ShotOf(both, out + L"\\drag.bmp", &Drop, [&] {
      NMLISTVIEW begin = {};
      begin.hdr = {list, static_cast<UINT_PTR>(kList), static_cast<UINT>(LVN_BEGINDRAG)};
      begin.iItem = 0;
      SendMessageW(source->ViewWindow(), WM_NOTIFY, kList, reinterpret_cast<LPARAM>(&begin));
    });
    PumpFor(500);
  }
  for (BrowserFrame* frame : {source, target}) {
    if (frame == nullptr) continue;
    DestroyWindow(frame->Window());
    PumpFor(200);
    frame->Release();
  }
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr, "usage: archiveshots <archive> <folder> <output folder> [<damaged archive> [<file>]]\n");
    return 2;
  }
  const std::wstring archive = argv[1], folder = argv[2], out = argv[3];
  if (FAILED(OleInitialize(nullptr))) return 1;
  bool ok = false;
  {
    ComPtr<IShellExtInit> handler = HandlerFor(archive);
    if (!handler) {
      std::fprintf(stderr, "archiveshots: the extension gives no handler for the archive\n");
    } else {
      ok = MenuShot(handler.Get(), out + L"\\menu.bmp");
      ok = SheetShot(handler.Get(), archive, out + L"\\settings.bmp") && ok;
      ok = CheckShot(handler.Get(), out + L"\\check.bmp") && ok;
    }
  }
  if (argc >= 5) {
    ComPtr<IShellExtInit> damaged = HandlerFor(argv[4]);
    ok = damaged && CheckShot(damaged.Get(), out + L"\\check-damaged.bmp") && ok;
  }
  if (argc == 6) {
    ComPtr<IShellExtInit> history = HandlerFor(argv[5], CLSID_CairnHistory, L"*");
    ok = history && SheetShot(history.Get(), argv[5], out + L"\\history.bmp") && ok;
  }
  ok = DragShots(archive, folder, out) && ok;
  OleUninitialize();
  return ok ? 0 : 1;
}
