// The welcome wizard under Wine: its pages, texts and buttons driven by the dialog watcher, what
// Finish and Cancel leave of the RunWizard setting, the setting as the user's choice over the
// machine's, and the folder showing it once per process.
#include "HostedViewSupport.h"

#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "RegKey.h"
#include "Registration.h"
#include "HResultAssert.h"
#include "WelcomeWizard.h"
#include "WizardResource.h"
#include "WizardSetting.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace {

using browser::testing::DialogWatcher;
using browser::testing::FindControl;
using browser::testing::PressSheetButton;
using browser::testing::SheetPage;
using browser::testing::StaticTexts;
using browser::testing::WaitFor;
using browser::testing::WatcherWait;

constexpr char kTitle[] = "Welcome to a Cairn archive";
// The wizard buttons of the system's property sheets.
constexpr int kBack = 0x3023, kNext = 0x3024, kFinish = 0x3025;

const std::wstring kOptions = L"CLSID\\" + GuidText(CLSID_CairnFolder) + L"\\Options";
const std::wstring kUserOptions = L"Software\\Classes\\" + kOptions;

void SetValue(HKEY root, const std::wstring& path, const void* data, DWORD size, DWORD type = REG_DWORD) {
  RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(root, path.c_str()));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), L"RunWizard", 0, type, static_cast<const BYTE*>(data), size));
}
void SetDword(HKEY root, const std::wstring& path, DWORD value) { SetValue(root, path, &value, sizeof value); }
void DeleteValue(HKEY root, const std::wstring& path) {
  RegKey key;
  if (key.Open(root, path.c_str(), KEY_SET_VALUE) == ERROR_SUCCESS) RegDeleteValueW(key.Get(), L"RunWizard");
}
// The user's value: -1 when there is none.
long UserValue() {
  DWORD value = 0, size = sizeof value;
  return RegGetValueW(HKEY_CURRENT_USER, kUserOptions.c_str(), L"RunWizard", RRF_RT_REG_DWORD, nullptr, &value,
                      &size) == ERROR_SUCCESS ? static_cast<long>(value) : -1;
}

bool Shown(HWND control) { return control != nullptr && IsWindowVisible(control); }
bool Usable(HWND control) { return Shown(control) && IsWindowEnabled(control); }

BOOL CALLBACK TakeWizard(HWND window, LPARAM out) {
  char text[128] = "";
  GetWindowTextA(window, text, sizeof text);
  if (std::string(text) != kTitle || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}

// The wizard's window on this thread, or null.
HWND FindWizard() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), TakeWizard, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Tests start with the machine's RunWizard = 1 as registration writes it and no choice of the
// user's, and leave the wizard turned off for the user again, as the test run keeps it.
class WelcomeWizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDword(HKEY_CLASSES_ROOT, kOptions, 1);
    DeleteValue(HKEY_CURRENT_USER, kUserOptions);
    owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner_);
  }
  void TearDown() override {
    SetDword(HKEY_CLASSES_ROOT, kOptions, 1);
    EXPECT_HR(S_OK, TurnWizardOff());
    DestroyWindow(owner_);
  }
  // Runs the wizard of this executable's resources and waits until the watcher has ended it.
  void RunToTheEnd(DialogWatcher& watcher) {
    HWND sheet = RunWelcomeWizard(owner_, GetModuleHandleW(nullptr));
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ(owner_, GetWindow(sheet, GW_OWNER));
    EXPECT_TRUE(WaitFor([sheet] { return !IsWindow(sheet); })) << "the sheet destroys itself when it ends";
    watcher.Finish();
    EXPECT_TRUE(watcher.Seen());
  }
  HWND owner_ = nullptr;
};

struct PageSeen {
  std::vector<std::string> texts;
  bool back = false, next = false, finish = false, box = false;
};

TEST_F(WelcomeWizardTest, WalksFourPagesWithTheirButtonsAndFinishingWithTheBoxTurnsItOff) {
  std::vector<PageSeen> seen;
  bool refused = false;
  DialogWatcher watcher([](const std::string& caption) { return caption == kTitle; }, [&](HWND sheet) {
    for (int page = 0; page < 4; ++page) {
      HWND current = SheetPage(sheet);
      // A page sets its buttons with a posted message: give it time to arrive before reading them.
      WatcherWait([&] {
        return Usable(FindControl(sheet, kBack)) == (page > 0) && Usable(FindControl(sheet, kNext)) == (page < 3) &&
               Usable(FindControl(sheet, kFinish)) == (page == 3);
      }, 5000);
      PageSeen one;
      one.texts = StaticTexts(current);
      one.back = Usable(FindControl(sheet, kBack));
      one.next = Usable(FindControl(sheet, kNext));
      one.finish = Usable(FindControl(sheet, kFinish));
      one.box = Shown(FindControl(current, IDC_WIZARD_DONT_SHOW));
      seen.push_back(one);
      if (page < 3) {
        PressSheetButton(sheet, PSBTN_NEXT);
        WatcherWait([sheet, current] { return SheetPage(sheet) != current; });
      }
    }
    HWND last = SheetPage(sheet);
    // Next on the last page goes nowhere; Back still works.
    SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    refused = SheetPage(sheet) == last;
    SendMessageW(FindControl(last, IDC_WIZARD_DONT_SHOW), BM_SETCHECK, BST_CHECKED, 0);
    PressSheetButton(sheet, PSBTN_FINISH);
  });
  RunToTheEnd(watcher);

  ASSERT_EQ(4u, seen.size());
  const std::vector<std::vector<std::string>> texts = {
      {"You use Cairn to maintain multiple revisions of your work. Cairn maintains these revisions in an Archive.",
       "There are four easy steps to using an archive", "1.",
       "Create an archive (Proceed directly to step 2 if you wish to use the Sample Archive on the desktop).",
       "You create an archive by selecting New Archive from the Explorer's File menu."},
      {"2.", "Put your work in an archive.", "You have now created an archive",
       "You do this in the same way that you would add items to a regular folder: use Copy-and-Paste, "
       "Drag-and-Drop or SendTo.",
       "Note: you can also add items from within the archive. First browse the archive, then select File/New/Item."},
      {"3.", "Browse the archive.", "You can now browse the archive like you would a regular folder.",
       "Your archive now contains its first snapshot ('Snapshot;1'). A snapshot reflects the state of your work at "
       "the time the snapshot was created.",
       "If you browse 'Snapshot;1' you will notice that it contains revision one (denoted by ';1') of all files and "
       "folders it contains."},
      {"4.", "Create a new snapshot.",
       "You now work on your files as normal. When you have a revision (state) of your work that you wish to keep, "
       "you simply instruct Cairn to update the archive.",
       "To create a new snapshot, select New->Snapshot from the File menu, or use the Snapshot button on the toolbar "
       "(if browsing the archive)."},
  };
  for (int page = 0; page < 4; ++page) {
    SCOPED_TRACE("page " + std::to_string(page + 1));
    std::vector<std::string> shown = seen[page].texts;
    // The sheet's own texts (none on a plain wizard) come before the page's.
    ASSERT_GE(shown.size(), texts[page].size());
    EXPECT_EQ(texts[page], std::vector<std::string>(shown.end() - texts[page].size(), shown.end()));
    EXPECT_EQ(page > 0, seen[page].back);
    EXPECT_EQ(page < 3, seen[page].next);
    EXPECT_EQ(page == 3, seen[page].finish);
    EXPECT_EQ(page == 3, seen[page].box);
  }
  EXPECT_TRUE(refused) << "Next is refused on the last page";
  EXPECT_EQ(0, UserValue());
  EXPECT_FALSE(RunWizardSet());
}

TEST_F(WelcomeWizardTest, FinishingWithTheBoxClearOrCancellingLeavesTheSetting) {
  DialogWatcher finish([](const std::string& caption) { return caption == kTitle; }, [](HWND sheet) {
    for (int page = 0; page < 3; ++page) {
      HWND current = SheetPage(sheet);
      PressSheetButton(sheet, PSBTN_NEXT);
      WatcherWait([sheet, current] { return SheetPage(sheet) != current; });
    }
    PressSheetButton(sheet, PSBTN_FINISH);
  });
  RunToTheEnd(finish);
  EXPECT_EQ(-1, UserValue());
  EXPECT_TRUE(RunWizardSet()) << "the next process shows the wizard again";

  DialogWatcher cancel([](const std::string& caption) { return caption == kTitle; }, [](HWND sheet) {
    for (int page = 0; page < 3; ++page) {
      HWND current = SheetPage(sheet);
      PressSheetButton(sheet, PSBTN_NEXT);
      WatcherWait([sheet, current] { return SheetPage(sheet) != current; });
    }
    SendMessageW(FindControl(SheetPage(sheet), IDC_WIZARD_DONT_SHOW), BM_SETCHECK, BST_CHECKED, 0);
    PressSheetButton(sheet, PSBTN_CANCEL);
  });
  RunToTheEnd(cancel);
  EXPECT_EQ(-1, UserValue());
  EXPECT_TRUE(RunWizardSet());
}

TEST_F(WelcomeWizardTest, TheUsersChoiceDecidesOverTheMachinesValue) {
  const unsigned char shortValue[2] = {1, 0};
  const ULONGLONG longValue = 1;
  struct Case {
    const char* what;
    int machine;  // -1: none; 2: two bytes; 8: eight bytes; else a DWORD
    long user;    // -1: none
    bool runs;
  } cases[] = {
      {"registered", 1, -1, true},
      {"the machine's value deleted", -1, -1, false},
      {"the machine's value 0", 0, -1, false},
      {"two bytes long", 2, -1, false},
      {"eight bytes long", 8, -1, false},
      {"the user turned it off", 1, 0, false},
      {"the user turned it on", 0, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteValue(HKEY_CLASSES_ROOT, kOptions);
    if (c.machine == 2) SetValue(HKEY_CLASSES_ROOT, kOptions, shortValue, sizeof shortValue, REG_BINARY);
    else if (c.machine == 8) SetValue(HKEY_CLASSES_ROOT, kOptions, &longValue, sizeof longValue, REG_QWORD);
    else if (c.machine >= 0) SetDword(HKEY_CLASSES_ROOT, kOptions, static_cast<DWORD>(c.machine));
    DeleteValue(HKEY_CURRENT_USER, kUserOptions);
    if (c.user >= 0) SetDword(HKEY_CURRENT_USER, kUserOptions, static_cast<DWORD>(c.user));
    EXPECT_EQ(c.runs, RunWizardSet());
    WizardGate gate;
    EXPECT_EQ(c.runs, gate.ShouldRun());
    EXPECT_FALSE(gate.ShouldRun()) << "at most once per gate";
  }

  // A gate asked while the setting says no has not started: it answers yes once it says yes.
  WizardGate gate;
  DeleteValue(HKEY_CURRENT_USER, kUserOptions);
  SetDword(HKEY_CLASSES_ROOT, kOptions, 0);
  EXPECT_FALSE(gate.ShouldRun());
  SetDword(HKEY_CLASSES_ROOT, kOptions, 1);
  EXPECT_TRUE(gate.ShouldRun());
}

// The loaded extension's answer to DllCanUnloadNow.
HRESULT CanUnloadExtension() {
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  const auto entry = reinterpret_cast<CanUnload>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("nsx12.dll"), "DllCanUnloadNow")));
  return entry != nullptr ? entry() : E_FAIL;
}

class WizardFolderTest : public testing::ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    SetDword(HKEY_CLASSES_ROOT, kOptions, 1);
    DeleteValue(HKEY_CURRENT_USER, kUserOptions);
    owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner_);
  }
  void TearDown() override {
    EXPECT_HR(S_OK, TurnWizardOff());
    DestroyWindow(owner_);
  }
  HWND owner_ = nullptr;
};

// The extension's own gate, in nsx12.dll, opens once per process and nothing closes it again:
// the test needs a process in which no view was made before, so it runs in one of its own (the
// run's wizard_tests_first_view), and the executable's other tests may make views.
TEST_F(WizardFolderTest, TheFirstViewOfTheProcessBringsTheWizardOnce) {
  if (::testing::UnitTest::GetInstance()->test_to_run_count() != 1)
    GTEST_SKIP() << "needs a process of its own: run it alone, as wizard_tests_first_view does";
  ASSERT_TRUE(CopyFileA(archive_.c_str(), Path("second.crn").c_str(), TRUE));
  ComPtr<IShellFolder> first = testing::OpenArchiveFolder(archive_);
  ComPtr<IShellFolder> second = testing::OpenArchiveFolder(Path("second.crn"));
  ASSERT_TRUE(first && second);

  ComPtr<IShellView> view;
  // A drop target is no view for the shell: it brings no wizard.
  ComPtr<IDropTarget> target;
  EXPECT_HR(S_OK, first->CreateViewObject(owner_, IID_IDropTarget, target.OutVoid()));
  EXPECT_EQ(nullptr, FindWizard());

  EXPECT_HR(S_OK, first->CreateViewObject(owner_, IID_IShellView, view.OutVoid()));
  HWND wizard = FindWizard();
  ASSERT_NE(nullptr, wizard) << "the modeless wizard is up when the view is made";
  EXPECT_EQ(owner_, GetWindow(wizard, GW_OWNER));

  // With every reference released, the open wizard alone keeps the extension's code loaded.
  view.Reset();
  target.Reset();
  first.Reset();
  second.Reset();
  EXPECT_EQ(S_FALSE, CanUnloadExtension()) << "the wizard's procedures live in the extension";
  PressSheetButton(wizard, PSBTN_CANCEL);
  EXPECT_TRUE(WaitFor([wizard] { return !IsWindow(wizard); }));
  EXPECT_TRUE(RunWizardSet()) << "cancelling changes nothing";
  EXPECT_EQ(S_OK, CanUnloadExtension()) << "the closed wizard holds nothing";

  first = testing::OpenArchiveFolder(archive_);
  second = testing::OpenArchiveFolder(Path("second.crn"));
  ASSERT_TRUE(first && second);
  EXPECT_HR(S_OK, second->CreateViewObject(owner_, IID_IShellView, view.OutVoid()));
  EXPECT_EQ(nullptr, FindWizard()) << "a second archive in the same process";
  view.Reset();
  EXPECT_HR(S_OK, first->CreateViewObject(owner_, IID_IShellView, view.OutVoid()));
  EXPECT_EQ(nullptr, FindWizard());
}

}  // namespace
}  // namespace shell
}  // namespace cairn
