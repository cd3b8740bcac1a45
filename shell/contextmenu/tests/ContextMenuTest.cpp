// The context menu handler through its real interfaces under Wine: an archive file's menu as
// Explorer asks for it (by the file's class), the item menu the folder gives, the commands'
// strings and verbs, Snapshot chosen twice, the delete confirmation answered by a watcher, and the
// launcher converting in both directions, and Check Archive's report on a sound and a damaged
// archive.
#include "HostedViewSupport.h"
#include "WorkerSupport.h"

#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "ArchiveAccess.h"
#include "ArchiveOperations.h"
#include "ArchiveOpen.h"
#include "ArchiveWalk.h"
#include "Bstr.h"
#include "CheckResource.h"
#include "RegKey.h"
#include "RestoreResource.h"
#include "SafeArray.h"
#include "ViewResource.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

using browser::testing::DialogWatcher;

constexpr UINT kFirst = 100;

// A file class's key as Explorer hands it to the handler: its default value is the class's name.
RegKey ClassKey(const std::string& name) {
  RegKey key;
  const std::string path = "Software\\Cairn Tests\\" + name;
  HKEY created = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) ==
      ERROR_SUCCESS) {
    RegSetValueExA(created, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   static_cast<DWORD>(name.size() + 1));
    *key.Out() = created;
  }
  return key;
}

// The menu's entries as "text=offset" from kFirst, "-" for a separator, "*" after the default and
// "(grayed)" after a grayed one.
std::vector<std::string> Entries(HMENU menu) {
  std::vector<std::string> entries;
  const UINT standard = GetMenuDefaultItem(menu, FALSE, 0);
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[128] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    if (info.fType & MFT_SEPARATOR) {
      entries.push_back("-");
      continue;
    }
    std::string entry = std::string(text) + "=" + std::to_string(static_cast<int>(info.wID) - static_cast<int>(kFirst));
    if (info.wID == standard) entry += "*";
    if (info.fState & MFS_GRAYED) entry += "(grayed)";
    entries.push_back(entry);
  }
  return entries;
}

BOOL CALLBACK AcceptPage(HPROPSHEETPAGE, LPARAM) { return TRUE; }

HRESULT Invoke(IContextMenu* menu, UINT offset, HWND owner = nullptr) {
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.hwnd = owner;
  info.lpVerb = MAKEINTRESOURCEA(offset);
  info.nShow = SW_SHOWNORMAL;
  return menu->InvokeCommand(&info);
}

class ContextMenuTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ArchiveTest::SetUp();
  }
  void TearDown() override {
    OleSetClipboard(nullptr);
    OleUninitialize();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Cairn Tests");
  }

  // The handler as Explorer makes it for a selection of files of a class.
  ComPtr<IContextMenu> ForFiles(const std::vector<std::string>& paths, const std::string& className) {
    ComPtr<IShellExtInit> init;
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_CairnShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                     init.OutVoid()));
    if (!init) return menu;
    const RegKey key = ClassKey(className);
    const HRESULT hr = init->Initialize(nullptr, FilesData::Make(paths, false).Get(), key.Get());
    EXPECT_EQ(S_OK, hr) << std::hex << hr;
    init.As(&menu);
    return menu;
  }
  // The entries the handler adds after one entry of Explorer's own, and its result.
  std::vector<std::string> FileMenu(IContextMenu* menu, HRESULT* result) {
    Menu popup(CreatePopupMenu());
    AppendMenuA(popup.Get(), MF_STRING, 1, "Explorer's own");
    *result = menu->QueryContextMenu(popup.Get(), 1, kFirst, 0x7FFF, CMF_NORMAL);
    std::vector<std::string> entries = Entries(popup.Get());
    entries.erase(entries.begin());
    return entries;
  }
  // The item menu the folder gives for the item, merged into a menu of one entry.
  std::vector<std::string> ItemMenu(IShellFolder* folder, LPCITEMIDLIST item, UINT last, HRESULT* result) {
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(S_OK, folder->GetUIObjectOf(nullptr, 1, &item, IID_IContextMenu, nullptr, menu.OutVoid()));
    Menu popup(CreatePopupMenu());
    AppendMenuA(popup.Get(), MF_STRING, 1, "Other");
    *result = menu ? menu->QueryContextMenu(popup.Get(), 0, kFirst, last, CMF_NORMAL) : E_FAIL;
    return Entries(popup.Get());
  }
  std::string SelfExtracting(const std::string& name) {
    const std::string plain = Path(name + ".crn");
    EXPECT_TRUE(CopyFileA(archive_.c_str(), plain.c_str(), FALSE));
    EXPECT_EQ(0u, RunProgram("\"" + ModuleDirectory() + "\\..\\sfx\\sfxstub.exe\" " + plain, ""));
    return Path(name + ".exe");
  }
};

TEST_F(ContextMenuTest, AnArchiveFileAloneGetsItsCommandsAndAProgramNone) {
  HRESULT hr = E_FAIL;
  EXPECT_EQ((std::vector<std::string>{"Snapshot=7", "Restore Latest=67", "Make Self-Extracting=3", "Check Archive=80"}),
            FileMenu(ForFiles({archive_}, "Cairn Archive").Get(), &hr));
  EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 81), hr);
  // A self-extracting archive is a program that carries the launcher's mark.
  EXPECT_EQ((std::vector<std::string>{"Snapshot=7", "Restore Latest=67", "Make Archive=4", "Check Archive=80"}),
            FileMenu(ForFiles({SelfExtracting("portable")}, "application").Get(), &hr));
  EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 81), hr);

  // Two archives, an ordinary program, and a file of another class: no entries and no pages.
  const std::string program = ModuleDirectory() + "\\..\\cli\\cn.exe";
  const struct {
    std::vector<std::string> files;
    const char* type;
  } none[] = {{{archive_, archive_}, "Cairn Archive"}, {{program}, "Application"}, {{archive_}, "txtfile"}};
  for (const auto& c : none) {
    ComPtr<IContextMenu> menu = ForFiles(c.files, c.type);
    ASSERT_TRUE(menu);
    EXPECT_TRUE(FileMenu(menu.Get(), &hr).empty()) << c.type;
    EXPECT_EQ(E_FAIL, hr) << c.type;
    ComPtr<IShellPropSheetExt> pages;
    ASSERT_EQ(S_OK, menu.As(&pages));
    EXPECT_EQ(E_FAIL, pages->AddPages(&AcceptPage, 0)) << c.type;
  }
}

TEST_F(ContextMenuTest, StringsNameTheArchiveFilesCommandsAndRenameIsOnlyReported) {
  ComPtr<IContextMenu> menu = ForFiles({archive_}, "Cairn Archive");
  ASSERT_TRUE(menu);
  const struct {
    UINT offset;
    UINT kind;
    HRESULT expected;
    const char* text;
  } cases[] = {
      {ID_MAKE_SFX, GCS_HELPTEXTA, S_OK, "Create self-extracting version of archive."},
      {ID_MAKE_ARCHIVE, GCS_HELPTEXTA, S_OK, "Convert self-extracting archive to regular archive"},
      {ID_SNAPSHOT, GCS_HELPTEXTA, S_OK, "Create a new snapshot."},
      {ID_RESTORE_LATEST, GCS_HELPTEXTA, S_OK, "Restore the latest snapshot in this archive"},
      {ID_CHECK_ARCHIVE, GCS_HELPTEXTA, S_OK, "Read back every stored revision of the archive and report any damage."},
      {ID_RENAME, GCS_VERBA, S_OK, "rename"},
      {ID_OPEN, GCS_HELPTEXTA, E_NOTIMPL, ""},
      {ID_SNAPSHOT, GCS_VERBA, E_NOTIMPL, ""},
      {ID_SNAPSHOT, GCS_HELPTEXTW, E_NOTIMPL, ""},
      {ID_SNAPSHOT, GCS_VALIDATEA, E_NOTIMPL, ""},
  };
  for (const auto& c : cases) {
    char text[128] = "";
    EXPECT_EQ(c.expected, menu->GetCommandString(c.offset, c.kind, nullptr, text, sizeof text)) << c.offset;
    EXPECT_STREQ(c.text, text) << c.offset;
  }
  wchar_t wide[16] = L"";
  EXPECT_EQ(S_OK, menu->GetCommandString(ID_RENAME, GCS_VERBW, nullptr, reinterpret_cast<char*>(wide), 16));
  EXPECT_STREQ(L"rename", wide);
  char cut[4] = "";
  EXPECT_EQ(S_OK, menu->GetCommandString(ID_RENAME, GCS_VERBA, nullptr, cut, sizeof cut));
  EXPECT_STREQ("ren", cut);

  // A verb by name, "rename" included, and offsets that are none of ours are refused; Rename
  // itself leaves the editing to the shell's view and changes nothing.
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = "rename";
  EXPECT_EQ(E_INVALIDARG, menu->InvokeCommand(&info));
  for (UINT offset : {0u, 9u, 66u, 71u, 300u}) EXPECT_EQ(E_INVALIDARG, Invoke(menu.Get(), offset)) << offset;
  EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_RENAME));
  EXPECT_EQ("Snapshot;1 Snapshot;2", ListedSnapshots(archive_));
}

TEST_F(ContextMenuTest, TheItemMenuMergesAtTheTopWithRestoreAsDefaultAndTheStatesOfItsItem) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList older = FindItem(root.Get(), "Snapshot;1");
  HRESULT hr = E_FAIL;
  const std::vector<std::string> snapshot = {
      "&Explore=65", "&Open=1",  "R&estore=2*",    "-", "&Copy=8", "&Paste=11(grayed)", "-",
      "&Delete=70",  "Rena&me=5", "-", "P&roperties=6", "-", "Other=-99"};
  EXPECT_EQ(snapshot, ItemMenu(root.Get(), older.Get(), 0x7FFF, &hr));
  EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 71), hr) << "offsets 0 to 70 used";

  // An object of an older snapshot can be neither deleted nor renamed.
  ComPtr<IShellFolder> inside = Bind(root.Get(), older.Get());
  OwnedList data = FindItem(inside.Get(), "data");
  std::vector<std::string> object = ItemMenu(inside.Get(), data.Get(), 0x7FFF, &hr);
  EXPECT_EQ("&Delete=70(grayed)", object[7]);
  EXPECT_EQ("Rena&me=5(grayed)", object[8]);

  // Paste wants a file list on the clipboard, and none that came from an archive.
  const std::string file = Path("pasted.txt");
  ASSERT_TRUE(WriteText(file, "pasted"));
  ASSERT_EQ(S_OK, OleSetClipboard(FilesData::Make({file}, false).Get()));
  EXPECT_EQ("&Paste=11", ItemMenu(root.Get(), older.Get(), 0x7FFF, &hr)[5]);
  ASSERT_EQ(S_OK, OleSetClipboard(FilesData::Make({file}, true).Get()));
  EXPECT_EQ("&Paste=11(grayed)", ItemMenu(root.Get(), older.Get(), 0x7FFF, &hr)[5]);

  // Identifiers past the last one the shell gives are left out, and the result counts only those
  // used.
  EXPECT_EQ((std::vector<std::string>{"&Open=1", "R&estore=2*", "-", "&Copy=8", "&Paste=11(grayed)", "-", "Rena&me=5",
                                      "-", "P&roperties=6", "-", "Other=-99"}),
            ItemMenu(root.Get(), older.Get(), kFirst + 50, &hr));
  EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), hr);
}

TEST_F(ContextMenuTest, SnapshotChosenTwiceQuicklyMakesOne) {
  ComPtr<IContextMenu> menu = ForFiles({archive_}, "Cairn Archive");
  ASSERT_TRUE(menu);
  // The archive held here: the menu's workers call into this thread, which sees each call. While
  // the first worker is still at work after its snapshot, Snapshot is chosen again, after another
  // change: that worker must end without reaching the archive.
  ComPtr<IPersistFile> held = HoldArchive(archive_);
  ASSERT_TRUE(held);
  ASSERT_TRUE(WriteText(data_ + "\\notes.cairntest", "notes, changed"));
  bool asked = false, secondEnded = false;
  const CallWatch calls([&] {
    if (asked || HeldSnapshots(held.Get()) < 3) return;
    asked = true;
    secondEnded = WriteText(data_ + "\\notes.cairntest", "notes, changed again") &&
                  StartedThreads([&] { EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_SNAPSHOT)); }).EndUnanswered();
  });
  const StartedThreads first([&] { EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_SNAPSHOT)); });
  ASSERT_TRUE(first.End());
  EXPECT_TRUE(asked);
  EXPECT_TRUE(secondEnded);
  EXPECT_EQ(3, HeldSnapshots(held.Get()));
}

TEST_F(ContextMenuTest, DeleteAsksFirstAndNoChangesNothing) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList first = FindItem(root.Get(), "Snapshot;1"), latest = FindItem(root.Get(), "Snapshot;2");
  ComPtr<IShellFolder> inside = Bind(root.Get(), latest.Get());
  OwnedList data = FindItem(inside.Get(), "data");
  const auto menuOf = [](IShellFolder* folder, LPCITEMIDLIST item) {
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(S_OK, folder->GetUIObjectOf(nullptr, 1, &item, IID_IContextMenu, nullptr, menu.OutVoid()));
    return menu;
  };
  const auto confirm = [](const std::string& caption) { return caption.rfind("Confirm", 0) == 0; };

  DialogWatcher no(confirm, IDNO);
  EXPECT_EQ(S_OK, Invoke(menuOf(inside.Get(), data.Get()).Get(), ID_DELETE));
  no.Finish();
  EXPECT_EQ("Confirm Item Delete", no.Caption());
  EXPECT_EQ("Are you sure you want to delete '" + data_ + "' from the archive?\nIf so, a new snapshot will be "
            "created without '" + data_ + "'!",
            no.LongestText());
  EXPECT_EQ("Snapshot;1 Snapshot;2", ListedSnapshots(archive_));

  ComPtr<IContextMenu> menu = menuOf(root.Get(), first.Get());
  DialogWatcher stillNo(confirm, IDNO);
  EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_DELETE));
  stillNo.Finish();
  EXPECT_EQ("Confirm Snapshot Delete", stillNo.Caption());
  EXPECT_EQ("Are you sure you want to remove the snapshot 'Snapshot;1' from the archive?\nIf so, revisions specific "
            "to 'Snapshot;1' will no longer be available!",
            stillNo.LongestText());
  EXPECT_EQ("Snapshot;1 Snapshot;2", ListedSnapshots(archive_));

  DialogWatcher yes(confirm, IDYES);
  const StartedThreads worker([&] { EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_DELETE)); });
  yes.Finish();
  ASSERT_TRUE(worker.End());
  EXPECT_EQ("Snapshot;2", ListedSnapshots(archive_));
}

// Restore Latest shows the restore dialog on its worker, owned by no window of the thread that
// chose it; Finish restores the latest snapshot where the user said.
TEST_F(ContextMenuTest, RestoreLatestShowsTheRestoreDialogOnItsWorkerAndRestoresTheLatestSnapshot) {
  ComPtr<IContextMenu> menu = ForFiles({archive_}, "Cairn Archive");
  ASSERT_TRUE(menu);
  HWND explorer = CreateWindowExA(0, "STATIC", "Explorer", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  const std::string out = Path("out");
  std::string proposed;
  HWND owner = explorer;
  DWORD thread = 0;
  DialogWatcher watcher([](const std::string& caption) { return caption == "Restore Item(s)..."; },
                        [&](HWND sheet) {
                          owner = GetWindow(sheet, GW_OWNER);
                          thread = GetWindowThreadProcessId(sheet, nullptr);
                          HWND target = browser::testing::FindControl(sheet, IDC_RESTORE_TARGET);
                          proposed = browser::testing::ControlText(target);
                          SetWindowTextA(target, out.c_str());
                          browser::testing::PressSheetButton(sheet, PSBTN_FINISH);
                        });
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.hwnd = explorer;
  info.lpVerb = MAKEINTRESOURCEA(ID_RESTORE_LATEST);
  const StartedThreads worker([&] { EXPECT_EQ(S_OK, menu->InvokeCommand(&info)); });
  ASSERT_TRUE(worker.End());
  watcher.Finish();
  DestroyWindow(explorer);
  ASSERT_TRUE(watcher.Seen());
  EXPECT_EQ(nullptr, owner);
  EXPECT_NE(GetCurrentThreadId(), thread);
  EXPECT_EQ(data_.substr(0, data_.rfind('\\')), proposed);
  EXPECT_EQ("second report, longer", cairn::testing::ReadFileBytes(out + "\\data\\docs\\report.cairntest"));
  EXPECT_EQ("notes", cairn::testing::ReadFileBytes(out + "\\data\\notes.cairntest"));
}

// The item menu's Restore: the dialog for the one item, with the folder's owner window, and the
// item restored; cancelled, nothing is written.
TEST_F(ContextMenuTest, TheItemMenusRestoreRestoresTheItemThroughTheRestoreDialog) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList first = FindItem(root.Get(), "Snapshot;1");
  ComPtr<IShellFolder> inside = Bind(root.Get(), first.Get());
  OwnedList data = FindItem(inside.Get(), "data");
  ComPtr<IContextMenu> menu;
  LPCITEMIDLIST item = data.Get();
  ASSERT_EQ(S_OK, inside->GetUIObjectOf(nullptr, 1, &item, IID_IContextMenu, nullptr, menu.OutVoid()));
  const auto restoreTo = [](const std::string& target, int button) {
    return [target, button](HWND sheet) {
      SetWindowTextA(browser::testing::FindControl(sheet, IDC_RESTORE_TARGET), target.c_str());
      browser::testing::PressSheetButton(sheet, button);
    };
  };
  const auto restoreDialog = [](const std::string& caption) { return caption == "Restore Item(s)..."; };
  const std::string out = Path("out"), cancelled = Path("cancelled");
  {
    DialogWatcher cancel(restoreDialog, restoreTo(cancelled, PSBTN_CANCEL));
    EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_RESTORE));
    cancel.Finish();
    EXPECT_TRUE(cancel.Seen());
  }
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(cancelled.c_str()));
  DialogWatcher finish(restoreDialog, restoreTo(out, PSBTN_FINISH));
  EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_RESTORE));
  finish.Finish();
  EXPECT_EQ("first report", cairn::testing::ReadFileBytes(out + "\\data\\docs\\report.cairntest"));
}

// The item menu's Properties shows the item's sheet and ends with it; the archive file's menu has
// no item to show it for.
TEST_F(ContextMenuTest, PropertiesShowTheItemsSheetAndNeedAnItem) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList first = FindItem(root.Get(), "Snapshot;1");
  ComPtr<IContextMenu> menu;
  LPCITEMIDLIST item = first.Get();
  ASSERT_EQ(S_OK, root->GetUIObjectOf(nullptr, 1, &item, IID_IContextMenu, nullptr, menu.OutVoid()));
  LRESULT pages = 0;
  DialogWatcher watcher([](const std::string& caption) { return caption == "Properties"; }, [&pages](HWND sheet) {
    pages = SendMessageA(PropSheet_GetTabControl(sheet), TCM_GETITEMCOUNT, 0, 0);
    browser::testing::PressSheetButton(sheet, PSBTN_CANCEL);
  });
  EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_PROPERTIES));
  watcher.Finish();
  EXPECT_EQ(3, pages) << "a snapshot's General, Contents and Comment";
  EXPECT_EQ(E_FAIL, Invoke(ForFiles({archive_}, "Cairn Archive").Get(), ID_PROPERTIES));
}

// The launcher in the system folder converts an archive file and converts it back.
TEST_F(ContextMenuTest, TheLauncherInTheSystemFolderConvertsBothWays) {
  char system[MAX_PATH];
  ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
  const std::string launcher = std::string(system) + "\\sfxstub.exe";
  ASSERT_TRUE(CopyFileA((ModuleDirectory() + "\\..\\sfx\\sfxstub.exe").c_str(), launcher.c_str(), FALSE));
  struct Remove {
    std::string path;
    ~Remove() { DeleteFileA(path.c_str()); }
  } removeLauncher{launcher};
  const std::string before = cairn::testing::ReadFileBytes(archive_);
  const std::string exe = archive_.substr(0, archive_.size() - 4) + ".exe";

  EXPECT_EQ(S_OK, Invoke(ForFiles({archive_}, "Cairn Archive").Get(), ID_MAKE_SFX));
  ASSERT_TRUE(browser::testing::WaitFor([&] {
    return GetFileAttributesA(archive_.c_str()) == INVALID_FILE_ATTRIBUTES &&
           cairn::testing::ReadFileBytes(exe).size() == 65536 + before.size();
  }));
  HRESULT hr = E_FAIL;
  EXPECT_EQ("Make Archive=4", FileMenu(ForFiles({exe}, "Application").Get(), &hr).at(2));
  EXPECT_EQ(S_OK, Invoke(ForFiles({exe}, "Application").Get(), ID_MAKE_ARCHIVE));
  ASSERT_TRUE(browser::testing::WaitFor([&] {
    return GetFileAttributesA(exe.c_str()) == INVALID_FILE_ATTRIBUTES &&
           GetFileAttributesA(archive_.c_str()) != INVALID_FILE_ATTRIBUTES;
  }));
  EXPECT_EQ(before, cairn::testing::ReadFileBytes(archive_));
}

// Check Archive's window as the watcher reads it once its report is shown (its button says
// Close): the status line and the rows of damage.
struct CheckSeen {
  std::string status;
  std::vector<std::vector<std::string>> rows;
};

class CheckArchiveTest : public ContextMenuTest {
 protected:
  // Chooses Check Archive in the archive file's menu and closes the window after its report.
  CheckSeen Check(const std::string& path, const char* type) {
    CheckSeen seen;
    ComPtr<IContextMenu> menu = ForFiles({path}, type);
    if (!menu) return seen;
    DialogWatcher watcher([](const std::string& caption) { return caption == "Check Archive"; }, [&](HWND window) {
      HWND button = GetDlgItem(window, IDCANCEL);
      EXPECT_TRUE(browser::testing::WatcherWait([&] { return browser::testing::ControlText(button) == "Close"; }));
      seen.status = browser::testing::ControlText(GetDlgItem(window, IDC_CHECK_STATUS));
      seen.rows = browser::testing::ListRows(GetDlgItem(window, IDC_CHECK_DAMAGE), 4);
      browser::testing::PressButton(window, IDCANCEL);
    });
    const StartedThreads worker([&] { EXPECT_EQ(S_OK, Invoke(menu.Get(), ID_CHECK_ARCHIVE)); });
    EXPECT_TRUE(worker.End());
    watcher.Finish();
    EXPECT_TRUE(watcher.Seen());
    return seen;
  }

  // A compressed archive of one file of two revisions, made through the engine; *number is the
  // revision whose largest record then has a few bytes changed on the disk, as bit rot would,
  // where no link check looks.
  std::string DamagedArchive(int32_t* number) {
    const std::string file = Path("big.cairntest"), path = Path("damaged.crn");
    std::string text;
    for (int i = 0; text.size() < 40000; ++i) text += "line " + std::to_string(i * 7919 % 10007) + " of the report\r\n";
    EXPECT_TRUE(WriteText(file, text));
    {
      ComPtr<ICairnArchive> archive;
      ComPtr<ICairnArchiveAdmin> admin;
      EXPECT_EQ(S_OK, OpenArchiveToWrite(FromAnsi(path), &archive, true));
      if (!archive || FAILED(archive.As(&admin))) return path;
      EXPECT_EQ(S_OK, admin->SetOptions(options::kCompress));
      const SafeArray add = BstrArray({FromAnsi(file)}), none = BstrArray({});
      const Bstr name(L"Snapshot");
      ComPtr<ICairnSnapShot> snapshot;
      EXPECT_EQ(S_OK, archive->CreateSnapShot(name.Get(), add.Get(), none.Get(), snapshot.Out()));
      EXPECT_TRUE(WriteText(file, text.substr(0, 20000) + "an edit" + text.substr(20000)));
      EXPECT_EQ(S_OK, archive->CreateSnapShot(name.Get(), none.Get(), none.Get(), snapshot.Out()));
    }
    std::unique_ptr<ArchiveHeap> heap;
    EXPECT_EQ(S_OK, OpenArchive(PlatformFiles::Native(), path, false, true, &heap));
    struct Largest final : ArchiveVisitor {
      void OnDifference(const RevisionRecord& revision, const DifferenceRecord& d) override {
        if (d.Kind() == difference_kind::kDeletion || d.Length() <= length) return;
        data = d.Data();
        length = d.Length();
        number = revision.Number();
      }
      uint32_t data = 0, length = 0;
      int32_t number = 0;
    } largest;
    EXPECT_EQ(S_OK, heap ? WalkArchive(*heap, largest) : E_FAIL);
    uint8_t* bytes = heap ? heap->Resolve(largest.data, largest.length) : nullptr;
    EXPECT_NE(nullptr, bytes);
    for (uint32_t at = 1; bytes != nullptr && at < 4; ++at) bytes[largest.length * at / 4] ^= 0x20;
    *number = largest.number;
    return path;
  }
};

// Beside a writer that holds it, a sound archive and its self-extracting form are reported
// sound, and nothing is written to them.
TEST_F(CheckArchiveTest, ASoundArchiveIsReportedSoundAndLeftAsItWas) {
  const std::string portable = SelfExtracting("portable");
  const std::string before = cairn::testing::ReadFileBytes(archive_);
  {
    ComPtr<IPersistFile> held = HoldArchive(archive_);
    ASSERT_TRUE(held);
    const CheckSeen seen = Check(archive_, "Cairn Archive");
    EXPECT_EQ("No damage found", seen.status);
    EXPECT_TRUE(seen.rows.empty());
  }
  EXPECT_EQ(before, cairn::testing::ReadFileBytes(archive_));
  EXPECT_EQ("No damage found", Check(portable, "application").status);
}

TEST_F(CheckArchiveTest, TheReportNamesTheDamagedRevisionWithItsSnapshot) {
  int32_t number = 0;
  const std::string path = DamagedArchive(&number);
  ASSERT_NE(0, number);
  const CheckSeen seen = Check(path, "Cairn Archive");
  EXPECT_EQ(0u, seen.status.find("Damage found: ")) << seen.status;
  bool named = false;
  for (const std::vector<std::string>& row : seen.rows) {
    ASSERT_EQ(4u, row.size());
    if (row[1] != std::to_string(number)) continue;
    named = true;
    EXPECT_EQ(Path("big.cairntest"), row[0]);
    EXPECT_EQ("Snapshot;" + std::to_string(number), row[2]);
    EXPECT_NE(std::string::npos, row[3].find("the record at archive offset")) << row[3];
  }
  EXPECT_TRUE(named) << seen.rows.size();

  // Stopped after its first object, the check reports nothing.
  size_t counted = 0;
  const CheckResult stopped =
      ArchiveOperations(path, {}).CheckArchive([&](size_t, size_t) { ++counted; }, [] { return true; });
  EXPECT_EQ(E_ABORT, stopped.hr);
  EXPECT_EQ(1u, counted);
  EXPECT_TRUE(stopped.damage.empty());
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
