// What a snapshot by cn could not archive reaches its standard error: a file too large for an
// archive, one another program holds without sharing, and a snapshot refused because the archive
// would pass 4 GB. The large files are sparse, so none of this writes gigabytes.
#include <gtest/gtest.h>

#include <windows.h>

#include "CnRestoreFixture.h"

namespace cairn {
namespace {

// Makes a file of size bytes that holds nothing but its end: sparse on the disks the tests use.
void MakeLargeFile(const fs::path& path, LONGLONG size, bool lastByte = false) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER at;
  at.QuadPart = lastByte ? size - 1 : size;
  bool done = SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
  DWORD written = 0;
  const char one = 1;
  done = done && (lastByte ? WriteFile(file, &one, 1, &written, nullptr) && written == 1 : SetEndOfFile(file));
  CloseHandle(file);
  ASSERT_TRUE(done);
}

class CnNotArchivedTest : public CnRestoreTest {
 protected:
  // The archive's log as text, read through the engine.
  std::string Log() {
    ComPtr<IPersistFile> file;
    EXPECT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid()),
              S_OK);
    ComPtr<ICairnArchiveAdmin> admin;
    ComPtr<IStream> text;
    if (!file || FAILED(file->Load(Archive().c_str(), STGM_READWRITE)) || FAILED(file.As(&admin)) ||
        FAILED(admin->InterpretLogStream(text.Out())))
      return "<no log>";
    std::string bytes;
    char buffer[4096];
    ULONG n = 0;
    while (SUCCEEDED(text->Read(buffer, sizeof buffer, &n)) && n > 0) bytes.append(buffer, n);
    return bytes;
  }
  std::string Tree(const char* name) const { return Narrow((tree_ / name).wstring()); }
};

// A disk image over 4 GB beside a small file that changed: the snapshot records the small file,
// and the image is named with its reason rather than passed over as if archived.
TEST_F(CnNotArchivedTest, AFileOverFourGBIsNamedWithItsReasonAndTheRestIsRecorded) {
  fs::create_directories(tree_);
  WriteFileBytes(tree_ / "small.txt", "first");
  CreateArchive(1);
  WriteFileBytes(tree_ / "small.txt", "second");
  MakeLargeFile(tree_ / "huge.vhd", 4800ll << 20);
  CnRun run = Cn(L"/v x.crn");
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_NE(run.out.find("Created Snapshot 'Snapshot;2'"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "Not archived, too large for an archive (over 4 GB): " + Tree("huge.vhd") + "\n");
  EXPECT_NE(Log().find("Object too large for an archive (over 4 GB): " + Tree("huge.vhd")), std::string::npos);

  fs::remove_all(tree_);
  run = Cn(L"/r x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  const std::map<std::string, std::string> restored = {{"small.txt", "second"}};
  EXPECT_EQ(ReadTree(tree_).entries, restored);
}

// A changed file another process holds without sharing keeps its last revision, is logged as
// locked and named on standard error, even when nothing else changed; the first snapshot after
// it is released records it.
TEST_F(CnNotArchivedTest, AFileHeldWithoutSharingIsNamedAndRecordedOnceReleased) {
  fs::create_directories(tree_);
  WriteFileBytes(tree_ / "held.txt", "first");
  WriteFileBytes(tree_ / "other.txt", "other");
  CreateArchive(1);
  WriteFileBytes(tree_ / "held.txt", "second");
  HANDLE held = CreateFileW((tree_ / "held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CnRun run = Cn(L"/v x.crn");
  CloseHandle(held);
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_NE(run.out.find("No new snapshot required"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "Not archived, locked by another program: " + Tree("held.txt") + "\n");
  EXPECT_NE(Log().find("Object locked: " + Tree("held.txt")), std::string::npos) << Log();

  run = Cn(L"/v x.crn");
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_EQ(run.err, "");
  fs::remove_all(tree_);
  ASSERT_EQ(Cn(L"/r x.crn").exitCode, 0u);
  const std::map<std::string, std::string> restored = {{"held.txt", "second"}, {"other.txt", "other"}};
  EXPECT_EQ(ReadTree(tree_).entries, restored);
}

// An archive a few hundred kilobytes short of 4 GB (a sparse file whose middle nothing uses) takes
// a small change, refuses one that would pass the end and says the archive is full, and stays
// sound: the next snapshot works and every recorded file restores.
TEST_F(CnNotArchivedTest, ASnapshotThatWouldPassFourGBSaysTheArchiveIsFull) {
  fs::create_directories(tree_);
  WriteFileBytes(tree_ / "a.txt", "a");
  CreateArchive(1);
  MakeLargeFile(Archive(), 0xFFFFFFFFll - (1 << 20), /*lastByte=*/true);
  WriteFileBytes(tree_ / "b.txt", "b");
  CnRun run = Cn(L"x.crn");
  ASSERT_EQ(run.exitCode, 1u) << run.err;

  WriteFileBytes(tree_ / "big.bin", Pattern(4 << 20, 7));
  run = Cn(L"x.crn");
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_EQ(run.err, "The archive is full: it cannot grow past 4 GB.\nFailed to create snapshot for x.crn\n");

  fs::remove(tree_ / "big.bin");
  WriteFileBytes(tree_ / "a.txt", "a2");
  run = Cn(L"x.crn");
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  fs::remove_all(tree_);
  ASSERT_EQ(Cn(L"/r x.crn").exitCode, 0u);
  const std::map<std::string, std::string> restored = {{"a.txt", "a2"}, {"b.txt", "b"}};
  EXPECT_EQ(ReadTree(tree_).entries, restored);
}

}  // namespace
}  // namespace cairn
