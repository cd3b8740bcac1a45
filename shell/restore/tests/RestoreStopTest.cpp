// Stopping a restore from its dialog under Wine with Xvfb: Cancel while it runs, and the owner
// window destroyed meanwhile. The restore is the folder's real one over an archive of many files;
// the test's progress hook holds the restore after a few objects until it is asked to stop, so
// that the stop always lands in the middle, whatever the machine's speed.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>

#include "HostedViewSupport.h"
#include "RestoreDialog.h"
#include "RestoreResource.h"
#include "Server.h"
#include "ShellTestSupport.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

using browser::testing::ControlText;
using browser::testing::DialogWatcher;
using browser::testing::FindControl;
using browser::testing::PressSheetButton;
using browser::testing::WaitFor;
using browser::testing::WatcherWait;

constexpr int kFiles = 40;
// Objects written before the hook holds the restore.
constexpr size_t kBeforeStop = 3;

bool IsRestoreDialog(const std::string& caption) { return caption == "Restore Item(s)..."; }

// On the watcher's thread: the restore dialog's controls.
size_t ProgressShown(HWND sheet) {
  return static_cast<size_t>(SendMessageW(FindControl(sheet, IDC_RESTORE_PROGRESS), PBM_GETPOS, 0, 0));
}
std::string Label(HWND sheet) { return ControlText(FindControl(sheet, IDC_RESTORE_EXTRACTING)); }

// Files in the folder, temporaries included.
int FilesIn(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return count;
}

class RestoreStopTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    if (HasFatalFailure()) return;
    many_ = Path("many");
    ASSERT_TRUE(CreateDirectoryA(many_.c_str(), nullptr));
    for (int i = 0; i < kFiles; ++i)
      ASSERT_TRUE(WriteText(many_ + "\\file" + std::to_string(i) + ".txt", "content " + std::to_string(i)));
    manyArchive_ = Path("many.crn");
    ASSERT_EQ(1u, RunCn("/c /a \"" + many_ + "\" \"" + manyArchive_ + "\"", Path("")));
    root_ = OpenArchiveFolder(manyArchive_);
    ASSERT_TRUE(root_);
    snapshot_ = Bind(root_.Get(), FindItem(root_.Get(), "Snapshot;1").Get());
    ASSERT_TRUE(snapshot_);
    item_ = FindItem(snapshot_.Get(), "\\many");
  }

  // The restore of the folder of many files, held by the progress hook once kBeforeStop objects
  // are written until the dialog asks it to stop (or ten seconds have passed).
  RestoreWork HeldRestore() {
    const ArchiveOperations operations(manyArchive_, {"Snapshot;1"});
    const std::string many = many_;
    return [operations, many](const RestoreRequest& chosen, const RestoreProgress& progress,
                              const RestoreStop& stop) {
      const RestoreProgress held = [&](size_t done, size_t total) {
        progress(done, total);
        if (done < kBeforeStop || done == total) return;
        for (const DWORD start = GetTickCount(); !stop() && GetTickCount() - start < 10000;) Sleep(5);
      };
      return operations.RestoreItems({many}, chosen.target, chosen.Options(), held, stop);
    };
  }

  INT_PTR Show(HWND owner, RestoreRequest* request) {
    return ShowRestoreDialog(request, owner, snapshot_.Get(), {item_.Get()}, HeldRestore());
  }

  std::string many_, manyArchive_;
  ComPtr<IShellFolder> root_, snapshot_;
  OwnedList item_;
};

TEST_F(RestoreStopTest, CancelStopsTheRestoreBetweenObjectsAndTheDialogSaysHowManyWereRestored) {
  const std::string out = Path("out");
  ASSERT_EQ(S_OK, ServerCanUnloadNow());
  bool stayedWhileStopping = false, lockedWhileOpen = false;
  std::string label;
  DialogWatcher watcher(IsRestoreDialog, [&](HWND sheet) {
    lockedWhileOpen = ServerCanUnloadNow() == S_FALSE;
    SetWindowTextA(FindControl(sheet, IDC_RESTORE_TARGET), out.c_str());
    PressSheetButton(sheet, PSBTN_FINISH);
    if (!WatcherWait([sheet] { return ProgressShown(sheet) >= kBeforeStop; })) return;
    PressSheetButton(sheet, PSBTN_CANCEL);
    WatcherWait([sheet] { return Label(sheet).rfind("Stopped", 0) == 0; });
    label = Label(sheet);
    stayedWhileStopping = IsWindowVisible(sheet) != FALSE;
    // Stopped: the next Cancel closes the dialog.
    PressSheetButton(sheet, PSBTN_CANCEL);
  });
  RestoreRequest request;
  EXPECT_EQ(0, Show(nullptr, &request));
  watcher.Finish();
  EXPECT_TRUE(lockedWhileOpen) << "the dialog holds the module";
  EXPECT_EQ(S_OK, ServerCanUnloadNow());
  EXPECT_TRUE(stayedWhileStopping);
  EXPECT_EQ("Stopped: " + std::to_string(kBeforeStop) + " of " + std::to_string(kFiles) + " items restored.", label);
  EXPECT_FALSE(request.restored);
  // What was written whole stays; nothing was begun after the stop, and no temporary is left.
  EXPECT_EQ(static_cast<int>(kBeforeStop), FilesIn(out + "\\many"));
}

// The owner window of the test's thread, destroyed by a message the watcher posts.
constexpr UINT kDestroyOwner = WM_APP + 1;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kDestroyOwner) {
    DestroyWindow(window);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(RestoreStopTest, DestroyingTheOwnerStopsTheRestoreAndTheWindowsThreadReturnsAtOnce) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &OwnerProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "RestoreStopTestOwner";
  RegisterClassA(&windowClass);
  HWND owner = CreateWindowA("RestoreStopTestOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                             windowClass.hInstance, nullptr);
  ASSERT_NE(nullptr, owner);
  const std::string out = Path("out");
  std::atomic<DWORD> destroyedAt{0};
  DialogWatcher watcher(IsRestoreDialog, [&](HWND sheet) {
    SetWindowTextA(FindControl(sheet, IDC_RESTORE_TARGET), out.c_str());
    PressSheetButton(sheet, PSBTN_FINISH);
    if (!WatcherWait([sheet] { return ProgressShown(sheet) >= kBeforeStop; })) return;
    destroyedAt = GetTickCount();
    PostMessageA(owner, kDestroyOwner, 0, 0);
  });
  RestoreRequest request;
  Show(owner, &request);
  const DWORD returnedAt = GetTickCount();
  watcher.Finish();
  ASSERT_NE(0u, destroyedAt.load()) << "the restore never got going";
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_LT(returnedAt - destroyedAt, 1000u) << "the window's thread waited for the restore";
  EXPECT_FALSE(request.restored);
  // The restore's thread ends on its own, and lets the module go.
  EXPECT_TRUE(WaitFor([] { return ServerCanUnloadNow() == S_OK; }, 10000));
  EXPECT_EQ(static_cast<int>(kBeforeStop), FilesIn(out + "\\many"));
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
