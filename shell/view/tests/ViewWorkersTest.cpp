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

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "AnsiText.h"
#include "ViewResource.h"
#include "WorkerSupport.h"
#include "cairn.h"

namespace cairn {
namespace browser {
namespace {

using shell::FromAnsi;
using shell::testing::CallWatch;
using shell::testing::FilesData;
using shell::testing::HeldSnapshots;
using shell::testing::HoldArchive;
using shell::testing::ListedSnapshots;
using shell::testing::RunCn;
using shell::testing::StartedThreads;
using shell::testing::WriteText;
using testing::ArchiveFrameTest;
using testing::DialogWatcher;
using testing::PressButton;
using testing::WaitFor;

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
  std::string Listing(const std::string& snapshot = "") { return shell::testing::Listing(archive_, snapshot); }
  std::string Snapshots() { return ListedSnapshots(archive_); }
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
  ComPtr<IPersistFile> held = HoldArchive(archive_);
  ASSERT_TRUE(held);
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
  ASSERT_TRUE(testing::AimAt(List(), {(box.left + box.right) / 2, (box.top + box.bottom) / 2}))
      << "the view's list is not the window under the drop point";
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
  ComPtr<IPersistFile> held = HoldArchive(archive_);
  ASSERT_TRUE(held);
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
