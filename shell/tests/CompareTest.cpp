// The compare verbs and window: a stored text file beside its previous revision and beside the
// file on the disk, read back from the window's list; other contents by sizes and first
// difference; the copies written for the window gone once it closes.
#include "ShellTestSupport.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "AnsiText.h"
#include "ArchiveFolder.h"
#include "Compare.h"
#include "CompareVerbs.h"
#include "CompareWindow.h"
#include "Selection.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

HWND WaitForCompareWindow() {
  for (int k = 0; k < 200; ++k) {
    if (HWND window = FindWindowW(kCompareWindowClass, nullptr)) return window;
    Sleep(50);
  }
  return nullptr;
}

void CloseCompareWindow(HWND window) {
  SendMessageW(window, WM_CLOSE, 0, 0);
  for (int k = 0; k < 200 && FindWindowW(kCompareWindowClass, nullptr) != nullptr; ++k) Sleep(50);
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

// Each row of the window's list as "older line|mark|newer line".
std::vector<std::wstring> Rows(HWND window) {
  HWND list = GetDlgItem(window, kCompareListId);
  std::vector<std::wstring> rows;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::wstring line;
    for (int column : {1, 2, 4}) {
      wchar_t cell[256] = {};
      LVITEMW item = {};
      item.iSubItem = column;
      item.pszText = cell;
      item.cchTextMax = 256;
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
      line += (column == 1 ? L"" : L"|") + std::wstring(cell);
    }
    rows.push_back(line);
  }
  return rows;
}

size_t CopiesLeft() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((std::wstring(temp) + L"Cairn Compare\\*").c_str(), &found);
  size_t count = 0;
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    if (std::wstring(found.cFileName) != L"." && std::wstring(found.cFileName) != L"..") ++count;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

TEST(CompareTest, AStoredFileBesideItsPreviousRevisionAndBesideTheFileOnTheDisk) {
  ASSERT_EQ(S_OK, SetCompareCommand(L""));
  TempDir dir;
  const std::string data = dir.Path("data"), archive = dir.Path("letters.crn"), letter = data + "\\letter.txt";
  ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
  ASSERT_TRUE(WriteText(letter, "dear\r\nsir\r\nthanks\r\n"));
  ASSERT_EQ(1u, RunCn("/c /a \"" + data + "\" \"" + archive + "\"", dir.Path("")));
  ASSERT_TRUE(WriteText(letter, "dear\r\nmadam\r\nthanks\r\nbye\r\n"));
  ASSERT_EQ(1u, RunCn("\"" + archive + "\"", dir.Path("")));

  ComPtr<IShellFolder> root = OpenArchiveFolder(archive);
  ASSERT_TRUE(root);
  OwnedList second = FindItem(root.Get(), ";2");
  ComPtr<IShellFolder> inSnapshot = Bind(root.Get(), second.Get());
  ASSERT_TRUE(inSnapshot);
  OwnedList folder = FindItem(inSnapshot.Get(), "\\data");
  ComPtr<IShellFolder> inData = Bind(inSnapshot.Get(), folder.Get());
  ASSERT_TRUE(inData);
  OwnedList item = FindItem(inData.Get(), "\\letter.txt");
  FolderLevel level;
  ASSERT_EQ(S_OK, LevelOf(inData.Get(), &level));
  const std::optional<Selection> selection = Selection::Of(inData.Get(), level, {item.Get()});
  ASSERT_TRUE(selection);
  const size_t copiesBefore = CopiesLeft();

  ASSERT_TRUE(CompareWithPreviousRevision(*selection, nullptr));
  HWND window = WaitForCompareWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(L"letter;1.txt and letter;2.txt - Compare", TextOf(window));
  EXPECT_EQ((std::vector<std::wstring>{L"dear||dear", L"sir|*|madam", L"thanks||thanks", L"|+|bye"}), Rows(window));
  EXPECT_EQ(L"Lines changed: 1, removed: 0, added: 1.", TextOf(GetDlgItem(window, kCompareSummaryId)));
  CloseCompareWindow(window);
  EXPECT_EQ(copiesBefore, CopiesLeft());

  ASSERT_TRUE(WriteText(letter, "madam\r\nthanks\r\nbye\r\n"));
  ASSERT_TRUE(CompareWithCurrentFile(*selection, nullptr));
  window = WaitForCompareWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(L"letter;2.txt and letter.txt (current file) - Compare", TextOf(window));
  EXPECT_EQ((std::vector<std::wstring>{L"dear|-|", L"madam||madam", L"thanks||thanks", L"bye||bye"}), Rows(window));
  CloseCompareWindow(window);
  EXPECT_EQ(copiesBefore, CopiesLeft());
}

TEST(CompareTest, OtherContentsShowTheirSizesAndTheFirstByteThatDiffers) {
  ASSERT_EQ(S_OK, SetCompareCommand(L""));
  TempDir dir;
  const std::string older = dir.Path("a.bin"), newer = dir.Path("b.bin");
  ASSERT_TRUE(WriteText(older, std::string("MZ\0\0abcdef", 10)));
  ASSERT_TRUE(WriteText(newer, std::string("MZ\0\0abXdefgh", 12)));
  ASSERT_EQ(S_OK, ShowComparison(nullptr, {FromAnsi(older), L"a.bin"}, {FromAnsi(newer), L"b.bin"}));
  HWND window = WaitForCompareWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, kCompareListId)));
  EXPECT_EQ(L"a.bin: 10 bytes\r\nb.bin: 12 bytes\r\n\r\nThey first differ at byte 6 (0x6).",
            TextOf(GetDlgItem(window, kCompareSummaryId)));
  CloseCompareWindow(window);

  // A command line that names only one file is refused before it is kept.
  EXPECT_EQ(E_INVALIDARG, SetCompareCommand(L"tool.exe %1"));
  EXPECT_EQ(L"", CompareCommand());
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
