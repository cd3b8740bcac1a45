// Helpers of the tests that host views in the browser frame under Wine with Xvfb: message
// pumping, a watcher that answers this process's dialogs from another thread, and fixtures for a
// frame, bare or showing the test archive, read back through the view's list.
#pragma once

#include "BrowserFrame.h"
#include "ShellTestSupport.h"

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AnsiText.h"
#include "ViewResource.h"

namespace cairn {
namespace browser {
namespace testing {

// Dispatches the messages waiting on this thread.
void Pump();
// Pumps messages until the condition holds; false when it does not within the time.
bool WaitFor(const std::function<bool()>& condition, DWORD ms = 60000);
// Pumps messages for a while: time for a worker that should not run to show itself.
void PumpFor(DWORD ms);

// Watches, from its own thread, for a visible dialog of this process whose caption the predicate
// accepts (a wizard's caption is its page's title); reads its caption and static texts, those of
// its property-sheet pages (child dialogs) included, and answers it. A dialog is only visible
// once it has its controls and their texts.
class DialogWatcher {
 public:
  using CaptionTest = std::function<bool(const std::string& caption)>;
  // What the watcher does with the dialog it found, on its own thread, after reading its texts:
  // it may read and set controls, choose pages, and answer with the presses below.
  using Answer = std::function<void(HWND dialog)>;
  DialogWatcher(CaptionTest accepts, Answer answer);
  // Answered with a click on the button (WM_COMMAND).
  DialogWatcher(CaptionTest accepts, int button);
  // A dialog with exactly this caption, answered with OK.
  explicit DialogWatcher(const std::string& caption);
  ~DialogWatcher() { Finish(); }

  // Waits until the watcher has answered a dialog, or a second after the start when none came
  // (the caller is done), or a minute; the texts it read, in the order of the controls.
  std::vector<std::string> Finish();
  bool Seen() const { return seen_; }
  // After Finish: the dialog's caption and its longest text (the message of a message box).
  const std::string& Caption() const { return caption_; }
  std::string LongestText() const;

 private:
  HWND Find() const;
  void Watch();

  CaptionTest accepts_;
  Answer answer_;
  std::atomic<bool> stop_{false}, seen_{false};
  std::string caption_;
  std::vector<std::string> texts_;
  std::thread thread_;
};

// For a watcher's answer, on its thread. Clicks a dialog's button (posted WM_COMMAND).
void PressButton(HWND dialog, int id);
// Presses a property sheet's or wizard's button (PSBTN_*) with PSM_PRESSBUTTON.
void PressSheetButton(HWND sheet, int button);
// The static texts of a dialog and of the dialogs inside it (a sheet's pages), in control order.
std::vector<std::string> StaticTexts(HWND dialog);
// The control with the identifier in the dialog or in a dialog inside it (a sheet's current
// page); null when there is none.
HWND FindControl(HWND dialog, int id);
std::string ControlText(HWND control);
// The current page of a property sheet; null once a modeless sheet has ended.
HWND SheetPage(HWND sheet);
// Makes the page at the index the sheet's current page, and gives it.
HWND SelectSheetPage(HWND sheet, int index);
// The texts of a list view's rows, a vector of columns each; asked across threads.
std::vector<std::vector<std::string>> ListRows(HWND list, int columns);
// A dialog template in memory for a property sheet's page: static texts, one below the other.
class PageTemplate {
 public:
  explicit PageTemplate(const std::vector<std::string>& texts);
  LPCDLGTEMPLATEW Get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.data()); }

 private:
  void Add(const void* data, size_t size);
  std::vector<uint8_t> bytes_;  // DWORD-aligned, as templates must be
};

// Polls (without pumping: the watcher's thread has no windows) until the condition holds;
// false when it does not within the time.
bool WatcherWait(const std::function<bool()>& condition, DWORD ms = 60000);

// For a drag or a drop through the screen: puts the window's top-level window above every other,
// topmost, and the cursor on the point, and waits until the cursor is there and the window (or a
// child of it) is the one the point finds; false when that does not come about.
bool AimAt(HWND window, POINT point);

// A browser frame keeping its view states in the test's folder, shown without activation; no
// location opened yet.
class FrameTest : public shell::testing::ArchiveTest {
 protected:
  void SetUp() override;
  void TearDown() override { Close(frame_); }
  // What a fixture does after the archive is made and before the frame is created.
  virtual void Prepare() {}

  BrowserFrame* NewFrame();
  // Destroys the frame's window and expects the last reference to go with the release.
  void Close(BrowserFrame*& frame);
  // The parsing name of the location shown.
  std::string Shown() const {
    return shell::ToAnsi(frame_->LocationName(frame_->Location(), SHGDN_FORPARSING).c_str());
  }

  BrowserFrame* frame_ = nullptr;
};

// A frame showing the test archive's root, read and driven through the view's list.
class ArchiveFrameTest : public FrameTest {
 protected:
  void SetUp() override;

  HWND List() const { return GetDlgItem(frame_->ViewWindow(), IDC_VIEW_LIST); }
  int Count() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }
  std::string Text(int row, int column = 0) const;
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < Count(); ++i) names.push_back(Text(i));
    return names;
  }
  // The row named so, or the first one whose name starts so; the test fails when there is none.
  int Row(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
      if (Text(i) == name) return i;
    ADD_FAILURE() << "no row " << name;
    return -1;
  }
  int RowStarting(const std::string& start) const {
    for (int i = 0; i < Count(); ++i)
      if (Text(i).rfind(start, 0) == 0) return i;
    ADD_FAILURE() << "no row starting " << start;
    return -1;
  }
  // Selects exactly these rows; the view counts its status once the messages are handled.
  void Select(const std::vector<int>& rows) {
    ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
    for (int row : rows) ListView_SetItemState(List(), row, LVIS_SELECTED, LVIS_SELECTED);
    Pump();
  }
  void Command(UINT id) { SendMessageW(frame_->ViewWindow(), WM_COMMAND, id, 0); }
  // Opens a row the way a double click does.
  void OpenRow(int row) {
    Select({row});
    Command(ID_OPEN);
    Pump();
  }
  void OpenRow(const std::string& name) {
    const int row = Row(name);
    ASSERT_GE(row, 0);
    OpenRow(row);
  }
  // A part of the frame's status bar.
  std::string Status(int part) const {
    char text[600] = "";
    SendMessageA(frame_->StatusBar(), SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
    return text;
  }
};

}  // namespace testing
}  // namespace browser
}  // namespace cairn
