// Snapshots that cn takes while something goes wrong: the process stops at any point, or the
// disk fills up. Whatever happens, the archive must open, walk soundly, read back every snapshot
// recorded before, lose no space for good, and the next snapshot must record what is on disk.
#include "SnapshotFixture.h"

#include <algorithm>
#include <random>

#include "ArchiveCoverage.h"
#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "Capability.h"

namespace cairn {
namespace {

using testing::RunCn;
using testing::SnapshotTest;
namespace fs = std::filesystem;

// Two snapshots of a small tree, then changes for a third that cn takes while something goes
// wrong: the process stops, or the disk fills up. Whatever happens, the archive must open, walk
// soundly and read back both earlier snapshots as they were.
class InterruptedSnapshotTest : public SnapshotTest {
 protected:
  // The switches that stop cn or fill the disk are only in the tests' own build of the engine,
  // registered while these tests run (so that cn loads it), and the tested engine again after.
  static void SetUpTestSuite() {
    HMODULE crashTest = LoadLibraryW((testing::ModuleDirectory() + L"\\cairn-crashtest.dll").c_str());
    ASSERT_NE(crashTest, nullptr);
    auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(crashTest, "DllRegisterServer")));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_HR(S_OK, registerServer());
  }
  static void TearDownTestSuite() { EXPECT_HR(S_OK, testing::CallEngine("DllRegisterServer")); }

  void SetUp() override {
    SnapshotTest::SetUp();
    Write("notes.txt", Bytes(5000));
    Write("deep/data.bin", Bytes(40000));
    Write("deep/gone.txt", "soon gone");
    ASSERT_EQ(Snapshot({Path()}), S_OK);
    Write("notes.txt", Bytes(6000));
    ASSERT_EQ(Snapshot({}), S_OK);
    first_ = Tree(1);
    second_ = Tree(2);
    archive_.Reset();
    admin_.Reset();

    // The changes of the third snapshot.
    data_ = testing::ReadFileBytes((root_ / "deep" / "data.bin").u8string());
    data_.replace(20000, 300, Bytes(300));
    Write("deep/data.bin", data_);
    fs::remove(root_ / "deep" / "gone.txt");
    Write("new/fresh.txt", Bytes(12000));
  }
  std::string Bytes(size_t n) {
    std::string text(n, '\0');
    for (char& c : text) c = static_cast<char>('a' + random_() % 16);
    return text;
  }
  // Runs cn with the arguments on a fresh copy of the archive of two snapshots; its exit code.
  DWORD RunOnCopy(const wchar_t* setting, uint64_t n, std::string* errors = nullptr,
                  const wchar_t* arguments = L"/a new copy.crn") {
    EXPECT_TRUE(CopyFileW(testing::Wide(dir_.Path("snapshots.crn")).c_str(), testing::Wide(copy_).c_str(), FALSE));
    SetEnvironmentVariableW(setting, std::to_wstring(n).c_str());
    const DWORD code = RunCn(arguments, testing::Wide(dir_.Path("")), errors);
    SetEnvironmentVariableW(setting, nullptr);
    return code;
  }
  // The copy opens, walks soundly (an interrupted switch finished), and holds both earlier
  // snapshots as they were; it is left loaded. Opening it for writing cut the file back to the
  // end of what the walk reaches (past it, only bytes that are not zero are kept).
  void CheckCopy(uint64_t n) {
    {
      const uint64_t before = fs::file_size(copy_);
      std::unique_ptr<ArchiveHeap> heap;
      ASSERT_EQ(OpenArchive(PlatformFiles::Native(), copy_, false, true, &heap), S_OK) << "n " << n;
      ArchiveVisitor quiet;
      ASSERT_EQ(WalkArchive(*heap, quiet), S_OK) << "n " << n;
      uint32_t end = 0;
      ASSERT_EQ(FindLogicalEnd(*heap, &end), S_OK) << "n " << n;
      const uint32_t size = heap->DataSize();
      EXPECT_TRUE(size == end || (size > end && heap->Resolve(size - 1)[0] != 0)) << "n " << n;
      EXPECT_EQ(heap->MappedSize(), size) << "n " << n;
      cuts_ += before > size;
      FreeSpaceReport report;
      ASSERT_EQ(heap->FreeSpace(&report), S_OK) << "n " << n;
      EXPECT_EQ(heap->HeaderField(header::kReserved), 0u) << "an interrupted switch is finished on opening";
    }
    archive_ = testing::LoadArchive(copy_);
    ASSERT_TRUE(archive_);
    ASSERT_EQ(archive_.As(&admin_), S_OK);
    ASSERT_EQ(Tree(1), first_) << "n " << n;
    ASSERT_EQ(Tree(2), second_) << "n " << n;
  }
  void CheckThird() {
    auto third = Tree(3);
    EXPECT_EQ(third[L"deep\\data.bin"], data_);
    EXPECT_EQ(third.count(L"deep\\gone.txt"), 0u);
    EXPECT_EQ(third.count(L"new\\fresh.txt"), 1u);
  }

  // The tree on disk as Tree shows a snapshot of it.
  std::map<std::wstring, std::string> DiskTree() const {
    std::map<std::wstring, std::string> tree{{L".", "<dir>"}};
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root_)) {
      std::wstring relative = entry.path().lexically_relative(root_).wstring();
      for (wchar_t& c : relative)
        if (c == L'/') c = L'\\';
      tree[relative] = entry.is_directory() ? "<dir>" : testing::ReadFileBytes(entry.path().u8string());
    }
    return tree;
  }
  // Bytes of the copy that nothing in it covers, read as it lies, without the repairs of an open
  // for writing; -1 for a copy that is damaged.
  int64_t Unreachable() {
    std::unique_ptr<ArchiveHeap> heap;
    ArchiveCoverage coverage;
    if (ArchiveHeap::Open(PlatformFiles::Native(), copy_, false, false, &heap) != S_OK ||
        MapCoverage(*heap, &coverage) != S_OK || !coverage.overlaps.empty())
      return -1;
    return static_cast<int64_t>(coverage.GapBytes() + (heap->DataSize() - coverage.logicalEnd));
  }
  // The newest live snapshot of the copy, loaded for reading, as Tree shows it.
  std::map<std::wstring, std::string> LatestTree() {
    archive_ = testing::LoadArchive(copy_, STGM_READ);
    std::map<std::wstring, std::string> tree;
    ComPtr<IEnumSnapShots> snapshots;
    ComPtr<ICairnSnapShot> latest;
    LONG number = 0;
    if (archive_ && SUCCEEDED(archive_->EnumSnapShots(0, snapshots.Out())) &&
        snapshots->Last(1, latest.Out()) == S_OK && SUCCEEDED(latest->GetSnapShot(&number)))
      tree = Tree(number);
    archive_.Reset();
    return tree;
  }

  // What stopping cn at its stop points did to the snapshot after it.
  struct Sweep {
    int stops = 0;    // points at which cn was stopped
    int hidden = 0;   // after which the next cn did not record the tree on disk
    int leaking = 0;  // after which the archive held bytes that nothing covers
    int64_t leaked = 0;
  };
  // Stops cn (with the arguments) before its n-th change to the archive, for n from 1 on until it
  // completes; after each stop, runs cn again and compares the newest snapshot with the disk.
  Sweep SweepStopPoints(const wchar_t* arguments) {
    Sweep sweep;
    const std::map<std::wstring, std::string> disk = DiskTree();
    bool completed = false;
    for (uint64_t n = 1; !completed && n < 1000000; n += 1 + n / 40) {
      DWORD code = RunOnCopy(L"CAIRN_TEST_STOP_AFTER", n, nullptr, arguments);
      EXPECT_TRUE(code == 99 || code == 1) << "n " << n << " exit code " << code;
      completed = code == 1;
      if (!completed) {
        ++sweep.stops;
        code = RunCn(arguments, testing::Wide(dir_.Path("")));
        EXPECT_TRUE(code == 1 || code == 0) << "n " << n << " exit code " << code;
      }
      // A run stopped after linking its snapshot leaves the next one nothing to record.
      const bool hidden = LatestTree() != disk;
      const int64_t unreachable = Unreachable();
      EXPECT_GE(unreachable, 0) << "n " << n << ": the archive is damaged";
      sweep.hidden += hidden;
      sweep.leaking += unreachable != 0;
      sweep.leaked += std::max<int64_t>(unreachable, 0);
    }
    EXPECT_TRUE(completed);
    std::printf("%d stop points: after %d the change was hidden, after %d %lld bytes were unreachable\n",
                sweep.stops, sweep.hidden, sweep.leaking, static_cast<long long>(sweep.leaked));
    return sweep;
  }

  std::mt19937 random_{7};
  int cuts_ = 0;  // copies that the next open cut back
  std::map<std::wstring, std::string> first_, second_;
  std::string data_;
  const std::string copy_ = dir_.Path("copy.crn");
};

// A snapshot stopped at any point, as if the process had been killed there, leaves an archive
// that opens, walks soundly, and restores every snapshot recorded before it.
TEST_F(InterruptedSnapshotTest, AStoppedSnapshotLosesNothingRecordedBefore) {
  int stopped = 0;
  bool completed = false;
  for (uint64_t n = 1; !completed && n < 1000000; n += n < 200 ? 1 + n / 20 : n / 5) {
    const DWORD code = RunOnCopy(L"CAIRN_TEST_STOP_AFTER", n);
    ASSERT_TRUE(code == 99 || code == 1) << "n " << n << " exit code " << code;
    completed = code == 1;
    stopped += code == 99;
    ASSERT_NO_FATAL_FAILURE(CheckCopy(n));
    if (completed) CheckThird();
    archive_.Reset();
    admin_.Reset();
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(stopped, 50) << "stopped at many points";
  EXPECT_GT(cuts_, 0) << "a stopped process leaves the file longer than its archive";
  std::printf("stopped at %d points before the snapshot completed; %d files cut back\n", stopped, cuts_);
}

// The disk fills up at any growth of the archive during the snapshot and stays full. The
// snapshot is recorded whole or fails with nothing recorded, never answering that nothing had
// changed; and once there is room again, the next snapshot takes what the failed one could not.
TEST_F(InterruptedSnapshotTest, AFullDiskLosesNothingRecordedBefore) {
  Write("new/large.txt", Bytes(200000));  // more than the free space: the archive must grow
  int refused = 0;
  bool completed = false;
  for (uint64_t n = 1; !completed && n < 1000000; n += n < 100 ? 1 : n / 10) {
    std::string errors;
    const DWORD code = RunOnCopy(L"CAIRN_TEST_FAIL_GROWTH", n, &errors);
    const bool full = errors.find("growth refused") != std::string::npos;
    completed = !full;
    refused += full;
    ASSERT_TRUE(code == 1 || (full && code == static_cast<DWORD>(-1)))
        << "n " << n << " exit code " << code << ", standard error: " << errors;
    ASSERT_NO_FATAL_FAILURE(CheckCopy(n));
    if (code == 1) {
      CheckThird();
    } else {
      {
        ComPtr<IEnumSnapShots> snapshots;
        ComPtr<ICairnSnapShot> last;
        ASSERT_EQ(archive_->EnumSnapShots(0, snapshots.Out()), S_OK);
        ASSERT_EQ(snapshots->Last(3, last.Out()), S_OK);
        LONG number = 0;
        last->GetSnapShot(&number);
        EXPECT_EQ(number, 2) << "n " << n << ": nothing recorded";
      }
      // Room again (checked at some points): the next snapshot completes what this one could
      // not. The archive is released first, or cn would find this process's object in the
      // Running Object Table.
      archive_.Reset();
      admin_.Reset();
      if (refused % 5 == 1) {
        ASSERT_EQ(RunCn(L"/a new copy.crn", testing::Wide(dir_.Path(""))), 1u) << "n " << n;
        ASSERT_NO_FATAL_FAILURE(CheckCopy(n));
        CheckThird();
      }
    }
    archive_.Reset();
    admin_.Reset();
  }
  EXPECT_TRUE(completed);
  EXPECT_GE(refused, 25) << "the disk filled up at many points";
  std::printf("the disk filled up at %d points before the snapshot completed\n", refused);
}


// The snapshot's last flush fails: cn says the snapshot failed, and the archive is as after a
// snapshot stopped at its end: sound, both earlier snapshots whole, no bytes lost, and the next
// snapshot leaves the tree on disk recorded (nothing hidden).
TEST_F(InterruptedSnapshotTest, AFailedFlushFailsTheSnapshotAndLeavesTheArchiveSound) {
  const std::map<std::wstring, std::string> disk = DiskTree();
  std::string errors;
  EXPECT_EQ(RunOnCopy(L"CAIRN_TEST_FAIL_FLUSH", 1, &errors), static_cast<DWORD>(-1)) << errors;
  EXPECT_NE(errors.find("Failed to create snapshot"), std::string::npos) << errors;
  ASSERT_NO_FATAL_FAILURE(CheckCopy(1));
  archive_.Reset();
  admin_.Reset();
  EXPECT_EQ(Unreachable(), 0);
  const DWORD next = RunCn(L"/a new copy.crn", testing::Wide(dir_.Path("")));
  EXPECT_TRUE(next == 0 || next == 1) << next;
  EXPECT_EQ(LatestTree(), disk);
  EXPECT_EQ(Unreachable(), 0);
}

// Stopped at any point and started again, cn records every change the stopped run had already
// stored, however deep in the tree, and the archive keeps no bytes that nothing covers.
TEST_F(InterruptedSnapshotTest, AfterAStopTheNextSnapshotRecordsEveryChangeAndNothingIsLost) {
  {
    SCOPED_TRACE("only a file inside a folder changed");
    Write("deep/gone.txt", "soon gone");
    fs::remove_all(root_ / "new");
    const Sweep sweep = SweepStopPoints(L"copy.crn");
    EXPECT_GT(sweep.stops, 50);
    EXPECT_EQ(sweep.hidden, 0);
    EXPECT_EQ(sweep.leaking, 0);
  }
  {
    SCOPED_TRACE("files added and deleted as well");
    fs::remove(root_ / "deep" / "gone.txt");
    Write("new/fresh.txt", Bytes(12000));
    const Sweep sweep = SweepStopPoints(L"/a new copy.crn");
    EXPECT_GT(sweep.stops, 50);
    EXPECT_EQ(sweep.hidden, 0);
    EXPECT_EQ(sweep.leaking, 0);
  }
}

// Large contents are compressed, and older revisions rebuilt, by the worker pool while cn writes
// the records in order. Stopped at any point of such a snapshot, the archive keeps every earlier
// snapshot, the large file's older revision included, and the next cn records the disk.
TEST_F(InterruptedSnapshotTest, AStoppedPooledSnapshotLosesNothing) {
  std::string large = Bytes(3u << 19);
  Write("large/edited.bin", large);
  ASSERT_EQ(RunCn(L"snapshots.crn", testing::Wide(dir_.Path(""))), 1u);
  ASSERT_TRUE(CopyFileW(testing::Wide(dir_.Path("snapshots.crn")).c_str(), testing::Wide(copy_).c_str(), FALSE));
  const std::map<std::wstring, std::string> third = LatestTree();
  ASSERT_EQ(third.at(L"large\\edited.bin"), large);

  // Edits across the large file, and a new one as large: both go through the pool.
  large.replace(100000, 300, Bytes(300));
  large.insert(700000, Bytes(5000));
  large.erase(1200000, 9000);
  Write("large/edited.bin", large);
  Write("large/new.bin", Bytes(5u << 18));
  const std::map<std::wstring, std::string> disk = DiskTree();

  int stops = 0;
  bool completed = false;
  for (uint64_t n = 1; !completed && n < 1000000; n += 1 + n / 8) {
    DWORD code = RunOnCopy(L"CAIRN_TEST_STOP_AFTER", n, nullptr, L"copy.crn");
    ASSERT_TRUE(code == 99 || code == 1) << "n " << n << " exit code " << code;
    completed = code == 1;
    stops += code == 99;
    ASSERT_NO_FATAL_FAILURE(CheckCopy(n));
    EXPECT_EQ(Tree(3), third) << "n " << n;
    archive_.Reset();
    admin_.Reset();
    if (!completed) {
      code = RunCn(L"copy.crn", testing::Wide(dir_.Path("")));
      EXPECT_TRUE(code == 1 || code == 0) << "n " << n << " exit code " << code;
    }
    EXPECT_TRUE(LatestTree() == disk) << "n " << n;
    EXPECT_EQ(Unreachable(), 0) << "n " << n;
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(stops, 20) << "stopped at many points";
  std::printf("stopped at %d points of a pooled snapshot\n", stops);
}

// Snapshots by cn of an archive on a real disk of 4 MiB, which the full-disk script mounts and
// names in CAIRN_FULL_DISK_DIR; the tree lies elsewhere.
class FullDiskTest : public SnapshotTest {
 protected:
  void SetUp() override {
    SnapshotTest::SetUp();
    archive_.Reset();
    admin_.Reset();
    const char* folder = std::getenv("CAIRN_FULL_DISK_DIR");
    if (folder == nullptr || *folder == '\0') CAIRN_SKIP_WITHOUT("the disk that the full-disk script mounts");
    archivePath_ = testing::Wide(folder) + L"\\full.crn";
    DeleteFileW(archivePath_.c_str());
  }
  void TearDown() override {
    archive_.Reset();
    DeleteFileW(archivePath_.c_str());
  }
  std::string Random(size_t n) {
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random_());
    return bytes;
  }
  DWORD Cn(const std::wstring& arguments, std::string* errors = nullptr) {
    return RunCn(arguments + L" \"" + archivePath_ + L"\"", Path(), errors);
  }

  std::wstring archivePath_;
  std::mt19937 random_{11};
};

// A snapshot of more than the room left fails, gives back what it had written before the disk
// filled up, keeps the earlier snapshot, and the next small snapshot fits.
TEST_F(FullDiskTest, AFailedSnapshotGivesBackWhatItWrote) {
  Write("small/a.txt", Random(1000));
  ASSERT_EQ(Cn(L"/c /a small"), 1u);
  const uint64_t before = fs::file_size(archivePath_);
  for (const char* name : {"big/1.bin", "big/2.bin", "big/3.bin"}) Write(name, Random(2000000));
  std::string errors;
  ASSERT_EQ(Cn(L"/a big", &errors), static_cast<DWORD>(-1));
  EXPECT_NE(errors.find("Failed to create snapshot for"), std::string::npos) << errors;

  {
    std::unique_ptr<ArchiveHeap> heap;
    ArchiveCoverage coverage;
    ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), fs::path(archivePath_).u8string(), false, false, &heap), S_OK);
    ASSERT_EQ(MapCoverage(*heap, &coverage), S_OK);
    const uint64_t unreachable = coverage.GapBytes() + (heap->DataSize() - coverage.logicalEnd);
    std::printf("after the failed snapshot: %llu bytes unreachable, the file grew by %llu bytes\n",
                static_cast<unsigned long long>(unreachable),
                static_cast<unsigned long long>(fs::file_size(archivePath_) - before));
    EXPECT_LE(unreachable, 4096u);
  }
  Write("small/a.txt", Random(3000));
  ASSERT_EQ(Cn(L""), 1u) << "the next snapshot fits";

  archive_ = testing::LoadArchive(fs::path(archivePath_).u8string(), STGM_READ);
  ASSERT_TRUE(archive_);
  EXPECT_EQ(Tree(1).size(), 2u);
  auto second = Tree(2);
  EXPECT_EQ(second.count(L"big"), 0u);
  EXPECT_EQ(second[L"small\\a.txt"], testing::ReadFileBytes((root_ / "small" / "a.txt").u8string()));
}

}  // namespace
}  // namespace cairn
