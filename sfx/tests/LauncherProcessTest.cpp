// sfxstub.exe run as a process, its windows driven from the test the way a user would: found by
// class and process, read, and answered by pressing their buttons. Every wait has a time limit.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "Conversion.h"
#include "DownloadDialog.h"
#include "ProcessCrash.h"
#include "SfxTestSupport.h"
#include "resource.h"

namespace cairn {
namespace sfx {
namespace {

using namespace testing;

constexpr DWORD kPatience = 20000;
constexpr WORD kMessageText = 0xFFFF;  // the text control of a message box

// Asked with WM_GETTEXT, which reaches the controls of another process too.
std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR ignored;
  SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kPatience,
                      &ignored);
  return text;
}

std::wstring LauncherString(UINT id) {
  static HMODULE launcher = LoadLibraryExW(BesideTests(L"sfxstub.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  wchar_t text[512] = {};
  LoadStringW(launcher, id, text, ARRAYSIZE(text));
  return text;
}

// One run of a launcher (sfxstub.exe or a self-extracting archive); ended by force if the test
// leaves it running. Its standard output and error go to a file, where a crash report from Wine
// fails the test whatever the exit code.
class LauncherRun {
 public:
  LauncherRun(const std::wstring& program, const std::wstring& arguments)
      : output_(BesideTests((L"launcher-" + std::to_wstring(GetTickCount()) + L".txt").c_str())) {
    std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileW(output_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = output;
    EXPECT_TRUE(CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &process_))
        << "cannot start " << Utf8(program) << ": " << GetLastError();
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  }
  ~LauncherRun() {
    if (process_.hProcess == nullptr) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      ADD_FAILURE() << "the launcher was still running";
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, kPatience);
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    std::string text;
    if (FILE* in = _wfopen(output_.c_str(), L"rb")) {
      char piece[4096];
      for (size_t n; (n = fread(piece, 1, sizeof piece, in)) > 0;) text.append(piece, n);
      fclose(in);
    }
    DeleteFileW(output_.c_str());
    EXPECT_FALSE(cairn::testing::ShowsCrash(code, text, "")) << "the launcher crashed (exit code " << code << "):\n" << text;
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  LauncherRun(const LauncherRun&) = delete;
  LauncherRun& operator=(const LauncherRun&) = delete;

  // A visible top-level window of the launcher of that class (and title, if given); null after
  // kPatience.
  HWND WaitForWindow(const wchar_t* className, const wchar_t* title = nullptr) const {
    for (DWORD start = GetTickCount(); GetTickCount() - start < kPatience; Sleep(50)) {
      Search search = {process_.dwProcessId, className, title, nullptr};
      EnumWindows(Find, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) return search.found;
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) break;
    }
    ADD_FAILURE() << "no window of class " << Utf8(className);
    return nullptr;
  }

  // The exit code, or -2 when the launcher did not end within kPatience.
  DWORD Exit() const {
    DWORD code = static_cast<DWORD>(-2);
    if (process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, kPatience) == WAIT_OBJECT_0)
      GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

 private:
  struct Search {
    DWORD process;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
  };
  static BOOL CALLBACK Find(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    wchar_t className[64] = {};
    GetWindowThreadProcessId(window, &owner);
    GetClassNameW(window, className, ARRAYSIZE(className));
    if (owner != search->process || !IsWindowVisible(window) || lstrcmpW(className, search->className) != 0 ||
        (search->title != nullptr && WindowText(window) != search->title))
      return TRUE;
    search->found = window;
    return FALSE;
  }

  std::wstring output_;
  PROCESS_INFORMATION process_ = {};
};

void Press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Reads the message box the launcher shows, checks its caption and text, and closes it.
void ExpectMessage(const LauncherRun& run, UINT caption, UINT text) {
  HWND box = run.WaitForWindow(L"#32770", LauncherString(caption).c_str());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(box, kMessageText)), LauncherString(text));
  Press(box, IDOK);
}

// Under Wine without a window manager, hiding a managed window waits two seconds for a manager
// to confirm it; the launchers run by these tests get unmanaged windows instead.
const wchar_t* const kUnmanaged[] = {L"Software\\Wine\\AppDefaults\\sfxstub.exe", L"Software\\Wine\\AppDefaults\\a.exe"};

class LauncherProcessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const wchar_t* app : kUnmanaged)
      RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(app) + L"\\X11 Driver").c_str(), L"Managed", REG_SZ, L"N", 4);
  }
  static void TearDownTestSuite() {
    for (const wchar_t* app : kUnmanaged) RegDeleteTreeW(HKEY_CURRENT_USER, app);
  }

  void SetUp() override {
    // The downloaded installer goes to the launcher's temporary folder: this test's own.
    GetEnvironmentVariableW(L"TMP", savedTmp_, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", savedTemp_, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", Wide(dir_.Path("")).c_str());
    SetEnvironmentVariableW(L"TEMP", Wide(dir_.Path("")).c_str());
    // The archive class's open command records what it is given.
    const std::wstring command = L"\"" + BesideTests(L"fake_installer.exe") + L"\" \"" + Wide(Record()) + L"\" \"%1\" %*";
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Cairn Archive\\shell\\open\\command", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    UninstallEntry::Remove();
    // A self-extracting archive to run.
    ASSERT_TRUE(WriteFileBytes(dir_.Path("a.crn"), "archive bytes"));
    LauncherRun convert(BesideTests(L"sfxstub.exe"), Wide(dir_.Path("a.crn")));
    ASSERT_EQ(convert.Exit(), 0u);
    ASSERT_TRUE(Exists(dir_.Path("a.exe")));
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Cairn Archive");
    UninstallEntry::Remove();
    SetEnvironmentVariableW(L"TMP", savedTmp_);
    SetEnvironmentVariableW(L"TEMP", savedTemp_);
  }

  std::string Record() const { return dir_.Path("opened.txt"); }
  // What the archive class's open command was given, once it has run; empty if it never ran.
  std::wstring Opened(DWORD wait) const {
    for (DWORD start = GetTickCount(); GetTickCount() - start < wait; Sleep(50))
      if (Exists(Record())) break;
    Sleep(100);  // let the writer finish
    const std::string bytes = ReadFileBytes(Record());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }
  std::wstring SelfExtracting() const { return Wide(dir_.Path("a.exe")); }

  TempDir dir_;
  wchar_t savedTmp_[MAX_PATH] = {}, savedTemp_[MAX_PATH] = {};
};

TEST_F(LauncherProcessTest, TakesTheWholeCommandLineAsThePath) {
  const std::wstring spaced = Wide(dir_.Path("my archive.crn"));
  ASSERT_TRUE(WriteFileBytes(Utf8(spaced), "some archive"));
  { LauncherRun run(BesideTests(L"sfxstub.exe"), spaced); EXPECT_EQ(run.Exit(), 0u); }
  EXPECT_EQ(ReadFileBytes(dir_.Path("my archive.exe")).size(), kArchiveOffset + 12);
  // Quoted, the path ends in a quote: nothing happens.
  { LauncherRun run(SelfExtracting(), L"\"" + Wide(dir_.Path("my archive.exe")) + L"\""); EXPECT_EQ(run.Exit(), 0u); }
  EXPECT_FALSE(Exists(dir_.Path("my archive.crn")));
  // A self-extracting archive converts as well as the bare launcher.
  { LauncherRun run(SelfExtracting(), Wide(dir_.Path("my archive.exe"))); EXPECT_EQ(run.Exit(), 0u); }
  EXPECT_EQ(ReadFileBytes(dir_.Path("my archive.crn")), "some archive");
  EXPECT_FALSE(Exists(dir_.Path("my archive.exe")));
}

TEST_F(LauncherProcessTest, WarnsWhenTheOriginalArchiveStaysOpen) {
  ASSERT_TRUE(WriteFileBytes(dir_.Path("b.crn"), "open archive"));
  HANDLE open = CreateFileW(Wide(dir_.Path("b.crn")).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  {
    LauncherRun run(BesideTests(L"sfxstub.exe"), Wide(dir_.Path("b.crn")));
    ExpectMessage(run, IDS_WARNING, IDS_ARCHIVE_KEPT);
    EXPECT_EQ(run.Exit(), 0u);
  }
  CloseHandle(open);
  EXPECT_EQ(ReadFileBytes(dir_.Path("b.exe")).size(), kArchiveOffset + 12);
  EXPECT_EQ(ReadFileBytes(dir_.Path("b.crn")), "open archive");
}

TEST_F(LauncherProcessTest, OpensItselfAsAnArchiveWhenInstalled) {
  const std::string name("Cairn 2000", 11);
  UninstallEntry installed(&name);
  LauncherRun run(SelfExtracting(), L"");
  EXPECT_EQ(run.Exit(), 0u);
  EXPECT_EQ(Opened(kPatience), L"\"" + SelfExtracting() + L"\" /root");
}

TEST_F(LauncherProcessTest, OffersTheInstallationWhileNotInstalled) {
  const std::string removeOnly("Cairn 2000 (Remove Only)", 25);
  for (const std::string* name : {static_cast<const std::string*>(nullptr), &removeOnly}) {
    UninstallEntry entry(name);
    LauncherRun run(SelfExtracting(), L"");
    HWND offer = run.WaitForWindow(L"SelfDlgClass");
    ASSERT_NE(offer, nullptr);
    EXPECT_EQ(WindowText(offer), L" Install Cairn Now?");
    Press(offer, IDCANCEL);  // "No"
    EXPECT_EQ(run.Exit(), 0u);
  }
  EXPECT_EQ(Opened(500), L"") << "not opened without the system";
}

TEST_F(LauncherProcessTest, CancelledOrFailedDownloadEndsWithoutOpening) {
  for (bool cancel : {true, false}) {
    LauncherRun run(SelfExtracting(), L"");
    HWND offer = run.WaitForWindow(L"SelfDlgClass");
    ASSERT_NE(offer, nullptr);
    Press(offer, IDOK);  // "Yes"
    HWND download = run.WaitForWindow(L"#32770", L"Download");
    ASSERT_NE(download, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(download, IDC_ADDRESS)), kDownloadAddress);
    if (cancel) {
      Press(download, IDC_CANCEL_DOWNLOAD);
    } else {
      SetWindowTextW(GetDlgItem(download, IDC_ADDRESS), (L"file:///" + Wide(dir_.Path("missing.exe"))).c_str());
      Press(download, IDC_DOWNLOAD_NOW);
    }
    ExpectMessage(run, IDS_ERROR, IDS_DOWNLOAD_FAILED);
    EXPECT_EQ(run.Exit(), 0u) << (cancel ? "cancelled" : "failed");
  }
  EXPECT_EQ(Opened(500), L"");
}

TEST_F(LauncherProcessTest, DownloadsAndRunsTheInstallerThenOpensItself) {
  LauncherRun run(SelfExtracting(), L"");
  HWND offer = run.WaitForWindow(L"SelfDlgClass");
  ASSERT_NE(offer, nullptr);
  Press(offer, IDOK);
  HWND download = run.WaitForWindow(L"#32770", L"Download");
  ASSERT_NE(download, nullptr);
  // The stand-in installer writes the uninstall entry that makes the launcher go on.
  SetWindowTextW(GetDlgItem(download, IDC_ADDRESS), (L"file:///" + BesideTests(L"fake_installer.exe")).c_str());
  Press(download, IDC_DOWNLOAD_NOW);
  EXPECT_EQ(run.Exit(), 0u);
  EXPECT_EQ(ReadFileBytes(dir_.Path("cairn-setup.exe")), ReadFileBytes(Utf8(BesideTests(L"fake_installer.exe"))));
  EXPECT_EQ(Opened(kPatience), L"\"" + SelfExtracting() + L"\" /root");
}

}  // namespace
}  // namespace sfx
}  // namespace cairn
