// CairnArchive through the component system: loading, the Running Object Table, options,
// free-space details, deleting snapshots, and automation calls.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <thread>

#include "ArchiveHeap.h"
#include "ArchiveOpen.h"
#include "ArchiveRecords.h"
#include "ByteOrder.h"
#include "ComPtr.h"
#include "EngineFixture.h"
#include "SampleArchive.h"
#include "TempDir.h"
#include "cairn.h"

namespace cairn {
namespace {

using testing::ReadFileBytes;
using testing::Wide;

class ArchiveObjectTest : public ::testing::Test {
 protected:
  static ComPtr<IPersistFile> NewArchive() {
    ComPtr<IPersistFile> file;
    HRESULT hr = CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                                  file.OutVoid());
    EXPECT_EQ(hr, S_OK) << std::hex << hr;
    return file;
  }
  // Writes the sample archive (two snapshots, three free blocks) at path with the core.
  static void WriteSample(const std::string& path) {
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path, true, true, &heap), S_OK);
    ASSERT_TRUE(testing::BuildSampleArchive(*heap));
  }
  static bool IsRunning(const std::wstring& path) {
    ComPtr<IRunningObjectTable> rot;
    ComPtr<IMoniker> moniker;
    if (FAILED(GetRunningObjectTable(0, rot.Out())) || FAILED(CreateFileMoniker(path.c_str(), moniker.Out())))
      return false;
    return rot->IsRunning(moniker.Get()) == S_OK;
  }
  testing::TempDir dir_;
};

TEST_F(ArchiveObjectTest, LoadCreatesTheArchiveAndRegistersIt) {
  const std::string path = dir_.Path("new.crn");
  const std::wstring wide = Wide(path);
  ComPtr<IPersistFile> first = NewArchive();
  ASSERT_EQ(first->Load(wide.c_str(), STGM_CREATE | STGM_READWRITE), S_OK);
  EXPECT_EQ(ReadFileBytes(path).size(), 32u);
  EXPECT_TRUE(IsRunning(wide));

  // One writer at a time: a second object cannot write the file, but it can read it. A reader
  // is not registered: a writer that found it there could not write through it.
  ComPtr<IPersistFile> second = NewArchive();
  HRESULT hr = second->Load(wide.c_str(), STGM_CREATE | STGM_READWRITE);
  EXPECT_EQ(hr, STG_E_SHAREVIOLATION) << std::hex << hr;
  second = NewArchive();
  hr = second->Load(wide.c_str(), STGM_READ);
  EXPECT_EQ(hr, S_OK) << std::hex << hr;

  // A client finds the running object through the table.
  ComPtr<IRunningObjectTable> rot;
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(GetRunningObjectTable(0, rot.Out()), S_OK);
  ASSERT_EQ(CreateFileMoniker(wide.c_str(), moniker.Out()), S_OK);
  ComPtr<IUnknown> running;
  ASSERT_EQ(rot->GetObject(moniker.Get(), running.Out()), S_OK);
  ComPtr<ICairnArchiveAdmin> admin;
  ASSERT_EQ(running.As(&admin), S_OK);
  LONG options = -1;
  EXPECT_EQ(admin->GetOptions(&options), S_OK);
  EXPECT_EQ(options, 7);

  running.Reset();
  admin.Reset();
  first.Reset();
  EXPECT_FALSE(IsRunning(wide)) << "the released writer revokes its registration, and the reader has none";
  second.Reset();
  EXPECT_EQ(testing::CallEngine("DllCanUnloadNow"), S_OK);
  // Nothing holds the file any more.
  EXPECT_TRUE(DeleteFileW(wide.c_str()));
}

TEST_F(ArchiveObjectTest, LoadFailuresRegisterNothing) {
  struct Case {
    const char* name;
    std::string bytes;  // nullopt-like: "-" means the file does not exist
    DWORD mode;
    HRESULT expected;
  } cases[] = {
      {"missing.crn", "-", STGM_READWRITE, E_FAIL},
      {"empty.crn", "", STGM_READWRITE, E_ACCESSDENIED},
      {"text.crn", "this is not an archive, just some text", STGM_CREATE | STGM_READWRITE, E_ACCESSDENIED},
      {"short.exe", "MZ", STGM_READWRITE, E_FAIL},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.Path(c.name);
    if (c.bytes != "-") {
      ASSERT_TRUE(testing::WriteFileBytes(path, c.bytes));
    }
    ComPtr<IPersistFile> file = NewArchive();
    HRESULT hr = file->Load(Wide(path).c_str(), c.mode);
    EXPECT_EQ(hr, c.expected) << c.name << " got " << std::hex << hr;
    EXPECT_FALSE(IsRunning(Wide(path))) << c.name;
    if (c.bytes != "-") {
      EXPECT_EQ(ReadFileBytes(path), c.bytes) << c.name << " must stay untouched";
    }
  }
  EXPECT_EQ(GetFileAttributesW(Wide(dir_.Path("missing.crn")).c_str()), INVALID_FILE_ATTRIBUTES);
}

// The refusal of a newer archive is the engine's one message box: read it and close it.
TEST_F(ArchiveObjectTest, NewerVersionIsRefusedWithTheMessage) {
  const std::string path = dir_.Path("newer.crn");
  std::string bytes(32, '\0');
  StoreLE32(reinterpret_cast<uint8_t*>(&bytes[0]), 12);
  ASSERT_TRUE(testing::WriteFileBytes(path, bytes));

  std::atomic<bool> done{false};
  std::wstring caption, text;
  std::thread watcher([&] {
    for (int i = 0; i < 200 && !done; ++i) {
      HWND box = FindWindowW(L"#32770", L"Error opening...");
      if (box != nullptr) {
        wchar_t buffer[512] = {};
        GetWindowTextW(box, buffer, 512);
        caption = buffer;
        // The text is the dialog's static control (id 0xFFFF in message boxes).
        GetDlgItemTextW(box, 0xFFFF, buffer, 512);
        text = buffer;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(50);
    }
  });
  ComPtr<IPersistFile> file = NewArchive();
  HRESULT hr = file->Load(Wide(path).c_str(), STGM_CREATE | STGM_READWRITE);
  done = true;
  watcher.join();
  EXPECT_EQ(hr, E_FAIL) << std::hex << hr;
  EXPECT_EQ(caption, L"Error opening...");
  EXPECT_EQ(text,
            L"This archive was created with a newer version of Cairn. You will need to upgrade to use or view the "
            L"contents of this archive.");
  EXPECT_EQ(ReadFileBytes(path), bytes);
}

TEST_F(ArchiveObjectTest, PersistFileAnswers) {
  ComPtr<IPersistFile> file = NewArchive();
  CLSID clsid = {};
  EXPECT_EQ(file->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_CairnArchive));
  EXPECT_EQ(file->IsDirty(), S_FALSE);
  EXPECT_EQ(file->Save(nullptr, TRUE), S_OK);
  EXPECT_EQ(file->SaveCompleted(nullptr), S_OK);
  LPOLESTR name = reinterpret_cast<LPOLESTR>(0xdeadbeef);
  EXPECT_EQ(file->GetCurFile(&name), E_FAIL);
  EXPECT_EQ(name, nullptr);

  ComPtr<ICairnArchiveAdmin> admin;
  ASSERT_EQ(file.As(&admin), S_OK);
  LONG options = 99;
  EXPECT_EQ(admin->GetOptions(&options), E_UNEXPECTED) << "nothing loaded yet";
  EXPECT_EQ(admin->SetOptions(1), E_UNEXPECTED);
  EXPECT_EQ(admin->GetOptions(nullptr), E_POINTER);

  const std::wstring path = Wide(dir_.Path("a.crn"));
  ASSERT_EQ(file->Load(path.c_str(), STGM_CREATE | STGM_READWRITE), S_OK);
  EXPECT_EQ(file->Load(path.c_str(), STGM_READWRITE), E_UNEXPECTED) << "one archive per object";
}

TEST_F(ArchiveObjectTest, OptionsAndFreeSpace) {
  const std::string path = dir_.Path("sample.crn");
  WriteSample(path);
  {
    ComPtr<IPersistFile> file = NewArchive();
    ASSERT_EQ(file->Load(Wide(path).c_str(), STGM_READWRITE), S_OK);
    ComPtr<ICairnArchiveAdmin> admin;
    ASSERT_EQ(file.As(&admin), S_OK);
    LONG free = -1, largest = -1, smallest = -1, segments = -1;
    ASSERT_EQ(admin->GetArchiveDetails(&free, &largest, &smallest, &segments), S_OK);
    EXPECT_EQ(free, 104);
    EXPECT_EQ(largest, 64);
    EXPECT_EQ(smallest, 16);
    EXPECT_EQ(segments, 3);
    EXPECT_EQ(admin->GetArchiveDetails(&free, nullptr, &smallest, &segments), E_POINTER);

    // Stored as given, unknown bits included.
    ASSERT_EQ(admin->SetOptions(0x1234), S_OK);
    LONG options = 0;
    ASSERT_EQ(admin->GetOptions(&options), S_OK);
    EXPECT_EQ(options, 0x1234);
  }
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), path, false, false, &heap), S_OK);
  EXPECT_EQ(heap->HeaderField(header::kOptions), 0x1234u);
}

TEST_F(ArchiveObjectTest, ReadOnlyLoadRefusesChanges) {
  const std::string path = dir_.Path("ro.crn");
  WriteSample(path);
  const std::string before = ReadFileBytes(path);
  ComPtr<IPersistFile> file = NewArchive();
  ASSERT_EQ(file->Load(Wide(path).c_str(), STGM_READ), S_OK);
  ComPtr<ICairnArchive> archive;
  ComPtr<ICairnArchiveAdmin> admin;
  ASSERT_EQ(file.As(&archive), S_OK);
  ASSERT_EQ(file.As(&admin), S_OK);
  EXPECT_EQ(admin->SetOptions(0), E_ACCESSDENIED);
  BSTR name = SysAllocString(L"Autosnap;2");
  EXPECT_EQ(archive->DeleteSnapShot(name), E_ACCESSDENIED);
  SysFreeString(name);
  file.Reset();
  archive.Reset();
  admin.Reset();
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(ArchiveObjectTest, DeleteSnapShotMarksTheOldestOfThatNameInAnyCase) {
  const std::string path = dir_.Path("delete.crn");
  WriteSample(path);
  {
    // A third snapshot with the same stored name as the second.
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path, false, true, &heap), S_OK);
    testing::ArchiveBuilder builder(*heap);
    heap->SetHeaderField(header::kNextSnapshotNumber, 2);
    ASSERT_NE(builder.Snapshot("Autosnap", 0x11), 0u);
  }
  ComPtr<IPersistFile> file = NewArchive();
  ASSERT_EQ(file->Load(Wide(path).c_str(), STGM_READWRITE), S_OK);
  ComPtr<ICairnArchive> archive;
  ASSERT_EQ(file.As(&archive), S_OK);
  for (const wchar_t* name : {L"AUTOSNAP;2", L"no such snapshot", L"", L"Autosnap"}) {
    BSTR text = SysAllocString(name);
    EXPECT_EQ(archive->DeleteSnapShot(text), S_OK);
    SysFreeString(text);
  }
  EXPECT_EQ(archive->DeleteSnapShot(nullptr), S_OK);
  file.Reset();
  archive.Reset();

  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), path, false, false, &heap), S_OK);
  SnapshotRecord first(*heap, heap->HeaderField(header::kSnapshotList));
  SnapshotRecord second(*heap, first.Next());
  SnapshotRecord third(*heap, second.Next());
  EXPECT_EQ(first.Flags(), 0x12u) << "already deleted: unchanged";
  EXPECT_EQ(second.Flags(), 0x16u) << "live turned off, deleted on, the rest kept";
  EXPECT_EQ(third.Flags(), 0x11u) << "only the oldest of the name";
}

// Automation clients reach the same methods through IDispatch::Invoke.
TEST_F(ArchiveObjectTest, InvokeSetsAndGetsOptions) {
  ComPtr<IPersistFile> file = NewArchive();
  ASSERT_EQ(file->Load(Wide(dir_.Path("dispatch.crn")).c_str(), STGM_CREATE | STGM_READWRITE), S_OK);
  ComPtr<ICairnArchiveAdmin> admin;
  ASSERT_EQ(file.As(&admin), S_OK);

  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_I4;
  argument.lVal = 0x0B;
  DISPPARAMS params = {&argument, nullptr, 1, 0};
  HRESULT hr = admin->Invoke(7, IID_NULL, 0x409, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  ASSERT_EQ(hr, S_OK) << std::hex << hr;

  LONG options = 0;
  VARIANT out;
  VariantInit(&out);
  out.vt = VT_BYREF | VT_I4;
  out.plVal = &options;
  DISPPARAMS getParams = {&out, nullptr, 1, 0};
  hr = admin->Invoke(8, IID_NULL, 0x409, DISPATCH_METHOD, &getParams, nullptr, nullptr, nullptr);
  ASSERT_EQ(hr, S_OK) << std::hex << hr;
  EXPECT_EQ(options, 0x0B);
  LONG direct = 0;
  ASSERT_EQ(admin->GetOptions(&direct), S_OK);
  EXPECT_EQ(direct, 0x0B);
}

}  // namespace
}  // namespace cairn
