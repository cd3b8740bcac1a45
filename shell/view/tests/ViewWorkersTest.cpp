// The archive view's worker commands in the browser frame under Wine with Xvfb: a new snapshot
// (and a second one asked for while it runs), files picked in the file-open box of New, Item,
// deleting with the confirmation answered by a watcher thread, files dropped onto the view and
// files pasted from the clipboard. The archive
// is read back with cn /l. Tests wait on the workers' threads and on their calls into an archive
// held here, never on the clock.
#include "HostedViewSupport.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AnsiText.h"
#include "ComObject.h"
#include "Handle.h"
#include "ViewResource.h"
#include "cairn.h"

namespace cairn {
namespace browser {
namespace {

using shell::FromAnsi;
using shell::testing::RunCn;
using shell::testing::RunCnCapturing;
using shell::testing::WriteText;
using testing::ArchiveFrameTest;
using testing::DialogWatcher;
using testing::PressButton;
using testing::WaitFor;

// A minimal data object: CF_HDROP with the paths (a DROPFILES header and wide names), and
// optionally the extension's marker, clipboard format 4.
class FilesData final : public ComObject<FilesData, IDataObject> {
 public:
  static ComPtr<FilesData> Make(const std::vector<std::string>& paths, bool marker, bool broken = false) {
    auto* data = new FilesData;
    data->marker_ = marker;
    DROPFILES header = {};
    header.pFiles = broken ? 4096 : sizeof header;  // broken: beyond the block
    header.fWide = TRUE;
    std::wstring names;
    for (const std::string& path : paths) names += FromAnsi(path) + L'\0';
    data->bytes_.resize(sizeof header + (names.size() + 1) * sizeof(wchar_t));
    std::memcpy(data->bytes_.data(), &header, sizeof header);
    std::memcpy(data->bytes_.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
    return ComPtr<FilesData>::Adopt(data);
  }
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    const HRESULT offered = QueryGetData(format);
    if (offered != S_OK) return offered;
    const std::vector<uint8_t> data = format->cfFormat == CF_HDROP ? bytes_ : std::vector<uint8_t>(4, 0);
    *medium = {TYMED_HGLOBAL, {nullptr}, nullptr};
    medium->hGlobal = GlobalAlloc(GMEM_MOVEABLE, data.size());
    std::memcpy(GlobalLock(medium->hGlobal), data.data(), data.size());
    GlobalUnlock(medium->hGlobal);
    return S_OK;
  }
  STDMETHODIMP QueryGetData(FORMATETC* format) override {
    if (format->cfFormat != CF_HDROP && !(marker_ && format->cfFormat == 4)) return DV_E_FORMATETC;
    return (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_TYMED;
  }
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
    FORMATETC offered[2] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                            {4, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
    return direction == DATADIR_GET ? SHCreateStdEnumFmtEtc(marker_ ? 2 : 1, offered, formats) : E_NOTIMPL;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  std::vector<uint8_t> bytes_;
  bool marker_ = false;
};

// A drop source that drops after a few turns of the drag loop, or cancels once told to.
class DroppingSource final : public IDropSource {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = (iid == IID_IUnknown || iid == IID_IDropSource) ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP QueryContinueDrag(BOOL, DWORD) override {
    return cancel ? DRAGDROP_S_CANCEL : ++turns >= 3 ? DRAGDROP_S_DROP : S_OK;
  }
  STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
  std::atomic<bool> cancel{false};
  int turns = 0;
};

// The threads of this process.
std::set<DWORD> ProcessThreads() {
  std::set<DWORD> threads;
  const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) threads.insert(entry.th32ThreadID);
  return threads;
}

// The threads that a step of a test starts (the workers of a command), to wait for their end.
class StartedThreads {
 public:
  explicit StartedThreads(const std::function<void()>& step) {
    const std::set<DWORD> before = ProcessThreads();
    step();
    for (DWORD id : ProcessThreads())
      if (before.count(id) == 0)
        if (HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id)) threads_.emplace_back(thread);
  }
  // True once every one has ended; this thread answers nothing meanwhile, so a worker that
  // calls the archive held here cannot end.
  bool EndUnanswered(DWORD ms = 10000) const {
    for (const Handle& thread : threads_)
      if (WaitForSingleObject(thread.Get(), ms) != WAIT_OBJECT_0) return false;
    return true;
  }
  // True once every one has ended, this thread's messages (the workers' calls) pumped meanwhile.
  bool End() const {
    return WaitFor([this] {
      for (const Handle& thread : threads_)
        if (WaitForSingleObject(thread.Get(), 0) != WAIT_OBJECT_0) return false;
      return true;
    });
  }

 private:
  std::vector<Handle> threads_;
};

// While it lives, calls `seen` at each call that another thread makes into this thread's
// apartment, such as a worker's call into an archive held here: each arrives while this thread
// pumps messages, and is seen before it is carried out.
class CallWatch {
 public:
  explicit CallWatch(std::function<void()> seen) : filter_(ComPtr<Filter>::Adopt(Filter::New(std::move(seen)))) {
    CoRegisterMessageFilter(filter_.Get(), previous_.Out());
  }
  ~CallWatch() {
    ComPtr<IMessageFilter> ours;
    CoRegisterMessageFilter(previous_.Get(), ours.Out());
  }
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

 private:
  class Filter final : public ComObject<Filter, IMessageFilter> {
   public:
    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
      seen_();
      return SERVERCALL_ISHANDLED;
    }
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
    STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

   private:
    friend ComObject;
    explicit Filter(std::function<void()> seen) : seen_(std::move(seen)) {}
    std::function<void()> seen_;
  };

  ComPtr<Filter> filter_;
  ComPtr<IMessageFilter> previous_;
};

// The number of snapshots of an archive object.
int HeldSnapshots(IPersistFile* held) {
  ComPtr<ICairnArchive> archive;
  ComPtr<IEnumSnapShots> snapshots;
  int count = 0;
  if (SUCCEEDED(held->QueryInterface(IID_ICairnArchive, archive.OutVoid())) &&
      SUCCEEDED(archive->EnumSnapShots(0, snapshots.Out())) && snapshots) {
    ComPtr<ICairnSnapShot> snapshot;
    while (snapshots->Next(1, snapshot.Out()) == S_OK && snapshot) ++count;
  }
  return count;
}

class ViewWorkersTest : public ArchiveFrameTest {
 protected:
  void Prepare() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override {
    ArchiveFrameTest::TearDown();
    OleSetClipboard(nullptr);
    OleUninitialize();
  }

  // Selects the rows whose names start so.
  void Select(std::initializer_list<std::string> names) {
    std::vector<int> rows;
    for (const std::string& name : names) rows.push_back(RowStarting(name));
    ArchiveFrameTest::Select(rows);
  }
  // Waits for the view to be replaced (the browser went to the archive root).
  bool NewViewAfter(HWND old) {
    return WaitFor([&] { return frame_->ViewWindow() != nullptr && frame_->ViewWindow() != old; });
  }
  // What cn lists of the archive, or of one snapshot.
  std::string Listing(const std::string& snapshot = "") {
    return RunCnCapturing("/l " + snapshot + " \"" + archive_ + "\"", "").out;
  }
  // The snapshots cn lists, by stored name.
  std::string Snapshots() {
    const std::string listing = Listing();
    std::string names;
    size_t at = listing.find('\n');  // after the heading
    for (size_t end; at != std::string::npos && (end = listing.find('\n', at + 1)) != std::string::npos; at = end) {
      const std::string line = listing.substr(at + 1, end - at - 1);
      names += (names.empty() ? "" : " ") + line.substr(0, line.find_first_of(" \t"));
    }
    return names;
  }
  // Deletes the selection, answering the confirmation with the button: "caption|text" of the box.
  std::string DeleteAnswering(int button) {
    DialogWatcher answer([](const std::string& caption) { return caption.rfind("Confirm", 0) == 0; }, button);
    Command(ID_DELETE);
    answer.Finish();
    return answer.Caption() + "|" + answer.LongestText();
  }
  // New, Item, with the file-open box answered by typing the text as the file name; the folder
  // to pick in, when given, is typed first. Whether the box was there, with the archive's icon.
  bool AddPicking(const std::string& names, const std::string& folder = "") {
    bool icon = false;
    DialogWatcher box([](const std::string& caption) { return caption == "Select items to add..."; },
                      [&](HWND dialog) {
                        icon = SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) != 0;
                        if (!folder.empty()) {
                          SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(folder.c_str()));
                          SendMessageW(dialog, WM_COMMAND, IDOK, 0);
                        }
                        SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(names.c_str()));
                        PressButton(dialog, names.empty() ? IDCANCEL : IDOK);
                      });
    Command(ID_NEW_ITEM);
    box.Finish();
    return box.Seen() && icon;
  }
  ComPtr<IDropTarget> DropTarget() {
    ComPtr<IShellView> view;
    ComPtr<IDropTarget> target;
    if (SUCCEEDED(frame_->QueryActiveShellView(view.Out()))) view.As(&target);
    return target;
  }
};

TEST_F(ViewWorkersTest, NewSnapshotRunsOnAWorkerAndASecondOneWhileItRunsIsDropped) {
  // The archive held open here: the workers reach it through the Running Object Table, and each of
  // their calls waits until this thread carries it out.
  ComPtr<IPersistFile> held;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, held.OutVoid()));
  ASSERT_EQ(S_OK, held->Load(FromAnsi(archive_).c_str(), STGM_READWRITE));
  ASSERT_TRUE(WriteText(data_ + "\\notes.cairntest", "notes, changed"));
  // Once the first worker has taken its snapshot, and while it is still at work (one of its calls
  // is waiting here), a second snapshot is asked for, with a change of its own: its worker must
  // end without reaching the archive, which no worker could while this thread answers nothing.
  bool asked = false, secondEnded = false;
  const CallWatch calls([&] {
    if (asked || !held || HeldSnapshots(held.Get()) < 3) return;
    asked = true;
    secondEnded = WriteText(data_ + "\\notes.cairntest", "notes, changed again") &&
                  StartedThreads([this] { Command(ID_SNAPSHOT); }).EndUnanswered();
  });
  HWND old = frame_->ViewWindow();
  const StartedThreads first([this] { Command(ID_SNAPSHOT); });
  ASSERT_TRUE(NewViewAfter(old));
  ASSERT_TRUE(first.End());
  EXPECT_TRUE(asked);
  EXPECT_TRUE(secondEnded);
  EXPECT_EQ(3, HeldSnapshots(held.Get()));
  held.Reset();
  Command(ID_REFRESH);  // the view, on this thread, could not read the archive while it was held
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3", Snapshots());
  EXPECT_EQ(3, Count());

  // The busy mark is cleared when the worker ends: the next request works.
  ASSERT_TRUE(WriteText(data_ + "\\notes.cairntest", "notes, changed a third time"));
  old = frame_->ViewWindow();
  Command(ID_SNAPSHOT);
  ASSERT_TRUE(NewViewAfter(old));
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3 Snapshot;4", Snapshots());
}

TEST_F(ViewWorkersTest, PickedFilesAreAddedAndTheRootShowsTheNewSnapshot) {
  // One file: its full path; the root is shown anew with the new snapshot.
  const std::string one = Path("one.txt");
  ASSERT_TRUE(WriteText(one, "one"));
  HWND old = frame_->ViewWindow();
  ASSERT_TRUE(AddPicking(one));
  ASSERT_TRUE(NewViewAfter(old));
  EXPECT_EQ(3, Count());
  EXPECT_NE(std::string::npos, Listing("Snapshot;3").find(one));

  // Three files of one folder, picked inside a snapshot: three full paths in the box's order;
  // the view stays where it is.
  const std::string picked = Path("picked");
  ASSERT_TRUE(CreateDirectoryA(picked.c_str(), nullptr));
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) ASSERT_TRUE(WriteText(picked + "\\" + name, name));
  OpenRow("Snapshot;3");
  HWND inside = frame_->ViewWindow();
  ASSERT_TRUE(StartedThreads([&] { ASSERT_TRUE(AddPicking("\"c.txt\" \"a.txt\" \"b.txt\"", picked)); }).End());
  EXPECT_EQ(inside, frame_->ViewWindow());
  EXPECT_EQ(archive_ + "\\Snapshot;3", Shown());
  const std::string listing = Listing("Snapshot;4");
  const size_t c = listing.find(picked + "\\c.txt"), a = listing.find(picked + "\\a.txt"),
               b = listing.find(picked + "\\b.txt");
  // The engine lists the objects a snapshot adds, the last added first.
  ASSERT_NE(std::string::npos, c) << listing;
  EXPECT_TRUE(a != std::string::npos && b != std::string::npos && b < a && a < c) << listing;

  // Cancelled: no worker, no snapshot.
  EXPECT_TRUE(StartedThreads([this] { EXPECT_TRUE(AddPicking("")); }).End());
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3 Snapshot;4", Snapshots());
}

TEST_F(ViewWorkersTest, ASecondAddWhileTheFirstRunsIsDropped) {
  // As for new snapshots: the archive held here keeps the first add's worker waiting on this
  // thread, while a second add picks another file.
  const std::string first = Path("first.txt"), second = Path("second.txt");
  ASSERT_TRUE(WriteText(first, "first"));
  ASSERT_TRUE(WriteText(second, "second"));
  ComPtr<IPersistFile> held;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, held.OutVoid()));
  ASSERT_EQ(S_OK, held->Load(FromAnsi(archive_).c_str(), STGM_READWRITE));
  bool asked = false, secondEnded = false;
  const CallWatch calls([&] {
    if (asked) return;
    asked = true;
    secondEnded = StartedThreads([&] { EXPECT_TRUE(AddPicking(second)); }).EndUnanswered();
  });
  const StartedThreads started([&] { ASSERT_TRUE(AddPicking(first)); });
  ASSERT_TRUE(started.End());
  EXPECT_TRUE(asked);
  EXPECT_TRUE(secondEnded);
  EXPECT_EQ(3, HeldSnapshots(held.Get()));
  held.Reset();
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3", Snapshots());
  const std::string latest = Listing("Snapshot;3");
  EXPECT_NE(std::string::npos, latest.find(first)) << latest;
  EXPECT_EQ(std::string::npos, latest.find(second)) << latest;
}

TEST_F(ViewWorkersTest, DeleteAsksFirstAtTheRootAndInsideASnapshot) {
  // A third snapshot with a second top-level object.
  const std::string single = Path("single.txt");
  ASSERT_TRUE(WriteText(single, "single"));
  ASSERT_EQ(1u, RunCn("/a \"" + single + "\" \"" + archive_ + "\"", Path("")));
  Command(ID_REFRESH);
  ASSERT_EQ(3, Count());

  // At the root: No keeps several snapshots; Yes deletes one, and the root is refreshed.
  Select({"Snapshot;1", "Snapshot;2"});
  EXPECT_EQ("Confirm Snapshot Delete|Are you sure you want to remove these 2 snapshots from the archive?\n"
            "If so, revisions specific to them will no longer be available!",
            DeleteAnswering(IDNO));
  Select({"Snapshot;1"});
  EXPECT_EQ("Confirm Snapshot Delete|Are you sure you want to remove the snapshot 'Snapshot;1' from the archive?\n"
            "If so, revisions specific to 'Snapshot;1' will no longer be available!",
            DeleteAnswering(IDYES));
  ASSERT_TRUE(WaitFor([this] { return Count() == 2; }));
  EXPECT_EQ("Snapshot;2 Snapshot;3", Snapshots());

  // Inside the latest snapshot: No keeps both top-level objects; Yes makes a snapshot without
  // one of them, and the browser goes to the root.
  Select({"Snapshot;3"});
  Command(ID_OPEN);
  ASSERT_EQ(2, Count());
  Select({"data", "single.txt"});
  EXPECT_EQ("Confirm Item Delete|Are you sure you want to delete these 2 items from the archive?\n"
            "If so, a new snapshot will be created without them!",
            DeleteAnswering(IDNO));
  Select({"single.txt"});
  HWND inside = frame_->ViewWindow();
  EXPECT_EQ("Confirm Item Delete|Are you sure you want to delete '" + single + "' from the archive?\n"
            "If so, a new snapshot will be created without '" + single + "'!",
            DeleteAnswering(IDYES));
  ASSERT_TRUE(NewViewAfter(inside));
  EXPECT_EQ("Snapshot;2 Snapshot;3 Snapshot;4", Snapshots());
  const std::string latest = Listing("Snapshot;4");
  EXPECT_EQ(std::string::npos, latest.find(single)) << latest;
  EXPECT_NE(std::string::npos, latest.find(data_)) << latest;

  // Several snapshots at the root: Yes deletes them all.
  Select({"Snapshot;2", "Snapshot;3"});
  DeleteAnswering(IDYES);
  ASSERT_TRUE(WaitFor([this] { return Count() == 1; }));
  EXPECT_EQ("Snapshot;4", Snapshots());
}

TEST_F(ViewWorkersTest, DroppedFilesBecomeASnapshotAndTheExtensionsOwnDataIsRefused) {
  const std::string dropped = Path("dropped.txt");
  ASSERT_TRUE(WriteText(dropped, "dropped"));
  ComPtr<IDropTarget> target = DropTarget();
  ASSERT_TRUE(target);
  const POINTL point = {10, 10};

  // Items of an archive: no drop.
  ComPtr<FilesData> own = FilesData::Make({dropped}, true);
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  EXPECT_EQ(S_OK, target->DragEnter(own.Get(), 0, point, &effect));
  EXPECT_EQ(S_OK, target->DragOver(0, point, &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
  EXPECT_EQ(E_FAIL, target->Drop(own.Get(), 0, point, &effect));

  // A file list that points past the end of its block is not read: no worker, no snapshot.
  EXPECT_TRUE(StartedThreads([&] {
                EXPECT_EQ(E_FAIL, target->Drop(FilesData::Make({dropped}, false, true).Get(), 0, point, &effect));
              }).End());
  EXPECT_EQ("Snapshot;1 Snapshot;2", Snapshots());

  // Files: copied in as a new snapshot; the root is refreshed.
  ComPtr<FilesData> files = FilesData::Make({dropped}, false);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  EXPECT_EQ(S_OK, target->DragEnter(files.Get(), 0, point, &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
  EXPECT_EQ(S_OK, target->DragLeave());
  EXPECT_EQ(S_OK, target->Drop(files.Get(), 0, point, &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
  ASSERT_TRUE(WaitFor([this] { return Count() == 3; }));
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3", Snapshots());
  EXPECT_NE(std::string::npos, Listing("Snapshot;3").find(dropped));
  target.Reset();

  // A real drag onto the view's window, through the registration of its window.
  const std::string more = Path("more.txt");
  ASSERT_TRUE(WriteText(more, "more"));
  ComPtr<FilesData> moreFiles = FilesData::Make({more}, false);
  DroppingSource source;
  RECT box;
  GetWindowRect(List(), &box);
  SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 1000 && !finished; ++i) Sleep(20);
    source.cancel = true;
  });
  effect = DROPEFFECT_NONE;
  const HRESULT dragged = DoDragDrop(moreFiles.Get(), &source, DROPEFFECT_COPY, &effect);
  finished = true;
  watchdog.join();
  ASSERT_EQ(DRAGDROP_S_DROP, dragged) << std::hex << dragged;
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
  ASSERT_TRUE(WaitFor([this] { return Count() == 4; }));
  EXPECT_NE(std::string::npos, Listing("Snapshot;4").find(more));
}

TEST_F(ViewWorkersTest, PasteAddsTheClipboardsFilesUnlessTheyComeFromAnArchive) {
  const std::string pasted = Path("pasted.txt"), later = Path("later.txt");
  ASSERT_TRUE(WriteText(pasted, "pasted"));
  ASSERT_TRUE(WriteText(later, "later"));
  ASSERT_EQ(S_OK, OleSetClipboard(FilesData::Make({pasted}, true).Get()));
  EXPECT_TRUE(StartedThreads([this] { Command(ID_PASTE); }).End());
  EXPECT_EQ("Snapshot;1 Snapshot;2", Snapshots());

  // With the archive held open here, the first paste's worker waits on this thread; a second
  // paste asked for meanwhile, of another file, ends without reaching the archive.
  ComPtr<IPersistFile> held;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, held.OutVoid()));
  ASSERT_EQ(S_OK, held->Load(FromAnsi(archive_).c_str(), STGM_READWRITE));
  bool asked = false, secondEnded = false;
  const CallWatch calls([&] {
    if (asked) return;
    asked = true;
    secondEnded = StartedThreads([this] { Command(ID_PASTE); }).EndUnanswered();
  });
  ASSERT_EQ(S_OK, OleSetClipboard(FilesData::Make({pasted}, false).Get()));
  const StartedThreads first([this] { Command(ID_PASTE); });
  // The paste took its files when it was asked for: the clipboard may change now.
  ASSERT_EQ(S_OK, OleSetClipboard(FilesData::Make({later}, false).Get()));
  ASSERT_TRUE(first.End());
  EXPECT_TRUE(asked);
  EXPECT_TRUE(secondEnded);
  EXPECT_EQ(3, HeldSnapshots(held.Get()));
  held.Reset();
  EXPECT_EQ("Snapshot;1 Snapshot;2 Snapshot;3", Snapshots());
  const std::string latest = Listing("Snapshot;3");
  EXPECT_NE(std::string::npos, latest.find(pasted)) << latest;
  EXPECT_EQ(std::string::npos, latest.find(later)) << latest;
  ASSERT_EQ(S_OK, OleSetClipboard(nullptr));
}

}  // namespace
}  // namespace browser
}  // namespace cairn
