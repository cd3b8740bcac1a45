// The view's Properties command in the browser frame under Wine with Xvfb: the property sheet of
// the selection, answered by a watcher thread that reads its pages back: several items, a
// snapshot's General, Contents and Comment pages, a stored file's General and Revisions pages;
// and the archive's Settings page handed to another sheet through AddPropertySheetPages.
#include "HostedViewSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ArchiveOperations.h"
#include "PropertyResource.h"
#include "SettingsResource.h"
#include "ViewResource.h"

namespace cairn {
namespace browser {
namespace {

using shell::testing::RunCn;
using shell::testing::WriteText;
using testing::ArchiveFrameTest;
using testing::ControlText;
using testing::DialogWatcher;
using testing::FindControl;
using testing::ListRows;
using testing::PressSheetButton;
using testing::SelectSheetPage;
using testing::WatcherWait;

using Rows = std::vector<std::vector<std::string>>;

// On the watcher's thread: a page's list with each row's overlay number after its texts.
Rows ListWithOverlays(HWND list, int columns) {
  Rows rows = ListRows(list, columns);
  for (size_t row = 0; row < rows.size(); ++row) {
    const LRESULT state = SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_OVERLAYMASK);
    rows[row].push_back(std::to_string((state & LVIS_OVERLAYMASK) >> 8));
  }
  return rows;
}

int PageCount(HWND sheet) { return TabCtrl_GetItemCount(PropSheet_GetTabControl(sheet)); }

// Callbacks that take pages for another sheet: one keeps them in the vector it is given, one
// refuses them.
BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM into) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(into)->push_back(page);
  return TRUE;
}
BOOL CALLBACK RefusePage(HPROPSHEETPAGE, LPARAM) { return FALSE; }

class PropertiesTest : public ArchiveFrameTest {
 protected:
  void Prepare() override {
    // A third snapshot adds a file; a fourth one deletes it again.
    single_ = Path("single.txt");
    ASSERT_TRUE(WriteText(single_, std::string(1536, 's')));
    ASSERT_EQ(1u, RunCn("/a \"" + single_ + "\" \"" + archive_ + "\"", Path("")));
    ASSERT_TRUE(WriteText(data_ + "\\docs\\report.cairntest", "third report"));
    ASSERT_TRUE(DeleteFileA(single_.c_str()));
    ASSERT_EQ(1u, RunCn("\"" + archive_ + "\"", Path("")));
  }
  // The Properties command with the sheet answered so; whether the sheet was shown.
  bool Properties(const DialogWatcher::Answer& answer) {
    DialogWatcher watcher([](const std::string& caption) { return caption == "Properties"; }, answer);
    Command(ID_PROPERTIES);
    texts_ = watcher.Finish();
    return watcher.Seen();
  }
  bool Shows(const std::string& text) const { return std::find(texts_.begin(), texts_.end(), text) != texts_.end(); }

  std::string single_;
  std::vector<std::string> texts_;
};

TEST_F(PropertiesTest, SeveralItemsShowOnlyThatTheyAreSeveral) {
  OpenRow("Snapshot;3");
  Select({0, 1});
  int pages = 0;
  ASSERT_TRUE(Properties([&pages](HWND sheet) {
    pages = PageCount(sheet);
    PressSheetButton(sheet, PSBTN_CANCEL);
  }));
  EXPECT_EQ(1, pages);
  EXPECT_TRUE(Shows("Multiple objects selected"));
}

TEST_F(PropertiesTest, ASnapshotsGeneralAndContentsPages) {
  std::string superceded, contains;
  Rows contents;
  // The newest snapshot: nothing came after it; it no longer holds the file the one before added.
  Select({Row("Snapshot;4")});
  ASSERT_TRUE(Properties([&](HWND sheet) {
    superceded = ControlText(FindControl(sheet, IDC_PROP_SUPERCEDED));
    contains = ControlText(FindControl(sheet, IDC_PROP_CONTAINS));
    contents = ListWithOverlays(FindControl(SelectSheetPage(sheet, 1), IDC_PROP_CONTENTS), 2);
    PressSheetButton(sheet, PSBTN_CANCEL);
  }));
  EXPECT_EQ("Latest snapshot", superceded);
  EXPECT_EQ("0 File(s), 1 Folder(s)", contains);
  EXPECT_TRUE(Shows("Snapshot;4"));
  EXPECT_TRUE(Shows(archive_));
  EXPECT_EQ((Rows{{data_, "3", "3"}, {single_, "1", "2"}}), contents) << "the folder changed, the file gone";

  // The one before added the file; the first one added everything.
  Select({Row("Snapshot;3")});
  ASSERT_TRUE(Properties([&](HWND sheet) {
    superceded = ControlText(FindControl(sheet, IDC_PROP_SUPERCEDED));
    contains = ControlText(FindControl(sheet, IDC_PROP_CONTAINS));
    contents = ListWithOverlays(FindControl(SelectSheetPage(sheet, 1), IDC_PROP_CONTENTS), 2);
    PressSheetButton(sheet, PSBTN_CANCEL);
  }));
  EXPECT_NE("Latest snapshot", superceded);
  EXPECT_NE("", superceded);
  EXPECT_EQ("1 File(s), 1 Folder(s)", contains);
  EXPECT_EQ((Rows{{single_, "1", "1"}, {data_, "2", "0"}}), contents);
  Select({Row("Snapshot;1")});
  ASSERT_TRUE(Properties([&](HWND sheet) {
    contents = ListWithOverlays(FindControl(SelectSheetPage(sheet, 1), IDC_PROP_CONTENTS), 2);
    PressSheetButton(sheet, PSBTN_CANCEL);
  }));
  EXPECT_EQ((Rows{{data_, "1", "1"}}), contents);
}

TEST_F(PropertiesTest, ACommentEditedAndAppliedReachesTheArchive) {
  const int row = Row("Snapshot;2");
  Select({row});
  int limit = 0;
  bool applied = false;
  ASSERT_TRUE(Properties([&](HWND sheet) {
    HWND field = FindControl(SelectSheetPage(sheet, 2), IDC_PROP_COMMENT);
    limit = static_cast<int>(SendMessageW(field, EM_GETLIMITTEXT, 0, 0));
    SetWindowTextA(field, "Before the upgrade\r\nof the server");
    SendMessageW(field, EM_SETMODIFY, TRUE, 0);
    // Applied, the sheet can only be closed: Cancel is disabled and OK has become "Close".
    PressSheetButton(sheet, PSBTN_APPLYNOW);
    applied = WatcherWait([sheet] { return !IsWindowEnabled(GetDlgItem(sheet, IDCANCEL)); });
    PressSheetButton(sheet, PSBTN_OK);
  }));
  EXPECT_TRUE(applied);
  EXPECT_EQ(259, limit);
  std::string comment;
  ASSERT_TRUE(shell::ArchiveOperations(archive_, {}).SnapshotComment("Snapshot;2", &comment));
  EXPECT_EQ("Before the upgrade\r\nof the server", comment);
  EXPECT_EQ("Before the upgrade, of the server", Text(Row("Snapshot;2"), 4)) << "the view shows it";

  // A longer comment (one another program stored, say) cannot pass unchanged: it is refused, and
  // the sheet stays with the text as it was typed.
  Select({Row("Snapshot;2")});
  const std::string longer(300, 'x');
  bool stayed = false;
  std::string kept, excess;
  ASSERT_TRUE(Properties([&](HWND sheet) {
    HWND field = FindControl(SelectSheetPage(sheet, 2), IDC_PROP_COMMENT);
    SetWindowTextA(field, longer.c_str());
    SendMessageW(field, EM_SETMODIFY, TRUE, 0);
    SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    stayed = IsWindowVisible(sheet) != FALSE;
    kept = ControlText(field);
    DWORD from = 0, to = 0;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    excess = std::to_string(from) + "-" + std::to_string(to);
    PressSheetButton(sheet, PSBTN_CANCEL);
  }));
  EXPECT_TRUE(stayed);
  EXPECT_EQ(longer, kept);
  EXPECT_EQ("259-300", excess) << "what does not fit is selected";
  ASSERT_TRUE(shell::ArchiveOperations(archive_, {}).SnapshotComment("Snapshot;2", &comment));
  EXPECT_EQ("Before the upgrade\r\nof the server", comment);
}

TEST_F(PropertiesTest, AStoredFilesGeneralAndRevisionsPages) {
  OpenRow("Snapshot;4");
  OpenRow(RowStarting("data;"));
  OpenRow(RowStarting("docs;"));
  Select({RowStarting("report.cairntest;")});
  std::string name, size, location, type, shortName;
  Rows revisions;
  ASSERT_TRUE(Properties([&](HWND sheet) {
    name = ControlText(FindControl(sheet, IDC_PROP_OBJECT_NAME));
    size = ControlText(FindControl(sheet, IDC_PROP_SIZE));
    location = ControlText(FindControl(sheet, IDC_PROP_LOCATION));
    type = ControlText(FindControl(sheet, IDC_PROP_TYPE));
    shortName = ControlText(FindControl(sheet, IDC_PROP_SHORT_NAME));
    revisions = ListWithOverlays(FindControl(SelectSheetPage(sheet, 1), IDC_PROP_REVISIONS), 3);
    PressSheetButton(sheet, PSBTN_CANCEL);
  }));
  const std::string report = data_ + "\\docs\\report.cairntest";
  EXPECT_EQ("report.cairntest", name);
  EXPECT_EQ("12 bytes (12 bytes)", size);
  EXPECT_EQ(data_ + "\\docs", location);
  EXPECT_EQ("CAIRNTEST File", type);
  EXPECT_FALSE(shortName.empty());
  ASSERT_EQ(3u, revisions.size());
  for (size_t i = 0; i < revisions.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    EXPECT_EQ(report + ";" + number, revisions[i][0]);
    EXPECT_FALSE(revisions[i][1].empty());
    EXPECT_EQ(i == 2 ? "1" : "0", revisions[i][3]) << "the revision shown is marked";
  }
  EXPECT_EQ("Snapshot;1", revisions[0][2]);
  EXPECT_EQ("Snapshot;4", revisions[2][2]);
}

TEST_F(PropertiesTest, TheViewHandsTheArchivesSettingsPageToAnotherSheet) {
  ComPtr<IShellView> view;
  ASSERT_EQ(S_OK, frame_->QueryActiveShellView(view.Out()));
  std::vector<HPROPSHEETPAGE> pages;
  EXPECT_EQ(E_INVALIDARG, view->AddPropertySheetPages(0, nullptr, 0));
  EXPECT_EQ(E_FAIL, view->AddPropertySheetPages(0, RefusePage, 0));
  // Below the root the pages are still the archive's, whatever is selected.
  OpenRow("Snapshot;2");
  Select({0});
  ASSERT_EQ(S_OK, view->AddPropertySheetPages(0, CollectPage, reinterpret_cast<LPARAM>(&pages)));
  ASSERT_FALSE(pages.empty());

  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_NOAPPLYNOW;
  header.pszCaption = "Handed over";
  header.nPages = static_cast<UINT>(pages.size());
  header.phpage = pages.data();
  std::string count;
  DialogWatcher watcher([](const std::string& caption) { return caption == "Handed over"; }, [&count](HWND sheet) {
    count = ControlText(FindControl(sheet, IDC_SETTINGS_COUNT));
    PressSheetButton(sheet, PSBTN_CANCEL);
  });
  PropertySheetA(&header);
  watcher.Finish();
  EXPECT_EQ("4 snapshot(s) contained", count);
}

}  // namespace
}  // namespace browser
}  // namespace cairn
