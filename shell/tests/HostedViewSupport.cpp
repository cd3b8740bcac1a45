#include "HostedViewSupport.h"

#include <commctrl.h>

#include <cstring>
#include <utility>

#include "AnsiText.h"

namespace cairn {
namespace browser {
namespace testing {

using shell::FromAnsi;

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool WaitFor(const std::function<bool()>& condition, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    Pump();
  }
  return true;
}

void PumpFor(DWORD ms) {
  WaitFor([] { return false; }, ms);
}

namespace {

std::string WindowText(HWND window) {
  char text[1200] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

bool IsDialog(HWND window) {
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  return std::string(name) == "#32770";
}

// Calls visit for each child window of the dialog in control order, and for the children of each
// dialog among them (a sheet's pages); stops when visit gives false.
bool VisitControls(HWND dialog, const std::function<bool(HWND)>& visit) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!visit(child)) return false;
    if (IsDialog(child) && !VisitControls(child, visit)) return false;
  }
  return true;
}

}  // namespace

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressSheetButton(HWND sheet, int button) { PostMessageW(sheet, PSM_PRESSBUTTON, button, 0); }

std::vector<std::string> StaticTexts(HWND dialog) {
  std::vector<std::string> texts;
  VisitControls(dialog, [&texts](HWND control) {
    char name[16] = "";
    GetClassNameA(control, name, sizeof name);
    const std::string text = WindowText(control);
    if (lstrcmpiA(name, "Static") == 0 && !text.empty()) texts.push_back(text);
    return true;
  });
  return texts;
}

HWND FindControl(HWND dialog, int id) {
  HWND found = nullptr;
  VisitControls(dialog, [&found, id](HWND control) {
    if (GetDlgCtrlID(control) != id || IsDialog(control)) return true;
    found = control;
    return false;
  });
  return found;
}

std::string ControlText(HWND control) { return control != nullptr ? WindowText(control) : std::string(); }

HWND SheetPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

HWND SelectSheetPage(HWND sheet, int index) {
  SendMessageW(sheet, PSM_SETCURSEL, index, 0);
  return SheetPage(sheet);
}

std::vector<std::vector<std::string>> ListRows(HWND list, int columns) {
  std::vector<std::vector<std::string>> rows;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::vector<std::string> cells;
    for (int column = 0; column < columns; ++column) {
      char text[600] = "";
      LVITEMA item = {};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
      cells.push_back(text);
    }
    rows.push_back(cells);
  }
  return rows;
}

PageTemplate::PageTemplate(const std::vector<std::string>& texts) {
  DLGTEMPLATE header = {};
  header.style = WS_CHILD | DS_CONTROL;
  header.cdit = static_cast<WORD>(texts.size());
  header.cx = 200;
  header.cy = 100;
  Add(&header, sizeof header);
  Add(L"\0\0", 3 * sizeof(wchar_t));  // no menu, the default class, no title
  for (size_t i = 0; i < texts.size(); ++i) {
    bytes_.resize((bytes_.size() + 3) & ~size_t{3}, 0);
    DLGITEMTEMPLATE item = {};
    item.style = WS_CHILD | WS_VISIBLE | SS_LEFT;
    item.x = 7;
    item.y = static_cast<short>(7 + 12 * i);
    item.cx = 180;
    item.cy = 10;
    item.id = static_cast<WORD>(100 + i);
    Add(&item, sizeof item);
    const WORD staticClass[] = {0xFFFF, 0x0082};
    Add(staticClass, sizeof staticClass);
    const std::wstring text = FromAnsi(texts[i]);
    Add(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    const WORD noCreationData = 0;
    Add(&noCreationData, sizeof noCreationData);
  }
}

void PageTemplate::Add(const void* data, size_t size) {
  const size_t at = bytes_.size();
  bytes_.resize(at + size);
  std::memcpy(bytes_.data() + at, data, size);
}

bool WatcherWait(const std::function<bool()>& condition, DWORD ms) {
  for (const DWORD start = GetTickCount(); !condition(); Sleep(20))
    if (GetTickCount() - start > ms) return false;
  return true;
}

DialogWatcher::DialogWatcher(CaptionTest accepts, Answer answer)
    : accepts_(std::move(accepts)), answer_(std::move(answer)), thread_([this] { Watch(); }) {}

DialogWatcher::DialogWatcher(CaptionTest accepts, int button)
    : DialogWatcher(std::move(accepts), [button](HWND dialog) { PressButton(dialog, button); }) {}

DialogWatcher::DialogWatcher(const std::string& caption)
    : DialogWatcher([caption](const std::string& shown) { return shown == caption; }, IDOK) {}

std::vector<std::string> DialogWatcher::Finish() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return texts_;
}

std::string DialogWatcher::LongestText() const {
  std::string longest;
  for (const std::string& text : texts_)
    if (text.size() > longest.size()) longest = text;
  return longest;
}

HWND DialogWatcher::Find() const {
  for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr); box != nullptr;
       box = FindWindowExA(nullptr, box, "#32770", nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(box, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(box) && accepts_(WindowText(box))) return box;
  }
  return nullptr;
}

void DialogWatcher::Watch() {
  HWND box = nullptr;
  // A loaded machine may take its time to show a dialog; a caller that is done waits a second.
  for (const DWORD start = GetTickCount(); (box = Find()) == nullptr; Sleep(20)) {
    const DWORD waited = GetTickCount() - start;
    if (waited > 60000 || (stop_ && waited > 1000)) return;
  }
  caption_ = WindowText(box);
  texts_ = StaticTexts(box);
  seen_ = true;
  answer_(box);
}

bool AimAt(HWND window, POINT point) {
  SetWindowPos(GetAncestor(window, GA_ROOT), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetCursorPos(point.x, point.y);
  return WaitFor([&] {
    POINT cursor = {};
    HWND found = WindowFromPoint(point);
    return GetCursorPos(&cursor) && cursor.x == point.x && cursor.y == point.y &&
           (found == window || IsChild(window, found));
  }, 10000);
}

void FrameTest::SetUp() {
  ArchiveTest::SetUp();
  if (HasFatalFailure()) return;
  Prepare();
  if (HasFatalFailure()) return;
  frame_ = NewFrame();
  ASSERT_NE(nullptr, frame_);
}

BrowserFrame* FrameTest::NewFrame() {
  BrowserFrame* frame = nullptr;
  const HRESULT hr = BrowserFrame::Create(FromAnsi(Path("states")), &frame);
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  if (frame != nullptr) ShowWindow(frame->Window(), SW_SHOWNOACTIVATE);
  return frame;
}

void FrameTest::Close(BrowserFrame*& frame) {
  if (frame == nullptr) return;
  if (frame->Window() != nullptr) DestroyWindow(frame->Window());
  Pump();
  EXPECT_EQ(0u, frame->Release());
  frame = nullptr;
}

void ArchiveFrameTest::SetUp() {
  FrameTest::SetUp();
  if (HasFatalFailure()) return;
  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(archive_)));
}

std::string ArchiveFrameTest::Text(int row, int column) const {
  char text[600] = "";
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(List(), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

}  // namespace testing
}  // namespace browser
}  // namespace cairn
