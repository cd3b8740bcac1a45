// The view's Restore command in the browser frame under Wine with Xvfb: the restore dialog, a
// wizard-form sheet answered by a watcher thread, with its proposed target, its options, the
// folder browser and the save-as box behind "&Browse...", and what the restore then writes. Bytes
// and times are compared with the tree the test made.
#include "HostedViewSupport.h"

#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <string>

#include "ArchiveOperations.h"
#include "RestoreResource.h"
#include "ViewResource.h"

namespace cairn {
namespace browser {
namespace {

using shell::testing::WriteText;
using testing::ArchiveFrameTest;
using testing::ControlText;
using testing::DialogWatcher;
using testing::FindControl;
using testing::PressButton;
using testing::PressSheetButton;
using testing::WatcherWait;

std::string ReadText(const std::string& path) { return cairn::testing::ReadFileBytes(path); }

uint64_t WriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
}

// On the watcher's thread: the restore dialog's controls.
std::string Target(HWND sheet) { return ControlText(FindControl(sheet, IDC_RESTORE_TARGET)); }
void SetTarget(HWND sheet, const std::string& target) {
  SetWindowTextA(FindControl(sheet, IDC_RESTORE_TARGET), target.c_str());
}
bool Checked(HWND sheet, int box) { return SendMessageW(FindControl(sheet, box), BM_GETCHECK, 0, 0) == BST_CHECKED; }
void Clear(HWND sheet, int box) { SendMessageW(FindControl(sheet, box), BM_SETCHECK, BST_UNCHECKED, 0); }
void Browse(HWND sheet) {
  HWND button = FindControl(sheet, IDC_RESTORE_BROWSE);
  PressButton(GetParent(button), IDC_RESTORE_BROWSE);
}

class RestoreDialogTest : public ArchiveFrameTest {
 protected:
  // The Restore command with its dialog answered so; whether the dialog was shown. The command
  // returns once the dialog is gone, and with it the restore.
  bool Restore(const DialogWatcher::Answer& answer) {
    DialogWatcher watcher([](const std::string& caption) { return caption == "Restore Item(s)..."; }, answer);
    Command(ID_RESTORE);
    texts_ = watcher.Finish();
    return watcher.Seen();
  }
  // Shows the data folder of the newest snapshot.
  void OpenData() {
    OpenRow("Snapshot;2");
    OpenRow(RowStarting("data;"));
  }

  std::vector<std::string> texts_;
};

TEST_F(RestoreDialogTest, OneStoredFileGoesBackWhereItCameFrom) {
  OpenData();
  const std::string notes = data_ + "\\notes.cairntest";
  const uint64_t stored = WriteTime(notes);
  ASSERT_TRUE(WriteText(notes, "changed since"));
  Select({RowStarting("notes.cairntest;")});
  std::string proposed;
  bool allChecked = false;
  ASSERT_TRUE(Restore([&](HWND sheet) {
    proposed = Target(sheet);
    allChecked = Checked(sheet, IDC_RESTORE_OVERWRITE_OLDER) && Checked(sheet, IDC_RESTORE_OVERWRITE_NEWER) &&
                 Checked(sheet, IDC_RESTORE_TIMES);
    PressSheetButton(sheet, PSBTN_FINISH);
  }));
  EXPECT_EQ(notes, proposed);
  EXPECT_TRUE(allChecked);
  EXPECT_NE(texts_.end(), std::find(texts_.begin(), texts_.end(), "Items will be extracted to this location:"));
  EXPECT_EQ("notes", ReadText(notes));
  EXPECT_EQ(stored, WriteTime(notes));
}

TEST_F(RestoreDialogTest, TheOptionsClearedAndAnotherTargetReachTheRestore) {
  OpenData();
  const std::string notes = data_ + "\\notes.cairntest";
  Select({RowStarting("notes.cairntest;")});
  // A newer file stays when newer files are not to be overwritten.
  ASSERT_TRUE(WriteText(notes, "edited since"));
  ASSERT_TRUE(Restore([](HWND sheet) {
    Clear(sheet, IDC_RESTORE_OVERWRITE_NEWER);
    PressSheetButton(sheet, PSBTN_FINISH);
  }));
  EXPECT_EQ("edited since", ReadText(notes));

  // Without the modification time, to a path typed in; a target that is no full path is refused
  // first, and the dialog stays.
  const std::string copy = Path("copy.txt");
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // The file system's clock may lag the system's by a tick.
  const uint64_t before = (uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) - 500000;
  bool stayed = false;
  ASSERT_TRUE(Restore([&](HWND sheet) {
    SetTarget(sheet, "copy.txt");
    SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    stayed = IsWindowVisible(sheet) && Target(sheet) == "copy.txt";
    SetTarget(sheet, copy);
    Clear(sheet, IDC_RESTORE_TIMES);
    PressSheetButton(sheet, PSBTN_FINISH);
  }));
  EXPECT_TRUE(stayed);
  EXPECT_EQ("notes", ReadText(copy));
  EXPECT_GE(WriteTime(copy), before);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("data\\copy.txt").c_str()));
}

TEST_F(RestoreDialogTest, BrowsingPicksAFolderForSeveralItemsAndAFileForOne) {
  OpenData();
  const std::string out = Path("out");
  ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
  // Two items: their folder is proposed, and the folder browser is offered; cancelling it
  // changes nothing (the selection in its tree is not driven here: it answers unreliably under a
  // loaded Wine). Another folder is typed in.
  Select({RowStarting("notes.cairntest;"), RowStarting("hidden.bin;")});
  std::string proposed, afterBrowsing;
  std::vector<std::string> browserTexts;
  ASSERT_TRUE(Restore([&](HWND sheet) {
    proposed = Target(sheet);
    {
      DialogWatcher browser([](const std::string& caption) { return caption != "Restore Item(s)..."; },
                            [](HWND box) { PressButton(box, IDCANCEL); });
      Browse(sheet);
      browserTexts = browser.Finish();
    }
    // The box was modal: the sheet answers again once it is gone.
    WatcherWait([sheet] { return IsWindowEnabled(sheet) != FALSE; });
    afterBrowsing = Target(sheet);
    SetTarget(sheet, out);
    PressSheetButton(sheet, PSBTN_FINISH);
  }));
  EXPECT_EQ(data_, proposed);
  EXPECT_NE(browserTexts.end(), std::find(browserTexts.begin(), browserTexts.end(), "Save to. . ."));
  EXPECT_EQ(data_, afterBrowsing);
  EXPECT_EQ("notes", ReadText(out + "\\notes.cairntest"));
  EXPECT_EQ("hidden", ReadText(out + "\\hidden.bin"));

  // One file: the save-as box names it.
  Select({RowStarting("notes.cairntest;")});
  const std::string saved = out + "\\saved.txt";
  ASSERT_TRUE(Restore([&](HWND sheet) {
    DialogWatcher box([](const std::string& caption) { return caption == "Save as. . ."; }, [&saved](HWND dialog) {
      SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(saved.c_str()));
      PressButton(dialog, IDOK);
    });
    Browse(sheet);
    box.Finish();
    WatcherWait([&] { return Target(sheet) == saved; });
    PressSheetButton(sheet, PSBTN_FINISH);
  }));
  EXPECT_EQ("notes", ReadText(saved));
}

TEST_F(RestoreDialogTest, ASnapshotIsWrittenWholeAndOneWithoutObjectsShowsNothing) {
  const std::string out = Path("out");
  Select({Row("Snapshot;1")});
  std::string proposed;
  ASSERT_TRUE(Restore([&](HWND sheet) {
    proposed = Target(sheet);
    SetTarget(sheet, out);
    PressSheetButton(sheet, PSBTN_FINISH);
  }));
  EXPECT_EQ(data_.substr(0, data_.rfind('\\')), proposed) << "the folder its one top-level folder lies in";
  EXPECT_EQ("first report", ReadText(out + "\\data\\docs\\report.cairntest"));
  EXPECT_EQ("deep", ReadText(out + "\\data\\docs\\sub\\deep.bin"));

  // A snapshot that holds nothing (the newest, listed first; this executable's copy of the
  // operations has no string table to name it): no dialog.
  ASSERT_TRUE(shell::ArchiveOperations(archive_, {"Snapshot;2"}).DeleteItems({data_}, nullptr));
  Command(ID_REFRESH);
  ASSERT_EQ(3, Count());
  Select({0});
  EXPECT_FALSE(Restore([](HWND sheet) { PressSheetButton(sheet, PSBTN_CANCEL); }));
}

}  // namespace
}  // namespace browser
}  // namespace cairn
