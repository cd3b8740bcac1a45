// The extension on an archive whose names are UTF-8: names no code page holds are shown as they
// are, in the folder's names, its columns and the restore dialog's target, and the restore the
// view runs writes them back byte-exact.
#include "ShellTestSupport.h"

#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "ArchiveFolder.h"
#include "FileList.h"
#include "GlobalMemory.h"
#include "Handle.h"
#include "RestoreDialog.h"
#include "TaskMemory.h"
#include "cairn.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

const wchar_t* const kNames[] = {L"na\u00EFve caf\u00E9.txt", L"\u65E5\u672C\u8A9E.txt", L"emoji \U0001F600.txt"};

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
  Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes(4096, '\0');
  DWORD read = 0;
  if (!file || !ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr)) return "<none>";
  bytes.resize(read);
  return bytes;
}

std::wstring Text(STRRET* text, LPCITEMIDLIST item) {
  wchar_t* wide = nullptr;
  if (FAILED(StrRetToStrW(text, item, &wide)) || wide == nullptr) return L"<none>";
  const TaskMemory<wchar_t> owned(wide);
  return wide;
}

// A new archive, compressing, whose names are UTF-8.
bool CreateUtf8Archive(const std::string& archive) {
  ComPtr<IPersistFile> file;
  ComPtr<ICairnArchiveAdmin> admin;
  return SUCCEEDED(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                                    file.OutVoid())) &&
         SUCCEEDED(file->Load(FromAnsi(archive).c_str(), STGM_CREATE | STGM_READWRITE)) && SUCCEEDED(file.As(&admin)) &&
         SUCCEEDED(admin->SetOptions(0x1 | 0x40));
}

TEST(Utf8NamesTest, NamesNoCodePageHoldsAreShownAsTheyAreAndRestoredByteExact) {
  TempDir dir;
  const std::string data = dir.Path("data"), archive = dir.Path("names.crn");
  ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
  for (const wchar_t* name : kNames) ASSERT_TRUE(WriteBytes(FromAnsi(data) + L"\\" + name, Utf8(name) + " content"));
  ASSERT_TRUE(CreateUtf8Archive(archive));
  ASSERT_EQ(1u, RunCn("/a \"" + data + "\" \"" + archive + "\"", dir.Path("")));

  ComPtr<IShellFolder> root = OpenArchiveFolder(archive);
  ASSERT_TRUE(root);
  const std::vector<OwnedList> snapshots = Enumerate(root.Get());
  ASSERT_EQ(1u, snapshots.size());
  ComPtr<IShellFolder> inSnapshot = Bind(root.Get(), snapshots.front().Get());
  ASSERT_TRUE(inSnapshot);
  OwnedList folder = FindItem(inSnapshot.Get(), "\\data");
  ComPtr<IShellFolder> inData = Bind(inSnapshot.Get(), folder.Get());
  ASSERT_TRUE(inData);

  // The names as the folder hands them to the shell, and as its Name and In Folder columns show
  // them; the stored names are the archive's UTF-8.
  ComPtr<IArchiveFolder> details;
  ASSERT_EQ(S_OK, inData.As(&details));
  std::vector<std::wstring> shown, cells;
  std::vector<std::string> stored;
  std::vector<LPCITEMIDLIST> lists;
  const std::vector<OwnedList> items = Enumerate(inData.Get());
  for (const OwnedList& item : items) {
    STRRET name = {};
    ASSERT_EQ(S_OK, inData->GetDisplayNameOf(item.Get(), SHGDN_INFOLDER, &name));
    shown.push_back(Text(&name, item.Get()));
    SHELLDETAILS cell = {};
    ASSERT_EQ(S_OK, details->GetDetailsOf(item.Get(), 1, &cell));
    cells.push_back(Text(&cell.str, item.Get()));
    stored.emplace_back(item.Read().name);
    lists.push_back(item.Get());
  }
  std::vector<std::wstring> expected, expectedStored;
  for (const wchar_t* name : kNames) expected.push_back(std::wstring(name) + L";1");
  std::sort(shown.begin(), shown.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, shown);
  EXPECT_EQ(std::vector<std::wstring>(3, FromAnsi(data)), cells);
  for (const std::string& name : stored) EXPECT_EQ(Utf8(FromAnsi(data)) + "\\", name.substr(0, data.size() + 1));

  // The restore dialog proposes the folder the items came from; the view's restore writes them.
  FolderLevel level;
  ASSERT_EQ(S_OK, LevelOf(inData.Get(), &level));
  EXPECT_TRUE(level.names.Utf8());
  EXPECT_EQ(data, DefaultRestoreTarget(lists, level.names));
  const std::string out = dir.Path("out");
  EXPECT_TRUE(level.Operations().RestoreItems(stored, out, ExtractOptions{true, true, true}));
  for (const wchar_t* name : kNames)
    EXPECT_EQ(Utf8(name) + " content", ReadBytes(FromAnsi(out) + L"\\" + name)) << Utf8(name);
}

// Files named beyond the code page come in through a drop's wide file list and go out of the
// latest snapshot by their stored names.
TEST(Utf8NamesTest, ADroppedFileNamedBeyondTheCodePageIsAddedAndAStoredOneDeleted) {
  TempDir dir;
  const std::string archive = dir.Path("names.crn");
  const std::wstring dropped = FromAnsi(dir.Path("")) + L"\\\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC \U0001F600.txt";
  ASSERT_TRUE(WriteBytes(dropped, "dropped"));
  ASSERT_TRUE(CreateUtf8Archive(archive));
  // The shell's wide list: a DROPFILES header, then the names, each ended, and one more end.
  const size_t bytes = sizeof(DROPFILES) + (dropped.size() + 2) * sizeof(wchar_t);
  GlobalMemory block(GlobalAlloc(GHND, bytes));
  auto* header = static_cast<DROPFILES*>(GlobalLock(block.Get()));
  ASSERT_NE(nullptr, header);
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), dropped.c_str(), dropped.size() * sizeof(wchar_t));
  GlobalUnlock(block.Get());
  const std::optional<std::vector<std::wstring>> paths = DroppedPaths(block.Get());
  ASSERT_TRUE(paths);
  EXPECT_EQ(std::vector<std::wstring>{dropped}, *paths);
  ASSERT_TRUE(ArchiveOperations(archive, {}).AddFiles(*paths, nullptr));

  const ArchiveOperations inFirst(archive, {"Snapshot;1"});
  const std::string stored = Utf8(dropped);
  EXPECT_TRUE(inFirst.FindObject(stored)) << "stored in UTF-8 under its own name";
  EXPECT_TRUE(inFirst.DeleteItems({stored}, nullptr));
  EXPECT_FALSE(ArchiveOperations(archive, {"Snapshot;2"}).FindObject(stored)) << "the new snapshot is without it";
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
