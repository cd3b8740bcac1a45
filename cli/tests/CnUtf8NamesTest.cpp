// cn on an archive whose names are UTF-8: files named outside every code page are archived,
// listed and restored byte-exact, and the name rules judge the names as decoded.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "ArchiveHeap.h"
#include "ArchiveRecords.h"
#include "CnRestoreFixture.h"
#include "PlatformFile.h"

namespace cairn {
namespace {

namespace fs = std::filesystem;

const wchar_t* const kNames[] = {L"na\u00EFve caf\u00E9.txt", L"\u65E5\u672C\u8A9E.txt", L"emoji \U0001F600.txt"};

// text in the code page cn writes to the console.
std::string ConsoleText(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

class CnUtf8NamesTest : public CnRestoreTest {
 protected:
  // x.crn, new, with names in UTF-8 and no progress window.
  void CreateUtf8Archive() {
    ComPtr<IPersistFile> file;
    ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid()),
              S_OK);
    ASSERT_EQ(file->Load(Archive().c_str(), STGM_CREATE | STGM_READWRITE), S_OK);
    ComPtr<ICairnArchiveAdmin> admin;
    ASSERT_EQ(file.As(&admin), S_OK);
    ASSERT_EQ(admin->SetOptions(options::kCompress | options::kUtf8Names), S_OK);
  }
};

TEST_F(CnUtf8NamesTest, NamesOutsideEveryCodePageAreListedAndRestoredByteExact) {
  fs::create_directories(tree_);
  std::wstring adds;
  for (const wchar_t* name : kNames) {
    WriteFileBytes(tree_ / name, fs::path(name).u8string() + " content");
    adds += L" /a \"tree\\" + std::wstring(name) + L"\"";
  }
  CreateUtf8Archive();
  CnRun run = Cn(L"/n First" + adds + L" x.crn");
  ASSERT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_EQ(run.err, "");

  const CnRun inspected = testing::RunChild(
      L"\"" + ModuleDirectory() + L"\\..\\engine\\tools\\crninspect.exe\" x.crn", dir_.wstring(), 60000);
  EXPECT_EQ(inspected.exitCode, 0u) << inspected.err;
  EXPECT_NE(inspected.out.find("options 0x41 (compress, UTF-8 names)"), std::string::npos) << inspected.out;

  run = Cn(L"/l First;1 x.crn");
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  for (const wchar_t* name : kNames)
    EXPECT_NE(run.out.find(ConsoleText((tree_ / name).wstring()) + ";1"), std::string::npos) << run.out;

  fs::remove_all(tree_);
  run = Cn(L"/r First;1 x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.err, "");
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(tree_)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 3u);
  for (const wchar_t* name : kNames)
    EXPECT_EQ(ReadFileBytes(tree_ / name), fs::path(name).u8string() + " content") << fs::path(name).u8string();
}

// The unsafe-name rules see the decoded name: bytes that a lax decoder would read as dots (the
// overlong C0 AE) are no characters, so the restored file keeps to its folder under a name
// without them.
TEST_F(CnUtf8NamesTest, TheUnsafeNameRulesApplyToTheDecodedName) {
  fs::create_directories(tree_);
  WriteFileBytes(tree_ / L"\u00E9t\u00E9.txt", "summer");
  CreateUtf8Archive();
  CnRun run = Cn(L"/n First /a tree x.crn");
  ASSERT_EQ(run.exitCode, 1u) << run.err;
  {
    // The child's last nine bytes, "été.txt" in UTF-8, become four overlong dots and an "x".
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), fs::path(Archive()).u8string(), false, true, &heap), S_OK);
    const SnapshotRecord first(*heap, heap->HeaderField(header::kSnapshotList));
    const ObjectRecord folder(*heap, ListNode(*heap, first.Entries()).Object());
    const RevisionRecord revision(*heap, folder.OldestRevision());
    const ObjectRecord child(*heap, ListNode(*heap, revision.Children()).Object());
    std::string name;
    ASSERT_EQ(ReadString(*heap, child.Name(), &name), S_OK);
    ASSERT_EQ(name.substr(name.size() - 9), "\xC3\xA9t\xC3\xA9.txt");
    const char overlong[] = "\xC0\xAE\xC0\xAE\xC0\xAE\xC0\xAEx";
    uint8_t* bytes = heap->Resolve(child.Name() + static_cast<uint32_t>(name.size() - 9), 9);
    ASSERT_NE(bytes, nullptr);
    std::memcpy(bytes, overlong, 9);
  }
  fs::remove_all(tree_);
  run = Cn(L"/r First;1 x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
    if (entry.path().extension() == ".crn") continue;
    if (entry.is_directory()) {
      EXPECT_EQ(entry.path(), tree_);
      continue;
    }
    ++files;
    EXPECT_EQ(entry.path().parent_path(), tree_);
    EXPECT_EQ(entry.path().filename().wstring().find(L'.'), std::wstring::npos);
    EXPECT_EQ(ReadFileBytes(entry.path()), "summer");
  }
  EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace cairn
