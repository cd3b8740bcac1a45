// cn /l and /r against real archives: listing formats, which snapshot each item finds, round
// trips of real trees (files, empty folders, compound documents, times) for every compression
// setting, and crafted archives whose names try to lead out of the folder being restored.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "CnRestoreFixture.h"
#include "OfficeDocument.h"

namespace cairn {
namespace {

namespace fs = std::filesystem;

TEST_F(CnRestoreTest, AnArchiveWithoutSnapshotsListsAndRestoresNothing) {
  CnRun run = Cn(L"/c x.crn");
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  for (const wchar_t* arguments : {L"/l x.crn", L"/r x.crn", L"/r /l x.crn"}) {
    run = Cn(arguments);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
  }
  run = Cn(L"/l Snapshot;1 x.crn");
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_EQ(run.err, "Snapshot, Snapshot;1 does not exists\n");
  run = Cn(L"/l missing.crn");
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_EQ(run.err, "Failed to open/create missing.crn\n");
  EXPECT_FALSE(fs::exists(dir_ / "missing.crn")) << "listing never creates";
}

TEST_F(CnRestoreTest, RoundTripsEveryCompressionSetting) {
  for (LONG options : {0, 1, 9}) {
    SCOPED_TRACE("options " + std::to_string(options));
    BuildFirstTree();
    CreateArchive(options);
    const TreeState first = ReadTree(tree_);
    ChangeTree();
    CnRun run = Cn(L"/n Second x.crn");
    ASSERT_EQ(run.exitCode, 1u) << run.err;
    const TreeState second = ReadTree(tree_);
    ASSERT_NE(Differences(first, second), "");

    fs::remove_all(tree_);
    run = Cn(L"/r First;1 x.crn");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Differences(ReadTree(tree_), first), "");

    // Restore writes over what is there; files it does not know stay.
    fs::remove_all(tree_);
    run = Cn(L"/r x.crn");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(Differences(ReadTree(tree_), second), "");

    fs::remove_all(tree_);
    fs::remove(Archive());
  }
}

TEST_F(CnRestoreTest, ListingsShowSnapshotsAndTopLevelObjects) {
  BuildFirstTree();
  CreateArchive(1);
  WriteFileBytes(tree_ / "readme.txt", "changed");
  WriteFileBytes(dir_ / "single.txt", "single");
  ASSERT_EQ(Cn(L"/n Second /a single.txt x.crn").exitCode, 1u);
  WriteFileBytes(tree_ / "readme.txt", "changed again");
  ASSERT_EQ(Cn(L"x.crn").exitCode, 1u);

  CnRun run = Cn(L"/l x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(run.out.substr(at, end - at));
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0], "Name\t\tCreated\t\tComment");
  EXPECT_EQ(lines[1].substr(0, 16), "First;1        \t");
  EXPECT_EQ(lines[2].substr(0, 16), "Second;2       \t");
  EXPECT_EQ(lines[3].substr(0, 16), "Snapshot;3     \t");
  EXPECT_EQ(lines[1].back(), '\t') << "no comment";

  // A snapshot's objects: its top-level entries with the revision current then (a folder gets a
  // new revision whenever something inside it does), and the modification time without seconds.
  const std::string tree = Narrow(tree_.wstring());
  const std::string single = Narrow((dir_ / "single.txt").wstring());
  FILETIME local;
  SYSTEMTIME parts;
  const FILETIME written = WriteTime(dir_ / "single.txt");
  FileTimeToLocalFileTime(&written, &local);
  FileTimeToSystemTime(&local, &parts);
  char date[64], clock[64];
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &parts, nullptr, date, 64);
  GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, clock, 64);
  char header[128], singleLine[512];
  std::snprintf(header, sizeof header, "%-60s\tModified\n", "Name");
  std::snprintf(singleLine, sizeof singleLine, "%-60s\t%s %s\n", (single + ";1").c_str(), date, clock);
  auto treeLine = [&](int revision) {
    char line[512];
    std::snprintf(line, sizeof line, "%-60s\t", (tree + ";" + std::to_string(revision)).c_str());
    return std::string(line);
  };
  const struct {
    const wchar_t* item;
    int treeRevision;
    bool hasSingle;
  } cases[] = {{L"First;1", 1, false}, {L"Second;2", 2, true}, {L"Snapshot;3", 3, true}};
  for (const auto& c : cases) {
    run = Cn(std::wstring(L"/l ") + c.item + L" x.crn");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out.rfind(header, 0), 0u) << run.out;
    EXPECT_NE(run.out.find(treeLine(c.treeRevision)), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(singleLine) != std::string::npos, c.hasSingle) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), c.hasSingle ? 3 : 2) << "top-level entries only";
  }
}

TEST_F(CnRestoreTest, ItemsShareOneEnumeratorAndTheMarkerSkipsDeletedSnapshots) {
  BuildFirstTree();
  CreateArchive(1, L"A");
  WriteFileBytes(tree_ / "readme.txt", "second");
  ASSERT_EQ(Cn(L"/n B x.crn").exitCode, 1u);
  WriteFileBytes(tree_ / "readme.txt", "third");
  ASSERT_EQ(Cn(L"/n C x.crn").exitCode, 1u);

  CnRun run = Cn(L"/r B;2 /r A;1 x.crn");
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_EQ(run.err, "Snapshot, A;1 does not exists\n") << "searched on from after B;2";
  EXPECT_EQ(ReadFileBytes(tree_ / "readme.txt"), "second") << "B;2 was restored first";
  run = Cn(L"/r A;1 /r C;3 x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(ReadFileBytes(tree_ / "readme.txt"), "third");
  run = Cn(L"/r a;1 x.crn");
  EXPECT_EQ(run.err, "Snapshot, a;1 does not exists\n") << "names respect letter case";

  // The newest snapshot deleted: the marker restores the newest live one, the stored name
  // still finds the deleted one, and the listing leaves it out.
  DeleteSnapshot(L"C;3");
  run = Cn(L"/r x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(ReadFileBytes(tree_ / "readme.txt"), "second");
  run = Cn(L"/r C;3 x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(ReadFileBytes(tree_ / "readme.txt"), "third");
  run = Cn(L"/l x.crn");
  EXPECT_EQ(run.out.find("C;3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("B;2"), std::string::npos) << run.out;

  // Restores run before listings, whatever the order on the command line.
  WriteFileBytes(tree_ / "readme.txt", "local");
  run = Cn(L"/l A;1 /r A;1 x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(ReadFileBytes(tree_ / "readme.txt"), "first text\r\n");
  EXPECT_NE(run.out.find("Modified"), std::string::npos);
}

// A file that cannot be replaced stops the restore. (Under Wine run as root a read-only file can
// still be opened for writing, so the test holds the file open without sharing instead.)
TEST_F(CnRestoreTest, AFileThatCannotBeReplacedFailsTheRestore) {
  BuildFirstTree();
  CreateArchive(1);
  WriteFileBytes(tree_ / "readme.txt", "local edit");
  const std::wstring target = (tree_ / "readme.txt").wstring();
  HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CnRun run = Cn(L"/r x.crn");
  CloseHandle(held);
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_EQ(run.err, "Unable to create file: " + Narrow(target) + "\nFailed to restore: " + Narrow(tree_.wstring()) +
                         "\n");
  EXPECT_EQ(ReadFileBytes(tree_ / "readme.txt"), "local edit");

  // A file standing where a folder is needed.
  fs::remove_all(tree_ / "docs");
  WriteFileBytes(tree_ / "docs", "in the way");
  run = Cn(L"/r x.crn");
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_NE(run.err.find("Unable to make directory: " + Narrow((tree_ / "docs").wstring()) + "\n"),
            std::string::npos)
      << run.err;
}

// Office documents keep elements named with control characters and names that are no file
// names; each snapshot gives back every element, storage and class identifier as stored.
TEST_F(CnRestoreTest, OfficeDocumentsComeBackElementForElementFromEachSnapshot) {
  using testing::ReadDocumentElements;
  fs::create_directories(tree_);
  const std::wstring document = (tree_ / "report.doc").wstring();
  ASSERT_TRUE(testing::WriteOfficeDocument(document, 1));
  const auto first = ReadDocumentElements(document);
  ASSERT_EQ(first.count(L"ObjectPool\\_1234567890\\\x01Ole"), 1u);
  // The classes are there to be compared: the root's and the embedded object's.
  ASSERT_EQ(first.at(L""), "<storage {00020906-1234-5678-C000-000000000046}>");
  ASSERT_EQ(first.at(L"ObjectPool\\_1234567890"), "<storage {0003000C-4321-8765-C000-000000000046}>");
  CreateArchive(1);
  ASSERT_TRUE(testing::WriteOfficeDocument(document, 2));
  const auto second = ReadDocumentElements(document);
  CnRun run = Cn(L"/n Second /a tree x.crn");
  ASSERT_EQ(run.exitCode, 1u) << run.err;

  fs::remove_all(tree_);
  run = Cn(L"/r First;1 x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadDocumentElements(document), first);
  // Over the first edition, which the restore replaces whole; nothing else is left beside it.
  run = Cn(L"/r x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(ReadDocumentElements(document), second);
  EXPECT_EQ(ReadTree(tree_).entries.size(), 1u);
}

// Names the system code page cannot hold are left out of the snapshot, which still completes,
// and each is named on standard error; the rest restores exactly.
TEST_F(CnRestoreTest, NamesTheCodePageCannotHoldAreNamedOnStandardError) {
  fs::create_directories(tree_);
  WriteFileBytes(tree_ / "plain.txt", "plain");
  WriteFileBytes(tree_ / L"\u65e5\u672c\u8a9e.txt", "japanese");
  WriteFileBytes(tree_ / L"emoji \U0001F600.txt", "emoji");
  CnRun run = Cn(L"/c /v /a tree x.crn");
  ASSERT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_NE(run.out.find("Created Snapshot"), std::string::npos) << run.out;
  const std::string line = "Not archived, the name cannot be stored: " + Narrow(tree_.wstring()) + "\\";
  size_t lines = 0;
  for (size_t at = run.err.find(line); at != std::string::npos; at = run.err.find(line, at + 1)) ++lines;
  EXPECT_EQ(lines, 2u) << run.err;
  EXPECT_NE(run.err.find(line + "emoji "), std::string::npos) << run.err;

  fs::remove_all(tree_);
  run = Cn(L"/r x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  const TreeState restored = ReadTree(tree_);
  EXPECT_EQ(restored.entries.size(), 1u);
  EXPECT_EQ(ReadFileBytes(tree_ / "plain.txt"), "plain");
}

// An archive turned into a self-extracting one is read in place, behind its launcher.
TEST_F(CnRestoreTest, ASelfExtractingArchiveListsAndRestoresInPlace) {
  BuildFirstTree();
  CreateArchive(1);
  const std::string listing = Cn(L"/l x.crn").out;
  ASSERT_NE(listing, "");

  // A launcher that crashes, or that is still running after a minute, fails the test.
  const std::wstring launcher = L"\"" + ModuleDirectory() + L"\\..\\sfx\\sfxstub.exe\" ";
  ASSERT_TRUE(testing::RunChild(launcher + Archive(), dir_.wstring(), 60000).started);
  ASSERT_TRUE(fs::exists(dir_ / "x.exe"));
  ASSERT_FALSE(fs::exists(dir_ / "x.crn"));

  CnRun run = Cn(L"/l x.exe");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, listing);
  WriteFileBytes(tree_ / "readme.txt", "local");
  run = Cn(L"/r First;1 x.exe");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(ReadFileBytes(tree_ / "readme.txt"), "first text\r\n");
}

// Replaces a NUL-terminated stored name in the archive file with another of the same length.
void PatchStoredName(const std::wstring& archive, const std::string& from, const std::string& to) {
  ASSERT_EQ(from.size(), to.size());
  std::string bytes = ReadFileBytes(archive);
  const std::string key = from + '\0';
  size_t at = bytes.find(key);
  ASSERT_NE(at, std::string::npos) << from;
  // The log may mention the name too; patching it there as well changes nothing that matters.
  for (; at != std::string::npos; at = bytes.find(key, at + 1)) bytes.replace(at, to.size(), to);
  WriteFileBytes(archive, bytes);
}

TEST_F(CnRestoreTest, CraftedNamesNeverLeadOutOfTheRestoredFolder) {
  // A folder renamed ".." in the archive would put its children beside the restored tree; a
  // child holding ':' would name a drive or another stream.
  fs::create_directories(tree_ / "zz");
  WriteFileBytes(tree_ / "zz" / "escaped.txt", "outside");
  WriteFileBytes(tree_ / "ab", "stream");
  CreateArchive(1);
  const std::string tree = Narrow(tree_.wstring());
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"\\zz", "\\.."}, {"\\ab", "\\a:"}}) {
    ASSERT_TRUE(CopyFileW(Archive().c_str(), (dir_ / "crafted.crn").c_str(), FALSE));
    PatchStoredName((dir_ / "crafted.crn").wstring(), tree + from, tree + to);
    fs::remove_all(tree_);
    CnRun run = Cn(L"/r crafted.crn");
    EXPECT_EQ(run.exitCode, kFailed) << to;
    EXPECT_NE(run.err.find("Unsafe name in archive: " + tree + to + "\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Failed to restore: " + tree + "\n"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir_ / "escaped.txt"));
    EXPECT_FALSE(fs::exists(tree_ / "a"));
  }
}

}  // namespace
}  // namespace cairn
