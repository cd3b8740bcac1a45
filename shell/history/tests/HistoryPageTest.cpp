// The History page as the shell reaches it: the handler found through the registry for every
// file, initialised with the file's list, its page in a real property sheet, read back and
// driven by a watcher thread under Xvfb. The archives are made by cn, which records them as known.
// Compare reaches the compare window, which the compare wing's tests look into.
#include "HostedViewSupport.h"
#include "WorkerSupport.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <prsht.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "Handle.h"
#include "HistoryResource.h"
#include "KnownArchives.h"
#include "RegKey.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

using browser::testing::DialogWatcher;
using browser::testing::FindControl;
using browser::testing::ListRows;
using browser::testing::PressButton;
using browser::testing::PressSheetButton;
using browser::testing::WatcherWait;
using Rows = std::vector<std::vector<std::string>>;

constexpr char kCaption[] = "doc.txt Properties";

BOOL CALLBACK AddPage(HPROPSHEETPAGE page, LPARAM pages) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(pages)->push_back(page);
  return TRUE;
}

FILETIME Time(WORD year) {
  SYSTEMTIME when = {year, 3, 0, 14, 10, 30, 0, 0};
  FILETIME time = {};
  SystemTimeToFileTime(&when, &time);
  return time;
}

bool SetWritten(const std::string& path, const FILETIME& time) {
  Handle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return file && SetFileTime(file.Get(), nullptr, nullptr, &time);
}

uint64_t Written(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

std::string ReadAll(const std::string& path) {
  Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  char bytes[256];
  DWORD read = 0;
  if (!file || !ReadFile(file.Get(), bytes, sizeof bytes, &read, nullptr)) return "<none>";
  return std::string(bytes, read);
}

class HistoryPageTest : public ArchiveTest {
 protected:
  // The handler registered for every file, made as a client that knows only the registry makes it.
  ComPtr<IShellPropSheetExt> Handler(const std::string& path) {
    wchar_t text[64] = {};
    LONG size = sizeof text;
    CLSID clsid = {};
    ComPtr<IShellExtInit> init;
    ComPtr<IShellPropSheetExt> handler;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueW(HKEY_CLASSES_ROOT, L"*\\shellex\\PropertySheetHandlers\\Cairn History", text, &size));
    if (FAILED(CLSIDFromString(text, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.OutVoid())) ||
        FAILED(init->Initialize(nullptr, FilesData::Make({path}, false).Get(), nullptr)) || FAILED(init.As(&handler)))
      handler.Reset();
    return handler;
  }

  // Shows the path's properties in a modal sheet of the handler's pages; the answer runs on the
  // watcher's thread with the page's list. The rows of archives of this test, as first shown.
  Rows Show(const std::string& path, const std::function<void(HWND sheet, HWND list)>& more = {}) {
    Rows rows;
    ComPtr<IShellPropSheetExt> handler = Handler(path);
    std::vector<HPROPSHEETPAGE> pages;
    if (!handler || handler->AddPages(&AddPage, reinterpret_cast<LPARAM>(&pages)) != S_OK || pages.size() != 1) {
      ADD_FAILURE() << "no page";
      return rows;
    }
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_NOCONTEXTHELP;
    header.pszCaption = kCaption;
    header.nPages = 1;
    header.phpage = pages.data();
    const std::string mine = Path("");
    DialogWatcher watcher([](const std::string& caption) { return caption == kCaption; }, [&](HWND sheet) {
      HWND list = FindControl(sheet, IDC_HISTORY_LIST);
      for (const std::vector<std::string>& row : ListRows(list, 4))
        if (row[3].empty() || row[3].compare(0, mine.size(), mine) == 0) rows.push_back(row);
      if (more) more(sheet, list);
      PressSheetButton(sheet, PSBTN_OK);
    });
    PropertySheetA(&header);
    watcher.Finish();
    EXPECT_TRUE(watcher.Seen());
    return rows;
  }

  static void Select(HWND list, std::initializer_list<int> rows) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED;
    for (int row : rows) SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  }
};

TEST_F(HistoryPageTest, EveryArchiveHoldingTheFileListsItsRevisionsNewestFirstAndOneIsRestoredAndSaved) {
  const std::string doc = Path("doc.txt"), first = Path("first.crn"), second = Path("second.crn");
  const std::string gone = Path("gone.crn"), damaged = Path("damaged.crn");
  ASSERT_TRUE(WriteText(doc, "old words") && SetWritten(doc, Time(2001)));
  ASSERT_EQ(1u, RunCn("/c /a \"" + doc + "\" \"" + first + "\"", Path("")));
  ASSERT_TRUE(WriteText(doc, "newer words, and more") && SetWritten(doc, Time(2002)));
  ASSERT_EQ(1u, RunCn("\"" + first + "\"", Path("")));
  ASSERT_EQ(1u, RunCn("/c /a \"" + doc + "\" \"" + second + "\"", Path("")));
  ASSERT_EQ(1u, RunCn("/c /a \"" + doc + "\" \"" + gone + "\"", Path("")));
  ASSERT_TRUE(DeleteFileA(gone.c_str()));
  ASSERT_TRUE(WriteText(damaged, std::string(4096, 'x')));
  RecordKnownArchive(FromAnsi(damaged));

  const std::string saved = Path("saved.txt");
  std::string restored;
  const Rows rows = Show(doc, [&](HWND sheet, HWND list) {
    // The oldest revision back in the file's place, after the question; then saved elsewhere.
    Select(list, {2});
    DialogWatcher confirm([](const std::string& caption) { return caption == "History"; }, IDYES);
    PressButton(GetParent(list), IDC_HISTORY_RESTORE);
    confirm.Finish();
    EXPECT_TRUE(confirm.Seen());
    EXPECT_TRUE(WatcherWait([&] { return ReadAll(doc) == "old words"; }));
    DialogWatcher box([](const std::string& caption) { return caption == "Save revision as"; }, [&](HWND dialog) {
      const std::wstring target = FromAnsi(saved);
      SendMessageW(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(target.c_str()));
      PressButton(dialog, IDOK);
    });
    Select(list, {0});
    PressButton(GetParent(list), IDC_HISTORY_SAVE_AS);
    box.Finish();
    EXPECT_TRUE(box.Seen());
    EXPECT_TRUE(WatcherWait([&] { return ReadAll(saved) == "newer words, and more"; }));
    // The two revisions of one archive, older against newer, in the compare window.
    Select(list, {1, 2});
    PressButton(GetParent(list), IDC_HISTORY_COMPARE);
    HWND compared = nullptr;
    EXPECT_TRUE(WatcherWait([&] {
      return (compared = FindWindowW(L"CairnCompareWindow", L"doc.txt;1 and doc.txt;2 - Compare")) != nullptr;
    }));
    if (compared != nullptr) PostMessageW(compared, WM_CLOSE, 0, 0);
  });

  ASSERT_EQ(4u, rows.size());
  EXPECT_EQ(second, rows[0][3]);
  EXPECT_EQ(first, rows[1][3]);
  EXPECT_EQ(first, rows[2][3]);
  EXPECT_EQ((std::vector<std::string>{"(cannot be read)", "", "", damaged}), rows[3]);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ("1KB", rows[row][1]);
    EXPECT_FALSE(rows[row][0].empty());
    EXPECT_EQ(std::string::npos, rows[row][2].find("gone"));
  }
  EXPECT_NE(rows[1][2], rows[2][2]);
  EXPECT_EQ("old words", ReadAll(doc));
  EXPECT_EQ(Written(doc), static_cast<uint64_t>(Time(2001).dwHighDateTime) << 32 | Time(2001).dwLowDateTime);
  EXPECT_EQ("newer words, and more", ReadAll(saved));
  // The archive removed from the disk left the list as it was read.
  const std::vector<std::wstring> known = KnownArchives();
  EXPECT_EQ(known.end(), std::find(known.begin(), known.end(), FromAnsi(gone)));
  EXPECT_NE(known.end(), std::find(known.begin(), known.end(), FromAnsi(first)));
  DeleteFileA(damaged.c_str());
}

TEST_F(HistoryPageTest, AFileInNoArchiveSaysSo) {
  const std::string loose = Path("loose.txt");
  ASSERT_TRUE(WriteText(loose, "never archived"));
  const Rows rows = Show(loose);
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("No history in any archive", rows[0][0]);
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
