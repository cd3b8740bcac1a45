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

#include "CnProcess.h"
#include "ProcessCrash.h"
#include "ComPtr.h"
#include "cairn.h"

namespace cairn {
namespace {

namespace fs = std::filesystem;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c);  // test paths are ASCII
  return out;
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

FILETIME WriteTime(const fs::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// Reads one stream of a compound document, or "<missing>".
std::string ReadElement(const fs::path& document, const std::vector<std::wstring>& path) {
  ComPtr<IStorage> storage;
  if (FAILED(StgOpenStorage(document.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.Out())))
    return "<missing>";
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    ComPtr<IStorage> inner;
    if (FAILED(storage->OpenStorage(path[i].c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                    inner.Out())))
      return "<missing>";
    storage = inner;
  }
  ComPtr<IStream> stream;
  if (FAILED(storage->OpenStream(path.back().c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out())))
    return "<missing>";
  std::string bytes;
  char buffer[4096];
  ULONG n = 0;
  while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &n)) && n > 0) bytes.append(buffer, n);
  return bytes;
}

void WriteDocument(const fs::path& path, const std::string& body, const std::string& inner) {
  ComPtr<IStorage> root;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, root.Out()), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(root->CreateStream(L"Body", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), S_OK);
  stream->Write(body.data(), static_cast<ULONG>(body.size()), nullptr);
  ComPtr<IStorage> sub;
  ASSERT_EQ(root->CreateStorage(L"Sub", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, sub.Out()), S_OK);
  ASSERT_EQ(sub->CreateStream(L"Inner", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), S_OK);
  stream->Write(inner.data(), static_cast<ULONG>(inner.size()), nullptr);
}

// What a tree holds: relative path to content ("<dir>" for a folder; a compound document by its
// streams) and the last-write time of every file.
struct TreeState {
  std::map<std::string, std::string> entries;
  std::map<std::string, ULONGLONG> times;
};

// The entries in which two states differ, for failure messages.
std::string Differences(const TreeState& got, const TreeState& want) {
  std::string text;
  std::map<std::string, int> names;
  for (const auto& entry : got.entries) names[entry.first] |= 1;
  for (const auto& entry : want.entries) names[entry.first] |= 2;
  for (const auto& [name, where] : names) {
    if (where != 3) {
      text += "\n  " + name + (where == 1 ? " should not be there" : " is missing");
      continue;
    }
    if (got.entries.at(name) != want.entries.at(name)) text += "\n  " + name + " has other content";
    auto time = [&](const TreeState& state) { return state.times.count(name) ? state.times.at(name) : 0; };
    if (time(got) != time(want))
      text += "\n  " + name + " time " + std::to_string(time(got)) + " instead of " + std::to_string(time(want));
  }
  return text;
}

TreeState ReadTree(const fs::path& root) {
  TreeState state;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      state.entries[name] = "<dir>";
      continue;
    }
    if (entry.path().extension() == ".doc")
      state.entries[name] = ReadElement(entry.path(), {L"Body"}) + "|" + ReadElement(entry.path(), {L"Sub", L"Inner"});
    else
      state.entries[name] = ReadFileBytes(entry.path());
    const FILETIME time = WriteTime(entry.path());
    state.times[name] = (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  }
  return state;
}

std::string Pattern(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  return bytes;
}

class CnRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    dir_ = fs::path(base) / (L"cn-restore-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount()));
    ASSERT_TRUE(fs::create_directories(dir_));
    tree_ = dir_ / L"tree";
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored))
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(dir_, ignored);
  }

  CnRun Cn(const std::wstring& arguments) { return RunCn(arguments, dir_.wstring()); }

  // Makes x.crn with the given options (no progress window) and its first snapshot of the tree.
  void CreateArchive(LONG options, const std::wstring& name = L"First") {
    ComPtr<IPersistFile> file;
    ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid()),
              S_OK);
    ASSERT_EQ(file->Load(Archive().c_str(), STGM_CREATE | STGM_READWRITE), S_OK);
    ComPtr<ICairnArchiveAdmin> admin;
    ASSERT_EQ(file.As(&admin), S_OK);
    ASSERT_EQ(admin->SetOptions(options), S_OK);
    file.Reset();
    admin.Reset();
    CnRun run = Cn(L"/n " + name + L" /a tree x.crn");
    ASSERT_EQ(run.exitCode, 1u) << run.err;
  }

  // Deletes a snapshot through the engine, as the Explorer extension would.
  void DeleteSnapshot(const wchar_t* storedName) {
    ComPtr<IPersistFile> file;
    ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid()),
              S_OK);
    ASSERT_EQ(file->Load(Archive().c_str(), STGM_READWRITE), S_OK);
    ComPtr<ICairnArchive> archive;
    ASSERT_EQ(file.As(&archive), S_OK);
    BSTR name = SysAllocString(storedName);
    EXPECT_EQ(archive->DeleteSnapShot(name), S_OK);
    SysFreeString(name);
  }

  std::wstring Archive() const { return (dir_ / L"x.crn").wstring(); }

  void BuildFirstTree() {
    fs::create_directories(tree_ / "docs" / "empty");
    fs::create_directories(tree_ / "media");
    WriteFileBytes(tree_ / "readme.txt", "first text\r\n");
    WriteFileBytes(tree_ / "zero.bin", "");
    WriteFileBytes(tree_ / "docs" / "notes.txt", std::string(9000, 'n'));
    WriteFileBytes(tree_ / "media" / "noise.bin", Pattern(70000, 1));
    WriteDocument(tree_ / "docs" / "report.doc", "body one", "inner one");
  }

  // Edits, adds and removes across the tree, including inside the compound document.
  void ChangeTree() {
    std::string noise = Pattern(70000, 1);
    noise.replace(30000, 100, Pattern(100, 2));
    WriteFileBytes(tree_ / "media" / "noise.bin", noise);
    WriteFileBytes(tree_ / "readme.txt", "second text, longer than the first\r\n");
    fs::remove(tree_ / "docs" / "notes.txt");
    fs::create_directories(tree_ / "new" / "deeper");
    WriteFileBytes(tree_ / "new" / "deeper" / "added.txt", "added");
    WriteDocument(tree_ / "docs" / "report.doc", "body two", "inner one");
  }

  fs::path dir_;
  fs::path tree_;
};

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

// An archive turned into a self-extracting one is read in place, behind its launcher.
TEST_F(CnRestoreTest, ASelfExtractingArchiveListsAndRestoresInPlace) {
  BuildFirstTree();
  CreateArchive(1);
  const std::string listing = Cn(L"/l x.crn").out;
  ASSERT_NE(listing, "");

  std::wstring commandLine = L"\"" + ModuleDirectory() + L"\\..\\sfx\\sfxstub.exe\" " + Archive();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &startup,
                             &process));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_FALSE(testing::ShowsCrash(code, "", "")) << "sfxstub exit code " << code;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
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
