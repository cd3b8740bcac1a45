#include "HostedViewSupport.h"

#include <commctrl.h>

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

}  // namespace

DialogWatcher::DialogWatcher(CaptionTest accepts, int button)
    : accepts_(std::move(accepts)), button_(button), thread_([this] { Watch(); }) {}

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
  for (const DWORD start = GetTickCount(); (box = Find()) == nullptr; Sleep(20)) {
    const DWORD waited = GetTickCount() - start;
    if (waited > 10000 || (stop_ && waited > 1000)) return;
  }
  caption_ = WindowText(box);
  for (HWND label = FindWindowExA(box, nullptr, "Static", nullptr); label != nullptr;
       label = FindWindowExA(box, label, "Static", nullptr)) {
    const std::string text = WindowText(label);
    if (!text.empty()) texts_.push_back(text);
  }
  seen_ = true;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button_)));
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
