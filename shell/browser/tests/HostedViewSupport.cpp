#include "HostedViewSupport.h"

#include <commctrl.h>

#include <utility>

#include "ShellText.h"
#include "res/ViewResource.h"

namespace cairn {
namespace browser {
namespace testing {

using shell::FromAnsi;
using shell::ToAnsi;

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

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

namespace {

std::string WindowText(HWND window) {
  char text[1200] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

struct Search {
  const DialogWatcher::CaptionTest* accepts;
  HWND box;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window) || ClassOf(window) != "#32770" ||
      !(*search->accepts)(WindowText(window)))
    return TRUE;
  search->box = window;
  return FALSE;
}

BOOL CALLBACK ReadStatic(HWND child, LPARAM texts) {
  const std::string text = WindowText(child);
  if (lstrcmpiA(ClassOf(child).c_str(), "Static") == 0 && !text.empty())
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(text);
  return TRUE;
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

void DialogWatcher::Watch() {
  Search search = {&accepts_, nullptr};
  const DWORD start = GetTickCount();
  for (;;) {
    EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
    const DWORD waited = GetTickCount() - start;
    if (search.box != nullptr || waited > 10000 || (stop_ && waited > 1000)) break;
    Sleep(20);
  }
  if (search.box == nullptr) return;
  caption_ = WindowText(search.box);
  EnumChildWindows(search.box, &ReadStatic, reinterpret_cast<LPARAM>(&texts_));
  seen_ = true;
  PostMessageW(search.box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(search.box, button_)));
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

std::string FrameTest::Shown() const {
  return ToAnsi(frame_->LocationName(frame_->Location(), SHGDN_FORPARSING).c_str());
}

void ArchiveFrameTest::SetUp() {
  FrameTest::SetUp();
  if (HasFatalFailure()) return;
  ASSERT_EQ(S_OK, frame_->Open(FromAnsi(archive_)));
}

HWND ArchiveFrameTest::List() const { return GetDlgItem(frame_->ViewWindow(), IDC_VIEW_LIST); }

int ArchiveFrameTest::Count() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

std::string ArchiveFrameTest::Text(int row, int column) const {
  char text[600] = "";
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(List(), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

std::vector<std::string> ArchiveFrameTest::Names() const {
  std::vector<std::string> names;
  for (int i = 0; i < Count(); ++i) names.push_back(Text(i));
  return names;
}

int ArchiveFrameTest::Row(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (Text(i) == name) return i;
  ADD_FAILURE() << "no row " << name;
  return -1;
}

int ArchiveFrameTest::RowStarting(const std::string& start) const {
  for (int i = 0; i < Count(); ++i)
    if (Text(i).rfind(start, 0) == 0) return i;
  ADD_FAILURE() << "no row starting " << start;
  return -1;
}

void ArchiveFrameTest::Select(const std::vector<int>& rows) {
  ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
  for (int row : rows) ListView_SetItemState(List(), row, LVIS_SELECTED, LVIS_SELECTED);
}

void ArchiveFrameTest::Command(UINT id) { SendMessageW(frame_->ViewWindow(), WM_COMMAND, id, 0); }

void ArchiveFrameTest::OpenRow(int row) {
  Select({row});
  Command(ID_OPEN);
  Pump();
}

void ArchiveFrameTest::OpenRow(const std::string& name) {
  const int row = Row(name);
  ASSERT_GE(row, 0);
  OpenRow(row);
}

std::string ArchiveFrameTest::Status(int part) const {
  char text[600] = "";
  SendMessageA(frame_->StatusBar(), SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
  return text;
}

}  // namespace testing
}  // namespace browser
}  // namespace cairn
