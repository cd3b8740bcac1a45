// Items leaving an archive and files entering one, through the real interfaces under Wine: the
// item menu's Copy read by a paste in another process, the data object's list and files, its
// refusal of stored names that are no plain file names, Paste, the drop handler of archive files
// and of Send To, and a real drag from the archive view onto a window that takes drops.
#include "HostedViewSupport.h"
#include "WorkerSupport.h"

#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AnsiText.h"
#include "ArchiveHeap.h"
#include "ArchiveRecords.h"
#include "ArchiveWalk.h"
#include "CairnDropTarget.h"
#include "ViewResource.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

using browser::testing::AimAt;
using browser::testing::ArchiveFrameTest;
using browser::testing::DialogWatcher;
using browser::testing::WaitFor;
using browser::testing::WatcherWait;

std::string TempFolder() {
  char path[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, path);
  return path;
}
// Where the data object writes its files.
std::string TransferFolder() { return TempFolder() + "Cairn\\"; }

// The paths of a CF_HDROP medium, and its header's fields, or nothing when it has none.
struct FileList {
  std::vector<std::string> paths;
  DROPFILES header = {};
};
FileList ReadFileList(const STGMEDIUM& medium) {
  FileList list;
  if (medium.tymed != TYMED_HGLOBAL || medium.hGlobal == nullptr) return list;
  std::memcpy(&list.header, GlobalLock(medium.hGlobal), sizeof list.header);
  GlobalUnlock(medium.hGlobal);
  auto drop = static_cast<HDROP>(medium.hGlobal);
  for (UINT i = 0, n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i) {
    char path[MAX_PATH] = "";
    DragQueryFileA(drop, i, path, MAX_PATH);
    list.paths.push_back(path);
  }
  return list;
}

HRESULT GetFiles(IDataObject* data, FileList* list) {
  FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  const HRESULT hr = data->GetData(&files, &medium);
  if (SUCCEEDED(hr)) {
    *list = ReadFileList(medium);
    ReleaseStgMedium(&medium);
  }
  return hr;
}

HRESULT Invoke(IContextMenu* menu, UINT offset) {
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = MAKEINTRESOURCEA(offset);
  return menu->InvokeCommand(&info);
}

ComPtr<IContextMenu> MenuOf(IShellFolder* folder, LPCITEMIDLIST item) {
  ComPtr<IContextMenu> menu;
  EXPECT_EQ(S_OK, folder->GetUIObjectOf(nullptr, 1, &item, IID_IContextMenu, nullptr, menu.OutVoid()));
  return menu;
}

ComPtr<IDataObject> DataOf(IShellFolder* folder, LPCITEMIDLIST item) {
  ComPtr<IDataObject> data;
  const HRESULT hr = folder->GetUIObjectOf(nullptr, 1, &item, IID_IDataObject, nullptr, data.OutVoid());
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  return data;
}

// The drop handler as the shell makes it for a file that things are dropped on.
ComPtr<IDropTarget> DropHandler(const std::string& file) {
  ComPtr<IPersistFile> handler;
  ComPtr<IDropTarget> target;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_CairnDropTarget, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                                   handler.OutVoid()));
  if (handler && SUCCEEDED(handler->Load(FromAnsi(file).c_str(), STGM_READ))) handler.As(&target);
  return target;
}

class TransferTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ArchiveTest::SetUp();
  }
  void TearDown() override {
    OleSetClipboard(nullptr);
    OleUninitialize();
  }
  // Drops the files onto the target and waits for the worker it starts; the drop's result.
  HRESULT DropFiles(IDropTarget* target, IDataObject* data, DWORD* effect) {
    HRESULT hr = E_FAIL;
    const POINTL point = {10, 10};
    *effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_TRUE(StartedThreads([&] { hr = target->Drop(data, MK_LBUTTON, point, effect); }).End());
    return hr;
  }
};

TEST_F(TransferTest, CopiedFromTheArchiveRootAndPastedIntoAFolderByAnotherProcess) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList first = FindItem(root.Get(), "Snapshot;1");
  // At the root a snapshot stands for what it holds: its one folder, as the first snapshot had it.
  EXPECT_EQ(S_OK, Invoke(MenuOf(root.Get(), first.Get()).Get(), ID_COPY));
  const std::string pasted = Path("pasted");
  ASSERT_TRUE(CreateDirectoryA(pasted.c_str(), nullptr));
  EXPECT_EQ(0u, RunProgram("\"" + ModuleDirectory() + "\\pastefiles.exe\" \"" + pasted + "\"", ""));
  EXPECT_EQ("first report", cairn::testing::ReadFileBytes(pasted + "\\data\\docs\\report.cairntest"));
  EXPECT_EQ("deep", cairn::testing::ReadFileBytes(pasted + "\\data\\docs\\sub\\deep.bin"));
  EXPECT_EQ("notes", cairn::testing::ReadFileBytes(pasted + "\\data\\notes.cairntest"));
}

TEST_F(TransferTest, TheFilesAreWrittenOnceAndReplaceOnlyWhatTheExtensionWroteBefore) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList latest = FindItem(root.Get(), "Snapshot;2");
  ComPtr<IShellFolder> inside = Bind(root.Get(), latest.Get());
  OwnedList data = FindItem(inside.Get(), "data");
  ComPtr<IDataObject> object = DataOf(inside.Get(), data.Get());
  ASSERT_TRUE(object);

  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(S_OK, object->QueryGetData(&format));
  format.cfFormat = 4;
  EXPECT_EQ(S_OK, object->QueryGetData(&format)) << "the marker is offered";
  STGMEDIUM medium = {};
  EXPECT_EQ(E_NOTIMPL, object->GetData(&format, &medium)) << "and never given";
  format.cfFormat = CF_TEXT;
  EXPECT_EQ(E_NOTIMPL, object->QueryGetData(&format));
  ComPtr<IEnumFORMATETC> formats;
  ASSERT_EQ(S_OK, object->EnumFormatEtc(DATADIR_GET, formats.Out()));
  FORMATETC offered[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, formats->Next(3, offered, &fetched));
  ASSERT_EQ(2u, fetched);
  EXPECT_EQ(CF_HDROP, offered[0].cfFormat);
  EXPECT_EQ(4, offered[1].cfFormat);
  EXPECT_EQ(S_FALSE, formats->Skip(1));
  EXPECT_EQ(S_OK, formats->Reset());
  EXPECT_EQ(S_OK, formats->Skip(2));
  ComPtr<IEnumFORMATETC> copy;
  EXPECT_EQ(E_NOTIMPL, formats->Clone(copy.Out()));

  // A folder of the same name elsewhere in the temporary folder is someone else's; one the
  // extension wrote before is replaced whole.
  const std::string others = TempFolder() + "data", written = TransferFolder() + "data";
  CreateDirectoryA(others.c_str(), nullptr);
  ASSERT_TRUE(WriteText(others + "\\keep.txt", "keep"));
  CreateDirectoryA(TransferFolder().c_str(), nullptr);
  CreateDirectoryA(written.c_str(), nullptr);
  ASSERT_TRUE(WriteText(written + "\\stale.txt", "stale"));

  FileList list;
  ASSERT_EQ(S_OK, GetFiles(object.Get(), &list));
  EXPECT_EQ(std::vector<std::string>{written}, list.paths);
  EXPECT_EQ(sizeof(DROPFILES), list.header.pFiles);
  EXPECT_FALSE(list.header.fWide);
  EXPECT_EQ("second report, longer", cairn::testing::ReadFileBytes(written + "\\docs\\report.cairntest"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((written + "\\stale.txt").c_str()));
  EXPECT_EQ("keep", cairn::testing::ReadFileBytes(others + "\\keep.txt"));

  // Asked again, the same list; what was written is not written again.
  ASSERT_TRUE(WriteText(written + "\\notes.cairntest", "changed since"));
  ASSERT_EQ(S_OK, GetFiles(object.Get(), &list));
  EXPECT_EQ(std::vector<std::string>{written}, list.paths);
  EXPECT_EQ("changed since", cairn::testing::ReadFileBytes(written + "\\notes.cairntest"));
  DeleteFileA((others + "\\keep.txt").c_str());
  RemoveDirectoryA(others.c_str());
}

// Stored names come from whoever made the archive: a top-level object stored as a stream of a
// file, or a device, is never written.
TEST_F(TransferTest, AStoredNameThatIsNoPlainFileNameIsNotWritten) {
  const std::string crafted = Path("crafted.crn");
  for (const std::string& name : {data_.substr(0, data_.size() - 4) + "a:b", data_.substr(0, data_.size() - 4) + "CON"}) {
    ASSERT_TRUE(CopyFileA(archive_.c_str(), crafted.c_str(), FALSE));
    {
      std::unique_ptr<ArchiveHeap> heap;
      ASSERT_EQ(S_OK, ArchiveHeap::Open(PlatformFiles::Native(), crafted, false, true, &heap));
      struct Find final : ArchiveVisitor {
        std::string name;
        uint32_t offset = 0;
        void OnObject(const ObjectRecord& object, const std::string& found) override {
          if (found == name) offset = object.Offset();
        }
      } find;
      find.name = data_;
      WalkArchive(*heap, find);
      ASSERT_NE(0u, find.offset);
      ASSERT_TRUE(ObjectRecord(*heap, find.offset).SetName(WriteString(*heap, name)));
    }
    ComPtr<IShellFolder> root = OpenArchiveFolder(crafted);
    ASSERT_TRUE(root);
    OwnedList latest = FindItem(root.Get(), "Snapshot;2");
    ComPtr<IShellFolder> inside = Bind(root.Get(), latest.Get());
    ComPtr<IDataObject> object = DataOf(inside.Get(), FindItem(inside.Get(), name.substr(name.size() - 3)).Get());
    ASSERT_TRUE(object);
    FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    EXPECT_EQ(E_UNEXPECTED, object->GetData(&files, &medium)) << name;
    EXPECT_EQ(nullptr, medium.hGlobal);
    for (const char* written : {"a", "a:b", "CON"})
      EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((TransferFolder() + written + "\\docs").c_str())) << written;
  }
}

TEST_F(TransferTest, PasteAddsTheFilesAsASnapshotAndRefusesItemsOfAnArchive) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList latest = FindItem(root.Get(), "Snapshot;2");
  ComPtr<IContextMenu> menu = MenuOf(root.Get(), latest.Get());
  ASSERT_TRUE(menu);
  ASSERT_EQ(S_OK, Invoke(menu.Get(), ID_COPY));
  EXPECT_EQ(E_FAIL, Invoke(menu.Get(), ID_PASTE)) << "items of an archive";
  const std::string file = Path("pasted.txt");
  ASSERT_TRUE(WriteText(file, "pasted"));
  ComPtr<FilesData> files = FilesData::Make({file}, false);
  ASSERT_EQ(S_OK, OleSetClipboard(files.Get()));
  EXPECT_TRUE(StartedThreads([&] { EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_PASTE)); }).End());
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3", ListedSnapshots(archive_));
  EXPECT_NE(std::string::npos, Listing(archive_, "Snapshot;3").find(file));
}

TEST_F(TransferTest, FilesDroppedOntoAnArchiveFileBecomeASnapshotAndOtherFilesTakeNone) {
  const std::string file = Path("dropped.txt"), plain = data_ + "\\notes.cairntest";
  ASSERT_TRUE(WriteText(file, "dropped"));
  ComPtr<IDropTarget> target = DropHandler(archive_);
  ASSERT_TRUE(target);
  const POINTL point = {10, 10};
  DWORD effect = DROPEFFECT_COPY;
  ComPtr<FilesData> own = FilesData::Make({file}, true);
  EXPECT_EQ(S_OK, target->DragEnter(own.Get(), MK_LBUTTON, point, &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
  EXPECT_EQ(E_FAIL, target->Drop(own.Get(), MK_LBUTTON, point, &effect));

  ComPtr<FilesData> files = FilesData::Make({file}, false);
  EXPECT_EQ(S_OK, target->DragEnter(files.Get(), MK_LBUTTON, point, &effect));
  EXPECT_EQ(S_OK, target->DragOver(MK_LBUTTON, point, &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
  EXPECT_EQ(S_OK, DropFiles(target.Get(), files.Get(), &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
  EXPECT_EQ(0, files->MediaHeld());
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3", ListedSnapshots(archive_));
  EXPECT_NE(std::string::npos, Listing(archive_, "Snapshot;3").find(file));

  // Dropped onto a file that is no archive: nothing is made of it, and nothing changes.
  ComPtr<IDropTarget> other = DropHandler(plain);
  ASSERT_TRUE(other);
  const std::string before = cairn::testing::ReadFileBytes(plain);
  EXPECT_EQ(E_FAIL, DropFiles(other.Get(), files.Get(), &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
  EXPECT_EQ(before, cairn::testing::ReadFileBytes(plain));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((data_ + "\\notes.crn").c_str()));
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3", ListedSnapshots(archive_));
}

// A second drop while the first one's worker is at work is skipped, and its medium is released
// all the same.
TEST_F(TransferTest, ADropThatABusyWorkerSkipsReleasesItsMedium) {
  const std::string first = Path("first.txt"), second = Path("second.txt");
  ASSERT_TRUE(WriteText(first, "first"));
  ASSERT_TRUE(WriteText(second, "second"));
  ComPtr<IDropTarget> target = DropHandler(archive_);
  ASSERT_TRUE(target);
  ComPtr<IPersistFile> held = HoldArchive(archive_);
  ASSERT_TRUE(held);
  ComPtr<FilesData> later = FilesData::Make({second}, false);
  bool asked = false, secondEnded = false;
  const CallWatch calls([&] {
    if (asked) return;
    asked = true;
    DWORD effect = DROPEFFECT_COPY;
    const POINTL point = {10, 10};
    secondEnded = StartedThreads([&] { EXPECT_EQ(S_OK, target->Drop(later.Get(), 0, point, &effect)); })
                      .EndUnanswered();
  });
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(S_OK, DropFiles(target.Get(), FilesData::Make({first}, false).Get(), &effect));
  EXPECT_TRUE(asked);
  EXPECT_TRUE(secondEnded);
  EXPECT_EQ(0, later->MediaHeld());
  EXPECT_EQ(3, HeldSnapshots(held.Get()));
  held.Reset();
  const std::string latest = Listing(archive_, "Snapshot;3");
  EXPECT_NE(std::string::npos, latest.find(first)) << latest;
  EXPECT_EQ(std::string::npos, latest.find(second)) << latest;
}

TEST_F(TransferTest, SendToMakesAnArchiveBesideTheDocumentAndAddsToItAfterwards) {
  EXPECT_EQ("C:\\Docs\\report.crn", SendToArchivePath("C:\\Docs\\report.txt"));
  EXPECT_EQ("C:\\report.crn", SendToArchivePath("C:\\report.txt"));
  EXPECT_EQ("C:\\Docs\\archive.tar.crn", SendToArchivePath("C:\\Docs\\archive.tar.gz"));
  EXPECT_EQ("C:\\Docs\\Projects.crn", SendToArchivePath("C:\\Docs\\Projects"));
  EXPECT_EQ("C:\\Docs\\.profile.crn", SendToArchivePath("C:\\Docs\\.profile"));

  char sendTo[MAX_PATH] = "";
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, sendTo, CSIDL_SENDTO, TRUE));
  ComPtr<IDropTarget> entry = DropHandler(std::string(sendTo) + "\\Cairn Archive.crnSendToTarget");
  ASSERT_TRUE(entry);
  const std::string document = Path("letter.txt"), archive = Path("letter.crn");
  ASSERT_TRUE(WriteText(document, "Dear reader"));
  // The archive exists once made: a second send must not try to make it again.
  DialogWatcher problem("Problem creating archive");
  DWORD effect = DROPEFFECT_NONE;
  EXPECT_EQ(S_OK, DropFiles(entry.Get(), FilesData::Make({document}, false).Get(), &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
  EXPECT_EQ("Snapshot;1", ListedSnapshots(archive));
  ASSERT_TRUE(WriteText(document, "Dear reader, again"));
  EXPECT_EQ(S_OK, DropFiles(entry.Get(), FilesData::Make({document}, false).Get(), &effect));
  problem.Finish();
  EXPECT_FALSE(problem.Seen());
  EXPECT_EQ("Snapshot;1 Snapshot;2", ListedSnapshots(archive));
  EXPECT_NE(std::string::npos, Listing(archive, "Snapshot;2").find(document));
}

// A window that takes drops and notes the files of the data dropped on it.
class RecordingTarget final : public ComObject<RecordingTarget, IDropTarget> {
 public:
  STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    entered = true;
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  STDMETHODIMP DragLeave() override { return S_OK; }
  STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    *effect = DROPEFFECT_COPY;
    return GetFiles(data, &dropped);
  }
  std::atomic<bool> entered{false};
  FileList dropped;

 private:
  friend ComObject;
  RecordingTarget() = default;
  ~RecordingTarget() = default;
};

void PressLeftButton(bool down) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof input);
}

class ViewDragTest : public ArchiveFrameTest {
 protected:
  void Prepare() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override {
    ArchiveFrameTest::TearDown();
    OleUninitialize();
  }
};

// The left button goes down over a window that takes drops, a drag of a stored folder starts in
// the view, and the button comes up once the window has seen the drag come in: the window gets
// the folder's files. A watchdog cancels the drag if it never arrives.
TEST_F(ViewDragTest, ADragFromTheViewDropsTheItemsFilesOntoAWindow) {
  OpenRow("Snapshot;2");
  const int row = RowStarting("data");
  ASSERT_GE(row, 0);
  Select({row});
  ComPtr<RecordingTarget> target = ComPtr<RecordingTarget>::Adopt(RecordingTarget::New());
  HWND window = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "drop here", WS_POPUP | WS_VISIBLE | SS_NOTIFY, 500, 300, 200, 150,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  ASSERT_EQ(S_OK, RegisterDragDrop(window, target.Get()));
  if (!AimAt(window, {600, 375})) {
    RevokeDragDrop(window);
    DestroyWindow(window);
    FAIL() << "the drop window is not the window under the drop point";
  }
  PressLeftButton(true);
  ASSERT_TRUE(WaitFor([] { return GetKeyState(VK_LBUTTON) < 0; }));
  std::atomic<bool> over{false};
  std::thread release([&] {
    const bool arrived = WatcherWait([&] { return target->entered.load() || over.load(); }, 30000);
    PressLeftButton(false);
    if (!arrived) keybd_event(VK_ESCAPE, 0, 0, 0);
  });
  NMLISTVIEW begin = {};
  begin.hdr = {List(), IDC_VIEW_LIST, static_cast<UINT>(LVN_BEGINDRAG)};
  begin.iItem = row;
  SendMessageW(frame_->ViewWindow(), WM_NOTIFY, IDC_VIEW_LIST, reinterpret_cast<LPARAM>(&begin));
  over = true;
  release.join();
  RevokeDragDrop(window);
  DestroyWindow(window);
  EXPECT_TRUE(target->entered);
  ASSERT_EQ(std::vector<std::string>{TransferFolder() + "data"}, target->dropped.paths);
  EXPECT_EQ("second report, longer", cairn::testing::ReadFileBytes(TransferFolder() + "data\\docs\\report.cairntest"));
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
