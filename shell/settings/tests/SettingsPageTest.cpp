// An archive file's properties as Explorer shows them under Wine: the handler's pages in a real
// modal property sheet, driven and read by a watcher thread; the options and lists read back from
// the archive; the Autosnap job read back from the scheduler's folder and run as the scheduler
// would run it. Wine's scheduler offers no schedule page, so there the sheet has the Settings page
// alone.
#include "HostedViewSupport.h"
#include "WorkerSupport.h"

#include <mstask.h>
#include <prsht.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AnsiText.h"
#include "ArchiveOperations.h"
#include "AutosnapJob.h"
#include "Capability.h"
#include "Handle.h"
#include "NewArchive.h"
#include "ReadOnlyFile.h"
#include "RegKey.h"
#include "ScheduledJob.h"
#include "SettingsResource.h"
#include "cairn.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

using browser::testing::ControlText;
using browser::testing::DialogWatcher;
using browser::testing::FindControl;
using browser::testing::PageTemplate;
using browser::testing::PressSheetButton;
using browser::testing::SelectSheetPage;
using browser::testing::SheetPage;

constexpr char kCaption[] = "Archive Properties";
constexpr char kNotSaved[] = "Settings Not Saved";

// On the watcher's thread: a control of the sheet's current page.
HWND Control(HWND sheet, int id) { return FindControl(SheetPage(sheet), id); }
bool Checked(HWND sheet, int id) { return SendMessageA(Control(sheet, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Enabled(HWND sheet, int id) { return IsWindowEnabled(Control(sheet, id)) != FALSE; }
// A click on a check box or radio button: its new state, then the notice the page gets.
void Click(HWND sheet, int id, bool checked) {
  HWND button = Control(sheet, id);
  SendMessageA(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageA(SheetPage(sheet), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}
void Notify(HWND sheet, int id, UINT code) {
  SendMessageA(SheetPage(sheet), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Control(sheet, id)));
}
void ShowList(HWND sheet, int kind) {
  SendMessageA(Control(sheet, IDC_SETTINGS_LIST_KIND), CB_SETCURSEL, kind, 0);
  Notify(sheet, IDC_SETTINGS_LIST_KIND, CBN_SELCHANGE);
}
void AddPattern(HWND sheet, const char* pattern) {
  SetWindowTextA(Control(sheet, IDC_SETTINGS_PATTERN), pattern);
  Notify(sheet, IDC_SETTINGS_ADD, BN_CLICKED);
}
std::vector<std::string> Patterns(HWND sheet) {
  std::vector<std::string> rows;
  HWND list = Control(sheet, IDC_SETTINGS_PATTERNS);
  for (LRESULT i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
    char text[300] = "";
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    rows.push_back(text);
  }
  return rows;
}

// The sheet's add-page function: the pages are collected for the sheet to be made.
BOOL CALLBACK AddPage(HPROPSHEETPAGE page, LPARAM pages) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(pages)->push_back(page);
  return TRUE;
}
INT_PTR CALLBACK StandInPage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The time as the page writes it: local, the date in full, and the locale's time.
std::string WrittenOut(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME parts;
  char date[128] = "", clock[64] = "";
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &parts);
  GetDateFormatA(LOCALE_USER_DEFAULT, 0, &parts, "dd MMMM yyyy", date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, LOCALE_NOUSEROVERRIDE, &parts, nullptr, clock, sizeof clock);
  return std::string(date) + " " + clock;
}

// What an archive's engine says of its options and lists.
struct Stored {
  long options = -1;
  std::string include, exclude;
};
Stored Read(const std::string& archive) {
  Stored stored;
  ComPtr<IPersistFile> file;
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<ICairnArchiveFilter> filter;
  Bstr include, exclude;
  if (SUCCEEDED(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid())) &&
      SUCCEEDED(file->Load(FromAnsi(archive).c_str(), STGM_READ)) && SUCCEEDED(file.As(&admin)) &&
      SUCCEEDED(file.As(&filter)) && SUCCEEDED(admin->GetOptions(&stored.options)) &&
      SUCCEEDED(filter->GetInclList(include.Out())) && SUCCEEDED(filter->GetExclList(exclude.Out()))) {
    stored.include = BstrAnsi(include.Get());
    stored.exclude = BstrAnsi(exclude.Get());
  }
  return stored;
}

// A job read from its file in the scheduler's folder. The scheduler here opens no job whose name
// holds a '.', so the file is loaded into a work item of another name.
struct Job {
  bool read = false;
  std::wstring application, parameters;
  DWORD flags = 0;
};
Job ReadJob(const std::wstring& file) {
  Job job;
  ComPtr<ITaskScheduler> scheduler;
  ComPtr<ITask> task;
  ComPtr<IPersistFile> persist;
  TaskMemory<wchar_t> application, parameters;
  job.read = SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                        scheduler.OutVoid())) &&
             SUCCEEDED(scheduler->NewWorkItem(L"cairn-test-reader", CLSID_CTask, IID_ITask,
                                              reinterpret_cast<IUnknown**>(task.Out()))) &&
             SUCCEEDED(task.As(&persist)) && SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
             SUCCEEDED(task->GetApplicationName(application.Out())) && SUCCEEDED(task->GetParameters(parameters.Out())) &&
             SUCCEEDED(task->GetFlags(&job.flags));
  if (job.read) {
    job.application = application.Get();
    job.parameters = parameters.Get();
  }
  return job;
}

class SettingsPageTest : public ArchiveTest {
 protected:
  void TearDown() override {
    for (const std::string& archive : {archive_, Path("empty.crn")})
      DeleteFileW(ScheduledJobFile(ScheduledJobName(FromAnsi(archive))).c_str());
  }

  // Shows the archive file's properties as Explorer does: the pages the handler adds (and, with
  // standIn, one more standing in for a schedule page) in a modal sheet; the watcher's answer
  // runs on its thread. The number of pages the handler added.
  size_t ShowProperties(const std::string& archive, DialogWatcher::Answer answer, bool standIn = false) {
    ComPtr<IShellExtInit> init;
    ComPtr<IShellPropSheetExt> handler;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_CairnShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                     init.OutVoid()));
    RegKey archiveClass;
    archiveClass.Open(HKEY_CLASSES_ROOT, L"Cairn Archive", KEY_READ);
    if (!init || FAILED(init->Initialize(nullptr, FilesData::Make({archive}, false).Get(), archiveClass.Get())) ||
        FAILED(init.As(&handler)))
      return 0;
    std::vector<HPROPSHEETPAGE> pages;
    EXPECT_EQ(S_OK, handler->AddPages(&AddPage, reinterpret_cast<LPARAM>(&pages)));
    const size_t added = pages.size();
    const PageTemplate schedule({"A schedule page stands here"});
    if (standIn) {
      PROPSHEETPAGEW page = {};
      page.dwSize = sizeof page;
      page.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
      page.pResource = schedule.Get();
      page.pszTitle = L"Schedule";
      page.pfnDlgProc = &StandInPage;
      pages.push_back(CreatePropertySheetPageW(&page));
    }
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_NOCONTEXTHELP;
    header.pszCaption = kCaption;
    header.nPages = static_cast<UINT>(pages.size());
    header.phpage = pages.data();
    DialogWatcher watcher([](const std::string& caption) { return caption == kCaption; }, std::move(answer));
    PropertySheetA(&header);
    watcher.Finish();
    EXPECT_TRUE(watcher.Seen());
    return added;
  }
};

TEST_F(SettingsPageTest, OptionsRoundTripAndTheSpaceBitIsKeptWhileCompressionIsOff) {
  ASSERT_EQ(0x7, Read(archive_).options);  // a new archive's: compress, show and dismiss the window
  ComPtr<IPersistFile> file = HoldArchive(archive_);
  ComPtr<ICairnArchive> archive;
  ComPtr<IEnumSnapShots> snapshots;
  ComPtr<ICairnSnapShot> latest;
  unsigned long high = 0, low = 0;
  ASSERT_TRUE(file && SUCCEEDED(file.As(&archive)) && SUCCEEDED(archive->EnumSnapShots(0, snapshots.Out())) &&
              snapshots->Last(1, latest.Out()) == S_OK && SUCCEEDED(latest->GetCreationTime(&high, &low)));
  const std::string created = "Last snapshot created " + WrittenOut(FILETIME{low, high});
  file.Reset();
  archive.Reset();
  snapshots.Reset();
  latest.Reset();

  std::vector<std::string> shown;
  std::vector<bool> states;
  ShowProperties(archive_, [&](HWND sheet) {
    shown = {ControlText(Control(sheet, IDC_SETTINGS_COUNT)), ControlText(Control(sheet, IDC_SETTINGS_LAST))};
    states = {Checked(sheet, IDC_SETTINGS_COMPRESS),       Checked(sheet, IDC_SETTINGS_SPEED),
              Checked(sheet, IDC_SETTINGS_SPACE),          Enabled(sheet, IDC_SETTINGS_SPACE),
              Checked(sheet, IDC_SETTINGS_MODIFIED_TIME),  Enabled(sheet, IDC_SETTINGS_MODIFIED_TIME),
              Checked(sheet, IDC_SETTINGS_SHOW_ACTIVITY),  Checked(sheet, IDC_SETTINGS_AUTO_DISMISS),
              Enabled(sheet, IDC_SETTINGS_AUTO_DISMISS)};
    Click(sheet, IDC_SETTINGS_SPEED, false);
    Click(sheet, IDC_SETTINGS_SPACE, true);
    Click(sheet, IDC_SETTINGS_SHOW_ACTIVITY, false);
    states.push_back(Enabled(sheet, IDC_SETTINGS_AUTO_DISMISS));
    PressSheetButton(sheet, PSBTN_OK);
  });
  EXPECT_EQ((std::vector<std::string>{"2 snapshot(s) contained", created}), shown);
  EXPECT_EQ((std::vector<bool>{true, true, false, true, false, true, true, true, true, false}), states);
  EXPECT_EQ(0x1 | 0x8 | 0x4, Read(archive_).options) << "compressed for space, the window dismissed but not shown";

  // Compression off keeps the space bit; the radios wait, disabled.
  ShowProperties(archive_, [&](HWND sheet) {
    states = {Checked(sheet, IDC_SETTINGS_SPACE)};
    Click(sheet, IDC_SETTINGS_COMPRESS, false);
    states.push_back(Enabled(sheet, IDC_SETTINGS_SPACE));
    PressSheetButton(sheet, PSBTN_OK);
  });
  EXPECT_EQ((std::vector<bool>{true, false}), states);
  EXPECT_EQ(0x8 | 0x4, Read(archive_).options);

  // While compression is off the space bit is not read: "speed" is shown, and it is what turning
  // compression on again applies.
  ShowProperties(archive_, [&](HWND sheet) {
    states = {Checked(sheet, IDC_SETTINGS_SPEED), Enabled(sheet, IDC_SETTINGS_SPEED)};
    Click(sheet, IDC_SETTINGS_COMPRESS, true);
    PressSheetButton(sheet, PSBTN_OK);
  });
  EXPECT_EQ((std::vector<bool>{true, false}), states);
  EXPECT_EQ(0x1 | 0x4, Read(archive_).options);
}

// How changes are found is the user's choice at any time; the names' encoding only while the
// archive holds no snapshot, since stored names never change encoding.
TEST_F(SettingsPageTest, ChangeFindingBitsAnytimeAndUtf8NamesOnlyBeforeTheFirstSnapshot) {
  std::vector<bool> states;
  ShowProperties(archive_, [&](HWND sheet) {
    states = {Enabled(sheet, IDC_SETTINGS_MOVED_DATA), Checked(sheet, IDC_SETTINGS_UTF8_NAMES),
              Enabled(sheet, IDC_SETTINGS_UTF8_NAMES)};
    Click(sheet, IDC_SETTINGS_MODIFIED_TIME, true);
    Click(sheet, IDC_SETTINGS_MOVED_DATA, true);
    PressSheetButton(sheet, PSBTN_OK);
  });
  EXPECT_EQ((std::vector<bool>{true, false, false}), states) << "two snapshots: the encoding is fixed";
  EXPECT_EQ(0x7 | 0x10 | 0x20, Read(archive_).options);
  ShowProperties(archive_, [&](HWND sheet) {
    states = {Checked(sheet, IDC_SETTINGS_MODIFIED_TIME), Checked(sheet, IDC_SETTINGS_MOVED_DATA)};
    Click(sheet, IDC_SETTINGS_MODIFIED_TIME, false);
    PressSheetButton(sheet, PSBTN_OK);
  });
  EXPECT_EQ((std::vector<bool>{true, true}), states);
  EXPECT_EQ(0x7 | 0x20, Read(archive_).options);

  const std::string empty = Path("empty.crn");
  CreateArchiveFromCommand("999 " + empty);
  ShowProperties(empty, [&](HWND sheet) {
    states = {Enabled(sheet, IDC_SETTINGS_UTF8_NAMES)};
    Click(sheet, IDC_SETTINGS_UTF8_NAMES, true);
    PressSheetButton(sheet, PSBTN_OK);
  });
  EXPECT_EQ((std::vector<bool>{true}), states);
  EXPECT_EQ(0x7 | 0x40, Read(empty).options);
  ASSERT_TRUE(ArchiveOperations(empty, {}).AddFiles({FromAnsi(data_)}, nullptr));
  ShowProperties(empty, [&](HWND sheet) {
    states = {Checked(sheet, IDC_SETTINGS_UTF8_NAMES), Enabled(sheet, IDC_SETTINGS_UTF8_NAMES)};
    PressSheetButton(sheet, PSBTN_CANCEL);
  });
  EXPECT_EQ((std::vector<bool>{true, false}), states);
}

TEST_F(SettingsPageTest, APatternAddedTwiceIsStoredTwiceAndRemoveTakesTheFirstCopy) {
  std::vector<std::vector<std::string>> seen;
  bool removable = true;
  ShowProperties(archive_, [&](HWND sheet) {
    seen.push_back({ControlText(Control(sheet, IDC_SETTINGS_LIST_KIND))});
    ShowList(sheet, 1);  // Include
    for (const char* pattern : {"*.tmp", "*.doc", "*.tmp", ""}) AddPattern(sheet, pattern);
    seen.push_back(Patterns(sheet));
    removable = Enabled(sheet, IDC_SETTINGS_REMOVE);
    // The second copy is selected; the first one goes.
    SendMessageA(Control(sheet, IDC_SETTINGS_PATTERNS), LB_SETCURSEL, 2, 0);
    Notify(sheet, IDC_SETTINGS_PATTERNS, LBN_SELCHANGE);
    seen.push_back({Enabled(sheet, IDC_SETTINGS_REMOVE) ? "removable" : "fixed"});
    Notify(sheet, IDC_SETTINGS_REMOVE, BN_CLICKED);
    seen.push_back(Patterns(sheet));
    ShowList(sheet, 0);  // Exclude
    AddPattern(sheet, "*.bak");
    PressSheetButton(sheet, PSBTN_OK);
  });
  EXPECT_EQ((std::vector<std::vector<std::string>>{
                {"Exclude"}, {"*.tmp", "*.doc", "*.tmp"}, {"removable"}, {"*.doc", "*.tmp"}}),
            seen);
  EXPECT_FALSE(removable) << "nothing selected";
  EXPECT_EQ("*.doc,*.tmp", Read(archive_).include);
  EXPECT_EQ("*.bak", Read(archive_).exclude);

  // The exclude list is shown first while it has patterns; emptied, the include list is.
  seen.clear();
  ShowProperties(archive_, [&](HWND sheet) {
    seen.push_back(Patterns(sheet));
    SendMessageA(Control(sheet, IDC_SETTINGS_PATTERNS), LB_SETCURSEL, 0, 0);
    Notify(sheet, IDC_SETTINGS_PATTERNS, LBN_SELCHANGE);
    Notify(sheet, IDC_SETTINGS_REMOVE, BN_CLICKED);
    PressSheetButton(sheet, PSBTN_OK);
  });
  ShowProperties(archive_, [&](HWND sheet) {
    seen.push_back({ControlText(Control(sheet, IDC_SETTINGS_LIST_KIND))});
    seen.push_back(Patterns(sheet));
    PressSheetButton(sheet, PSBTN_CANCEL);
  });
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"*.bak"}, {"Include"}, {"*.doc", "*.tmp"}}), seen);
  EXPECT_EQ("", Read(archive_).exclude);
}

TEST_F(SettingsPageTest, LeavingThePageWritesAsApplyingDoes) {
  ShowProperties(archive_, [](HWND sheet) {
    Click(sheet, IDC_SETTINGS_COMPRESS, false);
    SelectSheetPage(sheet, 1);
    PressSheetButton(sheet, PSBTN_CANCEL);
  }, true);
  EXPECT_EQ(0x6, Read(archive_).options) << "written when the schedule page was chosen, before Cancel";
}

// Another writer keeps the archive (a scheduled snapshot, from outside this desktop): applying
// cannot write, so the sheet stays open with the changes until the writer is done.
TEST_F(SettingsPageTest, ABusyArchiveKeepsTheSheetOpenUntilItCanWrite) {
  Handle writer(CreateFileA(archive_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr));
  ASSERT_TRUE(writer);
  bool stayed = false;
  std::string message;
  ShowProperties(archive_, [&](HWND sheet) {
    Click(sheet, IDC_SETTINGS_AUTO_DISMISS, false);
    // Sent, not posted: the press is over when the send returns. A modal sheet that ends on a
    // sent press waits for a posted message before it sees it has ended, so only this press,
    // which must not end the sheet, is sent.
    DialogWatcher box(kNotSaved);
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    box.Finish();
    message = box.LongestText();
    stayed = IsWindow(sheet) && SheetPage(sheet) != nullptr;
    writer.Reset();
    PressSheetButton(sheet, PSBTN_OK);
  });
  EXPECT_TRUE(stayed);
  EXPECT_NE(std::string::npos, message.find("another program is writing to the archive")) << message;
  EXPECT_EQ(0x3, Read(archive_).options);
}

// An archive moved away while its page is open, or a read-only one, cannot take the change: the
// sheet stays open and says why, and nothing is written.
TEST_F(SettingsPageTest, AnArchiveThatCannotBeOpenedKeepsTheSheetOpenSaysWhyAndChangesNothing) {
  const long before = Read(archive_).options;
  const std::string moved = Path("moved.crn");
  bool movedAway = false, stayed = false;
  std::string message;
  ShowProperties(archive_, [&](HWND sheet) {
    Click(sheet, IDC_SETTINGS_AUTO_DISMISS, false);
    movedAway = MoveFileA(archive_.c_str(), moved.c_str()) != FALSE;
    DialogWatcher box(kNotSaved);
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    box.Finish();
    message = box.LongestText();
    stayed = IsWindow(sheet) && SheetPage(sheet) != nullptr;
    PressSheetButton(sheet, PSBTN_CANCEL);
  });
  ASSERT_TRUE(movedAway);
  ASSERT_TRUE(MoveFileA(moved.c_str(), archive_.c_str()));
  EXPECT_TRUE(stayed) << "the failure is no success";
  EXPECT_NE(std::string::npos, message.find("no longer where it was")) << message;
  EXPECT_EQ(before, Read(archive_).options);

  // A read-only archive: the options and both lists stay as they were.
  const Stored stored = Read(archive_);
  std::optional<cairn::testing::ReadOnlyFile> readOnly(std::in_place, FromAnsi(archive_));
  if (!readOnly->ReadOnly()) CAIRN_SKIP_WITHOUT("a file that cannot be written (read-only, or immutable by chattr)");
  stayed = false;
  message.clear();
  ShowProperties(archive_, [&](HWND sheet) {
    Click(sheet, IDC_SETTINGS_COMPRESS, true);
    ShowList(sheet, 1);
    AddPattern(sheet, "*.doc");
    DialogWatcher box(kNotSaved);
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    box.Finish();
    message = box.LongestText();
    stayed = IsWindow(sheet) && SheetPage(sheet) != nullptr;
    PressSheetButton(sheet, PSBTN_CANCEL);
  });
  readOnly.reset();
  EXPECT_TRUE(stayed);
  EXPECT_NE(std::string::npos, message.find("read-only")) << message;
  const Stored after = Read(archive_);
  EXPECT_EQ(stored.options, after.options);
  EXPECT_EQ(stored.include, after.include);
  EXPECT_EQ(stored.exclude, after.exclude);
}

TEST_F(SettingsPageTest, AnArchiveWithoutSnapshotsShowsADashAndWineOffersNoSchedulePage) {
  const std::string empty = Path("empty.crn");
  CreateArchiveFromCommand("999 " + empty);
  std::vector<std::string> shown;
  const size_t pages = ShowProperties(empty, [&](HWND sheet) {
    shown = {ControlText(Control(sheet, IDC_SETTINGS_COUNT)), ControlText(Control(sheet, IDC_SETTINGS_LAST))};
    PressSheetButton(sheet, PSBTN_CANCEL);
  });
  EXPECT_EQ((std::vector<std::string>{"0 snapshot(s) contained", "Last snapshot created  - "}), shown);
  EXPECT_EQ(1u, pages) << "the scheduler here gives no schedule page";
}

// D:\Work\Report.crn's job is D--Work-Report.crn.job; it is made once, found again by its name
// and left as it is. Run as the scheduler runs it, cn takes an Autosnap snapshot, and once the
// archive is gone cn removes the job.
TEST_F(SettingsPageTest, TheAutosnapJobIsNamedAfterTheArchiveMadeOnceAndRunsCn) {
  const std::wstring reportJob = ScheduledJobFile(L"D--Work-Report.crn.job");
  DeleteFileW(reportJob.c_str());
  const AutosnapJob report("D:\\Work\\Report.crn");
  EXPECT_TRUE(report.FindOrCreate());
  const Job made = ReadJob(reportJob);
  ASSERT_TRUE(made.read);
  EXPECT_EQ(L"cn.exe", made.application);
  EXPECT_EQ(L"/n Autosnap \"D:\\Work\\Report.crn\"", made.parameters);
  EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_HIDDEN), made.flags);
  const std::string before = cairn::testing::ReadFileBytes(ToAnsi(reportJob.c_str()));
  report.FindOrCreate();
  EXPECT_EQ(before, cairn::testing::ReadFileBytes(ToAnsi(reportJob.c_str())));
  DeleteFileW(reportJob.c_str());

  // Through the archive file's properties, opened twice.
  const std::string job = ToAnsi(ScheduledJobFile(ScheduledJobName(FromAnsi(archive_))).c_str());
  ShowProperties(archive_, [](HWND sheet) { PressSheetButton(sheet, PSBTN_CANCEL); });
  const std::string first = cairn::testing::ReadFileBytes(job);
  ASSERT_FALSE(first.empty());
  ShowProperties(archive_, [](HWND sheet) { PressSheetButton(sheet, PSBTN_CANCEL); });
  EXPECT_EQ(first, cairn::testing::ReadFileBytes(job)) << "found again, not made or written again";

  const Job autosnap = ReadJob(FromAnsi(job));
  ASSERT_TRUE(autosnap.read);
  const std::string run =
      "\"" + ModuleDirectory() + "\\..\\cli\\" + ToAnsi(autosnap.application.c_str()) + "\" " + ToAnsi(autosnap.parameters.c_str());
  ASSERT_TRUE(WriteText(data_ + "\\notes.cairntest", "notes, changed for the schedule"));
  EXPECT_EQ(1u, RunProgram(run, Path("")));
  EXPECT_EQ("Snapshot;1 Snapshot;2 Autosnap;3", ListedSnapshots(archive_));
  ASSERT_TRUE(DeleteFileA(archive_.c_str()));
  EXPECT_NE(0u, RunProgram(run, Path("")));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(job.c_str())) << "cn removed the job of a lost archive";
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
