// The progress window driven through its interface, with its controls read back as the user
// sees them, and the window as snapshots use it.
#include "EngineTestSupport.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "resource.h"

namespace cairn {
namespace {


constexpr wchar_t kCaption[] = L"Archiving in progress...";

BOOL CALLBACK CollectProgressWindow(HWND window, LPARAM list) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t caption[64] = {}, kind[16] = {};
  GetWindowTextW(window, caption, 64);
  GetClassNameW(window, kind, 16);
  if (process == GetCurrentProcessId() && std::wstring(caption) == kCaption && std::wstring(kind) == L"#32770")
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The progress windows of this process that are up now.
std::vector<HWND> ProgressWindows() {
  std::vector<HWND> found;
  EnumWindows(&CollectProgressWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Waits up to five seconds for a condition that another thread brings about.
template <class Condition>
bool Eventually(Condition&& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    Sleep(10);
  }
  return condition();
}

std::wstring Text(HWND dialog, int control) {
  wchar_t text[300] = {};
  GetDlgItemTextW(dialog, control, text, 300);
  return text;
}

LRESULT Bar(HWND dialog, UINT message, WPARAM wParam = 0) {
  return SendDlgItemMessageW(dialog, IDC_STATUS_PROGRESS, message, wParam, 0);
}

bool Checked(HWND dialog) { return IsDlgButtonChecked(dialog, IDC_STATUS_AUTO_DISMISS) == BST_CHECKED; }

// Presses a button the way a mouse click does.
void Press(HWND dialog, int button) { SendDlgItemMessageW(dialog, button, BM_CLICK, 0, 0); }

ComPtr<ICairnStatus> NewStatus() {
  ComPtr<ICairnStatus> status;
  HRESULT hr = CoCreateInstance(CLSID_CairnStatus, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnStatus, status.OutVoid());
  EXPECT_EQ(hr, S_OK) << std::hex << hr;
  return status;
}

class StatusTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every test leaves the desktop as it found it: the user closes what is still up.
    for (HWND window : ProgressWindows()) SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(Eventually([] { return ProgressWindows().empty(); }));
  }

  // Initializes status and returns its new dialog.
  static HWND Open(ICairnStatus* status, LONG autoDismiss) {
    const std::vector<HWND> before = ProgressWindows();
    HRESULT hr = status->Initialize(nullptr, autoDismiss);
    EXPECT_EQ(hr, S_OK) << std::hex << hr;
    // Initialize returns once the dialog is up.
    for (HWND window : ProgressWindows())
      if (std::find(before.begin(), before.end(), window) == before.end()) return window;
    ADD_FAILURE() << "no new progress window";
    return nullptr;
  }

  // Brings the process-wide auto-dismiss state to a known value: a change of the argument
  // always counts, whatever the user chose before.
  static void SetAutoDismiss(bool on) {
    for (LONG argument : {on ? 0L : 1L, on ? 1L : 0L}) {
      ComPtr<ICairnStatus> status = NewStatus();
      Open(status.Get(), argument);
      ASSERT_EQ(status->Destroy(), S_OK);
    }
    ASSERT_TRUE(Eventually([] { return ProgressWindows().empty(); }));
  }
};

TEST_F(StatusTest, TheDialogStartsFromTheCountsMadeBeforeIt) {
  ComPtr<ICairnStatus> status = NewStatus();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->SetMax(20), S_OK);
  EXPECT_EQ(status->IncrementProgress(), S_OK);
  EXPECT_EQ(status->IncrementProgress(), S_OK);
  HWND dialog = Open(status.Get(), 1);
  ASSERT_NE(dialog, nullptr);

  for (int field : {IDC_STATUS_CHANGED, IDC_STATUS_ADDED, IDC_STATUS_DELETED, IDC_STATUS_PROCESSED})
    EXPECT_EQ(Text(dialog, field), L"0") << "field " << field;
  EXPECT_EQ(Text(dialog, IDC_STATUS_PROCESSING), L"");
  EXPECT_EQ(Bar(dialog, PBM_GETRANGE, FALSE), 20);
  EXPECT_EQ(Bar(dialog, PBM_GETRANGE, TRUE), 0);
  EXPECT_EQ(Bar(dialog, PBM_GETPOS), 2) << "the bar starts at the count";
  EXPECT_TRUE(Checked(dialog));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_STATUS_STOP)));
  EXPECT_EQ(Text(dialog, IDC_STATUS_STOP), L"Stop");
  EXPECT_EQ(Text(dialog, IDC_STATUS_DISMISS), L"Dismiss");

  HRESULT hr = status->Initialize(nullptr, 1);
  EXPECT_EQ(hr, E_UNEXPECTED) << "a second Initialize, got " << std::hex << hr;
  EXPECT_EQ(status->GetCurrent(nullptr), E_POINTER);
  int current = -1;
  EXPECT_EQ(status->GetCurrent(&current), S_OK);
  EXPECT_EQ(current, 2);
}

TEST_F(StatusTest, LongNamesShowTheirLastFolders) {
  struct Case {
    const wchar_t* name;
    const wchar_t* shown;
  } const cases[] = {
      {L"C:\\Data\\Projects\\notes.tx", L"C:\\Data\\Projects\\notes.tx"},  // 25 characters
      {L"C:\\Data\\Projects\\Alpha\\notes.txt", L"...\\Projects\\Alpha\\notes.txt"},
      {L"C:\\Documents\\Reports\\2024\\quarterly-summary.doc", L"...\\quarterly-summary.doc"},
      {L"C:\\x\\averyveryverylongfilenamewithoutslash.txt", L"C:\\x\\averyveryverylongfilenamewithoutslash.txt"},
      {L"abc\\defghijklmnopqrstuvwxy", L"...\\defghijklmnopqrstuvwxy"},   // 26, backslash at 3
      {L"C:\\Temp\\abcdefghijklmnop.q", L"C:\\Temp\\abcdefghijklmnop.q"},  // 26, backslash at 2
      {L"", L""},
  };
  ComPtr<ICairnStatus> status = NewStatus();
  HWND dialog = Open(status.Get(), 1);
  ASSERT_NE(dialog, nullptr);
  for (const Case& c : cases) {
    Bstr name(c.name);
    EXPECT_EQ(status->SetProcessing(name.Get()), S_OK);
    EXPECT_EQ(Text(dialog, IDC_STATUS_PROCESSING), c.shown) << "case " << &c - cases;
  }
  EXPECT_EQ(status->SetProcessing(nullptr), S_OK);
  EXPECT_EQ(Text(dialog, IDC_STATUS_PROCESSING), L"");
}

TEST_F(StatusTest, TheBarStopsAtItsMaximumWhileTheCountGoesOn) {
  ComPtr<ICairnStatus> status = NewStatus();
  HWND dialog = Open(status.Get(), 1);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(status->SetMax(10), S_OK);
  EXPECT_EQ(Bar(dialog, PBM_GETRANGE, FALSE), 10);
  for (int i = 1; i <= 12; ++i) {
    EXPECT_EQ(status->IncrementProgress(), S_OK);
    EXPECT_EQ(Text(dialog, IDC_STATUS_PROCESSED), std::to_wstring(i));
    EXPECT_EQ(Bar(dialog, PBM_GETPOS), std::min(i, 10)) << "after " << i;
  }
  int current = 0;
  EXPECT_EQ(status->GetCurrent(&current), S_OK);
  EXPECT_EQ(current, 12);
}

TEST_F(StatusTest, DeletionsMoveTheBarOnlyWhileTheWindowIsUp) {
  ComPtr<ICairnStatus> status = NewStatus();
  HWND dialog = Open(status.Get(), 0);
  ASSERT_NE(dialog, nullptr);
  status->SetMax(10);
  status->IncrementProgress();
  status->IncrementProgress();
  status->IncrementChanged();
  status->IncrementAdded();
  status->IncrementAdded();
  EXPECT_EQ(status->IncrementDeleted(), S_OK);
  EXPECT_EQ(Text(dialog, IDC_STATUS_DELETED), L"1");
  EXPECT_EQ(Text(dialog, IDC_STATUS_PROCESSED), L"2") << "a deletion does not rewrite the processed field";
  EXPECT_EQ(Text(dialog, IDC_STATUS_CHANGED), L"1");
  EXPECT_EQ(Text(dialog, IDC_STATUS_ADDED), L"2");
  EXPECT_EQ(Bar(dialog, PBM_GETPOS), 3);
  int current = 0;
  status->GetCurrent(&current);
  EXPECT_EQ(current, 3);

  // The user dismisses the window: the snapshot goes on counting, without it.
  EXPECT_EQ(status->Dismiss(), S_FALSE);
  Press(dialog, IDC_STATUS_DISMISS);
  EXPECT_EQ(status->Dismiss(), S_OK);
  EXPECT_TRUE(Eventually([&] { return !IsWindow(dialog); }));
  for (HRESULT hr : {status->IncrementDeleted(), status->IncrementChanged(), status->IncrementAdded(),
                     status->IncrementProgress(), status->SetMax(5), status->DisableStop(), status->Destroy()})
    EXPECT_EQ(hr, S_OK);
  status->GetCurrent(&current);
  EXPECT_EQ(current, 4) << "only IncrementProgress counts once the window is gone";
  EXPECT_EQ(status->Continue(), S_OK);
}

TEST_F(StatusTest, StopAsksTheWalkToEnd) {
  ComPtr<ICairnStatus> status = NewStatus();
  HWND dialog = Open(status.Get(), 1);
  ASSERT_NE(dialog, nullptr);
  HWND stop = GetDlgItem(dialog, IDC_STATUS_STOP);
  EXPECT_EQ(status->Continue(), S_OK);
  EXPECT_TRUE(IsWindowEnabled(stop));
  Press(dialog, IDC_STATUS_STOP);
  EXPECT_EQ(status->Continue(), S_FALSE);
  EXPECT_FALSE(IsWindowEnabled(stop));
  EXPECT_TRUE(IsWindow(dialog)) << "Stop leaves the window up";

  // DisableStop is the end of a walk the user did not stop.
  ComPtr<ICairnStatus> other = NewStatus();
  HWND second = Open(other.Get(), 1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(other->DisableStop(), S_OK);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(second, IDC_STATUS_STOP)));
  EXPECT_EQ(other->Continue(), S_OK);
}

TEST_F(StatusTest, TheUsersAutoDismissChoiceCarriesToTheNextWindow) {
  SetAutoDismiss(true);
  ComPtr<ICairnStatus> first = NewStatus();
  HWND dialog = Open(first.Get(), 1);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(first->Dismiss(), S_OK);
  Press(dialog, IDC_STATUS_AUTO_DISMISS);
  EXPECT_FALSE(Checked(dialog));
  EXPECT_EQ(first->Dismiss(), S_FALSE);
  first->Destroy();

  // Same argument as before: the user's choice stands.
  ComPtr<ICairnStatus> second = NewStatus();
  EXPECT_EQ(second->Dismiss(), S_FALSE) << "a new object starts from the default";
  dialog = Open(second.Get(), 1);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(Checked(dialog));
  EXPECT_EQ(second->Dismiss(), S_FALSE);
  second->Destroy();

  // A different argument replaces it.
  ComPtr<ICairnStatus> third = NewStatus();
  dialog = Open(third.Get(), 0);
  ASSERT_NE(dialog, nullptr);
  Press(dialog, IDC_STATUS_AUTO_DISMISS);
  EXPECT_EQ(third->Dismiss(), S_OK);
  third->Destroy();
  ComPtr<ICairnStatus> fourth = NewStatus();
  dialog = Open(fourth.Get(), 1);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(Checked(dialog));
}

TEST_F(StatusTest, TheWindowOutlivesItsCallerUntilTheUserClosesIt) {
  SetAutoDismiss(false);
  ComPtr<ICairnStatus> status = NewStatus();
  HWND dialog = Open(status.Get(), 0);
  ASSERT_NE(dialog, nullptr);
  status->IncrementProgress();
  status->DisableStop();
  status.Reset();
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(Text(dialog, IDC_STATUS_PROCESSED), L"1");
  EXPECT_EQ(testing::CallEngine("DllCanUnloadNow"), S_FALSE) << "the window's thread holds the object";

  SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(Eventually([&] { return !IsWindow(dialog); }));
  EXPECT_TRUE(Eventually([] { return testing::CallEngine("DllCanUnloadNow") == S_OK; }));
}

// ---- The window as snapshots use it.

// A one-dimensional safe array of BSTR.
SAFEARRAY* Paths(const std::vector<std::wstring>& items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(items.size()));
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    Bstr item(items[static_cast<size_t>(i)].c_str());
    SafeArrayPutElement(array, &i, item.Get());
  }
  return array;
}

class StatusSnapshotTest : public StatusTest {
 protected:
  void SetUp() override {
    folder_ = dir_.Path("tree");
    ASSERT_TRUE(CreateDirectoryW(testing::Wide(folder_).c_str(), nullptr));
    archive_ = testing::LoadArchive(dir_.Path("status.crn"));
    ASSERT_TRUE(archive_);
    ASSERT_EQ(archive_.As(&admin_), S_OK);
  }
  void Write(int file, const std::string& content) {
    ASSERT_TRUE(testing::WriteFileBytes(folder_ + "\\f" + std::to_string(file) + ".txt", content));
  }
  HRESULT Snapshot(const std::vector<std::wstring>& adds = {}) {
    SAFEARRAY* add = Paths(adds);
    SAFEARRAY* none = Paths({});
    Bstr name(L"Snapshot");
    ComPtr<ICairnSnapShot> snapshot;
    HRESULT hr = archive_->CreateSnapShot(name.Get(), add, none, snapshot.Out());
    SafeArrayDestroy(add);
    SafeArrayDestroy(none);
    return hr;
  }
  LONG Options() {
    LONG options = -1;
    admin_->GetOptions(&options);
    return options;
  }
  // The archive header's count of objects the last unstopped snapshot processed.
  uint32_t LastProgressCount() {
    const std::string bytes = testing::ReadFileBytes(dir_.Path("status.crn"));
    uint32_t count = 0;
    if (bytes.size() >= 28) std::memcpy(&count, bytes.data() + 24, 4);
    return count;
  }
  // How many changes of files the log holds.
  int LoggedFileChanges() {
    ComPtr<IStream> text;
    if (FAILED(admin_->InterpretLogStream(text.Out()))) return -1;
    std::vector<uint8_t> bytes = testing::ReadAll(text.Get());
    const std::string log(bytes.begin(), bytes.end());
    int n = 0;
    for (size_t at = log.find("Object changed: "); at != std::string::npos; at = log.find("Object changed: ", at + 1))
      n += log.compare(log.find("\r\n", at) - 4, 4, ".txt") == 0;
    return n;
  }

  testing::TempDir dir_;
  std::string folder_;
  ComPtr<ICairnArchive> archive_;
  ComPtr<ICairnArchiveAdmin> admin_;
};

TEST_F(StatusSnapshotTest, TheArchiveOptionsDecideWhetherTheWindowStays) {
  SetAutoDismiss(true);
  for (int i = 0; i < 3; ++i) Write(i, "first " + std::to_string(i));
  ASSERT_EQ(Options(), 7);
  ASSERT_EQ(Snapshot({testing::Wide(folder_)}), S_OK);
  EXPECT_TRUE(Eventually([] { return ProgressWindows().empty(); })) << "auto-dismiss ends the window";
  EXPECT_EQ(Options(), 7);
  EXPECT_EQ(LastProgressCount(), 4u) << "the folder and its three files";

  // Without auto-dismiss the window stays, finished, until the user dismisses it.
  ASSERT_EQ(admin_->SetOptions(3), S_OK);
  Write(0, "second");
  ASSERT_EQ(Snapshot(), S_OK);
  std::vector<HWND> up = ProgressWindows();
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(Text(up[0], IDC_STATUS_PROCESSED), L"4");
  EXPECT_EQ(Text(up[0], IDC_STATUS_CHANGED), L"2") << "the file and its folder";
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(up[0], IDC_STATUS_STOP)));
  EXPECT_EQ(Options(), 3);
  // Ticking the box there makes the next snapshot of the process dismiss its window and keep
  // the option in the archive.
  Press(up[0], IDC_STATUS_AUTO_DISMISS);
  Press(up[0], IDC_STATUS_DISMISS);
  EXPECT_TRUE(Eventually([] { return ProgressWindows().empty(); }));
  EXPECT_EQ(Snapshot(), S_FALSE);
  EXPECT_TRUE(Eventually([] { return ProgressWindows().empty(); }));
  EXPECT_EQ(Options(), 7);

  // Without 0x02 there is no window at all, and the count is left alone.
  ASSERT_EQ(admin_->SetOptions(5), S_OK);
  Write(3, "new");
  const std::vector<HWND> before = ProgressWindows();
  ASSERT_EQ(Snapshot(), S_OK);
  EXPECT_EQ(ProgressWindows(), before);
  EXPECT_EQ(LastProgressCount(), 4u);
}

// A watcher that presses Stop in the next progress window as soon as it appears.
class StopPresser {
 public:
  StopPresser()
      : thread_([this] {
          pressed_ = Eventually([] {
            std::vector<HWND> up = ProgressWindows();
            if (up.empty()) return false;
            Press(up[0], IDC_STATUS_STOP);
            return true;
          });
        }) {}
  ~StopPresser() {
    if (thread_.joinable()) thread_.join();
  }
  bool Pressed() {
    if (thread_.joinable()) thread_.join();
    return pressed_;
  }

 private:
  bool pressed_ = false;
  std::thread thread_;
};

TEST_F(StatusSnapshotTest, AStoppedSnapshotKeepsWhatItDidNotCompare) {
  constexpr int kFiles = 60;
  for (int i = 0; i < kFiles; ++i) Write(i, std::string(2000, 'a') + std::to_string(i));
  ASSERT_EQ(admin_->SetOptions(1), S_OK);
  ASSERT_EQ(Snapshot({testing::Wide(folder_)}), S_OK);
  for (int i = 0; i < kFiles; ++i) Write(i, std::string(2000, 'b') + std::to_string(i));

  SetAutoDismiss(true);
  ASSERT_EQ(admin_->SetOptions(7), S_OK);
  HRESULT hr;
  {
    StopPresser presser;
    hr = Snapshot();
    ASSERT_TRUE(presser.Pressed());
  }
  EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
  const int compared = LoggedFileChanges();
  EXPECT_LT(compared, kFiles) << "Stop ends the comparing";
  EXPECT_EQ(LastProgressCount(), 0u) << "a stopped walk does not set the count";
  EXPECT_EQ(Options(), 7);

  // Nothing was skipped for good: the next snapshot records each remaining change once.
  ASSERT_EQ(admin_->SetOptions(1), S_OK);
  EXPECT_EQ(Snapshot(), S_OK);
  EXPECT_EQ(LoggedFileChanges(), kFiles);
  EXPECT_EQ(Snapshot(), S_FALSE);
}

}  // namespace
}  // namespace cairn
