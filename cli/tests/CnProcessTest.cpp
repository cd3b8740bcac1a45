// cn run as a process: usage and exit codes, opening and creating archives, the clean-up of a
// lost archive's scheduled job, and the snapshot run against an archive object that another
// process has registered in the Running Object Table.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "ScheduledJob.h"
#include "CnProcess.h"
#include "CommandLine.h"
#include "ComPtr.h"
#include "cairn.h"

namespace cairn {
namespace {


class CnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    dir_ = std::wstring(base) + L"cn-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
  }
  void TearDown() override {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir_ + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do DeleteFileW((dir_ + L"\\" + found.cFileName).c_str());
      while (FindNextFileW(find, &found));
      FindClose(find);
    }
    RemoveDirectoryW(dir_.c_str());
  }
  std::wstring Path(const wchar_t* name) const { return dir_ + L"\\" + name; }
  static DWORD FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : kFailed;
  }
  std::wstring dir_;
};

TEST_F(CnTest, InvalidCommandLinesPrintTheUsageAndFail) {
  const std::string usage = cn::UsageText("cn.exe");
  for (const wchar_t* arguments : {L"", L"x.crn /n", L"/L x.crn", L"/vv x.crn", L"/a", L"/c /v", L"@missing.txt x.crn"}) {
    CnRun run = RunCn(arguments, dir_);
    EXPECT_EQ(run.exitCode, kFailed) << "arguments: " << std::string(arguments, arguments + wcslen(arguments));
    EXPECT_EQ(run.err, usage);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(FileSize(Path(L"x.crn")), kFailed) << "no archive is touched";
}

TEST_F(CnTest, MissingArchiveFailsAndLosesItsScheduledJob) {
  const std::wstring archive = Path(L"missing.crn");
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring tasks = std::wstring(windows) + L"\\Tasks";
  CreateDirectoryW(tasks.c_str(), nullptr);
  const std::wstring job = tasks + L"\\" + ScheduledJobName(archive);
  HANDLE file = CreateFileW(job.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);

  CnRun run = RunCn(L"/v missing.crn", dir_);
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_EQ(run.err, "Failed to open/create missing.crn\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(FileSize(archive), kFailed) << "not created without /c";
  EXPECT_EQ(GetFileAttributesW(job.c_str()), INVALID_FILE_ATTRIBUTES) << "the job is gone";

  // The first archive that fails ends the run: the one behind it is not created.
  run = RunCn(L"/c /v missing\\a.crn b.crn", dir_);
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_EQ(run.err, "Failed to open/create missing\\a.crn\n");
  EXPECT_EQ(FileSize(Path(L"b.crn")), kFailed);
}

TEST_F(CnTest, CreateMakesANewArchiveAndSnapshotsAFolder) {
  CnRun run = RunCn(L"/c /v new.crn", dir_);
  // The record of the snapshot that was not needed was freed at the archive's end, which it left.
  EXPECT_EQ(FileSize(Path(L"new.crn")), 32u);
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, "new.crn: No new snapshot required\n");

  ASSERT_TRUE(CreateDirectoryW(Path(L"docs").c_str(), nullptr));
  HANDLE file = CreateFileW(Path(L"docs\\a.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "text", 4, &written, nullptr);
  CloseHandle(file);
  run = RunCn(L"/v /n Daily /a docs new.crn", dir_);
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_EQ(run.out, "new.crn: Created Snapshot 'Daily;1'\n");
  run = RunCn(L"/v new.crn", dir_);
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, "new.crn: No new snapshot required\n");
  DeleteFileW(Path(L"docs\\a.txt").c_str());
  RemoveDirectoryW(Path(L"docs").c_str());
}

// Scheduled snapshots may run where no window can be shown (under Wine: no display at all). The
// progress window is then never made; the snapshot is taken all the same and still counts.
TEST_F(CnTest, ASnapshotNeedsNoWindow) {
  ASSERT_TRUE(CreateDirectoryW(Path(L"docs").c_str(), nullptr));
  for (const wchar_t* name : {L"docs\\a.txt", L"docs\\b.txt"}) {
    HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, name, 8, &written, nullptr);
    CloseHandle(file);
  }
  wchar_t display[256] = {};
  const DWORD hadDisplay = GetEnvironmentVariableW(L"DISPLAY", display, 256);
  SetEnvironmentVariableW(L"DISPLAY", nullptr);
  const CnRun run = RunCn(L"/c /v /a docs hidden.crn", dir_);
  if (hadDisplay != 0) SetEnvironmentVariableW(L"DISPLAY", display);
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_EQ(run.out, "hidden.crn: Created Snapshot 'Snapshot;1'\n");

  // The archive header: the options at 16 (the window still to be dismissed automatically), and
  // at 24 the count of objects the snapshot processed (the folder and its two files).
  HANDLE file = CreateFileW(Path(L"hidden.crn").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  uint32_t header[7] = {};
  DWORD read = 0;
  ReadFile(file, header, sizeof header, &read, nullptr);
  CloseHandle(file);
  EXPECT_EQ(header[4], 7u);
  EXPECT_EQ(header[6], 3u);
  DeleteFileW(Path(L"docs\\a.txt").c_str());
  DeleteFileW(Path(L"docs\\b.txt").c_str());
  RemoveDirectoryW(Path(L"docs").c_str());
}

TEST(JobNameTest, FollowsThePath) {
  EXPECT_EQ(ScheduledJobName(L"C:\\Data\\home.crn"), L"C--Data-home.crn.job");
  EXPECT_EQ(ScheduledJobName(L"\\\\server\\share\\a.crn"), L"--server-share-a.crn.job");
  EXPECT_EQ(ScheduledJobName(L"D:\\Work\\Report.crn"), L"D--Work-Report.crn.job");
  EXPECT_EQ(ScheduledJobName(L""), L".job");
}

// An archive object that records the snapshot it is asked for and answers as it is told.
class FakeArchive final : public ICairnArchive, public ICairnSnapShot {
 public:
  HRESULT answer = S_FALSE;
  std::wstring name;
  std::vector<std::wstring> adds, deletes;
  int calls = 0;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ICairnArchive)
      *out = static_cast<ICairnArchive*>(this);
    else if (iid == IID_ICairnSnapShot)
      *out = static_cast<ICairnSnapShot*>(this);
    else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  STDMETHODIMP EnumSnapShots(ULONG, IEnumSnapShots**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateSnapShot(BSTR snapshotName, SAFEARRAY* addObjects, SAFEARRAY* deleteObjects,
                              ICairnSnapShot** snapshot) override {
    ++calls;
    name = snapshotName != nullptr ? snapshotName : L"";
    adds = Items(addObjects);
    deletes = Items(deleteObjects);
    *snapshot = nullptr;
    if (answer == S_OK) {
      *snapshot = static_cast<ICairnSnapShot*>(this);
      AddRef();
    }
    return answer;
  }
  STDMETHODIMP DeleteSnapShot(BSTR) override { return E_NOTIMPL; }

  STDMETHODIMP GetSnapShot(LONG* number) override {
    *number = 7;
    return S_OK;
  }
  STDMETHODIMP GetName(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetName(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP SetComment(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP GetComment(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumCairnObjects(ULONG, IEnumCairnObjects**) override { return E_NOTIMPL; }
  STDMETHODIMP GetCreationTime(ULONG*, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP GetOptions(LONG*) override { return E_NOTIMPL; }

 private:
  static std::vector<std::wstring> Items(SAFEARRAY* array) {
    std::vector<std::wstring> items;
    LONG low = 0, high = -1;
    if (array == nullptr || SafeArrayGetLBound(array, 1, &low) != S_OK || SafeArrayGetUBound(array, 1, &high) != S_OK)
      return items;
    for (LONG i = low; i <= high; ++i) {
      BSTR item = nullptr;
      if (SafeArrayGetElement(array, &i, &item) == S_OK) items.push_back(item != nullptr ? item : L"");
      SysFreeString(item);
    }
    return items;
  }
  ULONG refs_ = 1;
};

// The archive file need not exist: cn uses the object registered under its name.
TEST_F(CnTest, SnapshotRunUsesTheRunningObject) {
  const std::wstring archivePath = Path(L"running.crn");
  FakeArchive fake;
  ComPtr<IRunningObjectTable> rot;
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(GetRunningObjectTable(0, rot.Out()), S_OK);
  ASSERT_EQ(CreateFileMoniker(archivePath.c_str(), moniker.Out()), S_OK);
  // The registration is weak: once a client from another process lets go of the object, its
  // marshalled entry is stale. Register afresh for each run.
  DWORD cookie = 0;
  auto publish = [&] {
    if (cookie != 0) rot->Revoke(cookie);
    ASSERT_EQ(rot->Register(0, static_cast<ICairnArchive*>(&fake), moniker.Get(), &cookie), S_OK);
  };
  publish();

  CnRun run = RunCn(L"/v /n Autosnap /a docs /d old\\notes.txt /a C:\\other running.crn", dir_);
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, "running.crn: No new snapshot required\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(fake.calls, 1);
  EXPECT_EQ(fake.name, L"Autosnap");
  EXPECT_EQ(fake.adds, (std::vector<std::wstring>{Path(L"docs"), L"C:\\other"}));
  EXPECT_EQ(fake.deletes, (std::vector<std::wstring>{Path(L"old\\notes.txt")}));

  // Without /v nothing is said; a new snapshot makes the exit code 1.
  publish();
  run = RunCn(L"running.crn", dir_);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.out, "");
  fake.answer = S_OK;
  publish();
  run = RunCn(L"-v -n Autosnap running.crn", dir_);
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_EQ(run.out, "running.crn: Created Snapshot 'Autosnap;7'\n");
  EXPECT_EQ(fake.name, L"Autosnap");
  EXPECT_TRUE(fake.adds.empty());

  fake.answer = E_FAIL;
  publish();
  run = RunCn(L"/v running.crn", dir_);
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_EQ(run.err, "Failed to create snapshot for running.crn\n");
  EXPECT_EQ(fake.name, L"Snapshot") << "the default name";
  EXPECT_EQ(FileSize(archivePath), kFailed) << "never loaded from disk";
  rot->Revoke(cookie);
}

}  // namespace
}  // namespace cairn

