#include "CheckWindow.h"

#include <commctrl.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <thread>
#include <utility>

#include "AnsiText.h"
#include "CheckResource.h"
#include "ComApartment.h"
#include "DialogBase.h"
#include "Module.h"

namespace cairn {
namespace shell {
namespace {

// Posted by the checking thread to the window: the progress to show (once per batch of counts),
// and the end of the check, whose result is then in the run.
constexpr UINT kProgressMessage = WM_APP + 0x170;
constexpr UINT kDoneMessage = WM_APP + 0x171;

// What the window and its checking thread share.
struct CheckRun {
  ArchiveOperations archive;
  std::atomic<HWND> window{nullptr};  // told of progress and of the end while it lives
  std::atomic<bool> progressPosted{false};
  std::atomic<bool> stop{false};
  std::atomic<size_t> done{0}, total{0};
  CheckResult result;  // written by the thread before it posts kDoneMessage
};

std::wstring Text(UINT id) { return FromAnsi(ShellString(id)); }

// A text of the table with two counts put in.
std::wstring Counted(UINT id, size_t first, size_t second) {
  wchar_t text[256];
  std::swprintf(text, sizeof text / sizeof *text, Text(id).c_str(), static_cast<unsigned>(first),
                static_cast<unsigned>(second));
  return text;
}

class CheckWindow final : public DialogBase {
 public:
  explicit CheckWindow(const ArchiveOperations& archive) : run_(std::make_shared<CheckRun>()) {
    run_->archive = archive;
  }
  ~CheckWindow() override {
    if (thread_.joinable()) thread_.join();
  }

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Start();
  void AddColumns();
  void ShowProgress();
  void ShowResult();
  void Cancel();

  std::shared_ptr<CheckRun> run_;
  std::thread thread_;
  bool running_ = false;
};

INT_PTR CheckWindow::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      Start();
      return TRUE;
    case kProgressMessage:
      run_->progressPosted = false;
      ShowProgress();
      return TRUE;
    case kDoneMessage:
      running_ = false;
      // Cancelled: nothing is left to report.
      if (run_->stop) {
        EndDialog(Window(), IDCANCEL);
      } else {
        ShowResult();
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) Cancel();
      return TRUE;
    case WM_DESTROY:
      run_->window = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void CheckWindow::Start() {
  SetDlgItemTextW(Window(), IDC_CHECK_ARCHIVE, FromAnsi(run_->archive.ArchivePath()).c_str());
  SetDlgItemTextW(Window(), IDC_CHECK_STATUS, Text(IDS_CHECK_STARTING).c_str());
  AddColumns();
  run_->window = Window();
  running_ = true;
  const std::shared_ptr<CheckRun> run = run_;
  try {
    thread_ = std::thread([run] {
      CheckResult result;
      try {
        const ComApartment com;
        if (com.Started())
          result = run->archive.CheckArchive(
              [&run](size_t done, size_t total) {
                run->done = done;
                run->total = total;
                const HWND window = run->window;
                if (window != nullptr && !run->progressPosted.exchange(true))
                  PostMessageW(window, kProgressMessage, 0, 0);
              },
              [&run] { return run->stop.load(); });
      } catch (...) {
        result = CheckResult();
      }
      run->result = std::move(result);
      const HWND window = run->window;
      if (window != nullptr) PostMessageW(window, kDoneMessage, 0, 0);
    });
  } catch (...) {
    PostMessageW(Window(), kDoneMessage, 0, 0);  // no thread: the check ends at once, failed
  }
}

void CheckWindow::AddColumns() {
  HWND list = GetDlgItem(Window(), IDC_CHECK_DAMAGE);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
  const struct {
    UINT text;
    int width;
  } columns[] = {{IDS_CHECK_COLUMN_OBJECT, 230}, {IDS_CHECK_COLUMN_REVISION, 60},
                 {IDS_CHECK_COLUMN_SNAPSHOTS, 100}, {IDS_CHECK_COLUMN_PROBLEM, 560}};
  int index = 0;
  for (const auto& column : columns) {
    std::wstring text = Text(column.text);
    LVCOLUMNW info = {};
    info.mask = LVCF_TEXT | LVCF_WIDTH;
    info.pszText = &text[0];
    info.cx = column.width;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&info));
  }
}

void CheckWindow::ShowProgress() {
  const size_t done = run_->done, total = run_->total;
  HWND bar = GetDlgItem(Window(), IDC_CHECK_PROGRESS);
  SendMessageW(bar, PBM_SETRANGE32, 0, total > 0 ? static_cast<LPARAM>(total) : 1);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(done), 0);
  if (!run_->stop) SetDlgItemTextW(Window(), IDC_CHECK_STATUS, Counted(IDS_CHECK_PROGRESS, done, total).c_str());
}

void CheckWindow::ShowResult() {
  const CheckResult& result = run_->result;
  HWND bar = GetDlgItem(Window(), IDC_CHECK_PROGRESS);
  SendMessageW(bar, PBM_SETRANGE32, 0, 1);
  SendMessageW(bar, PBM_SETPOS, SUCCEEDED(result.hr) ? 1 : 0, 0);
  size_t revisions = 0;
  HWND list = GetDlgItem(Window(), IDC_CHECK_DAMAGE);
  for (const Damage& damage : result.damage) {
    if (!damage.revision.empty()) ++revisions;
    const std::wstring cells[] = {damage.revision.empty() ? Text(IDS_CHECK_LINKS) : damage.object, damage.revision,
                                  damage.snapshots, damage.what};
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(list);
    const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (int column = 0; row >= 0 && column < 4; ++column) {
      std::wstring cell = cells[column];
      LVITEMW text = {};
      text.iSubItem = column;
      text.pszText = &cell[0];
      SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&text));
    }
  }
  // What is wrong is read whole, the list scrolling for it.
  if (!result.damage.empty()) SendMessageW(list, LVM_SETCOLUMNWIDTH, 3, LVSCW_AUTOSIZE);
  std::wstring status;
  if (result.hr == S_OK) {
    status = Text(IDS_CHECK_SOUND);
  } else if (result.hr == S_FALSE) {
    const size_t others = result.damage.size() - revisions;
    status = Counted(others == 0 ? IDS_CHECK_DAMAGED_REVISIONS : IDS_CHECK_DAMAGED, revisions, others);
  } else {
    status = Text(IDS_CHECK_FAILED);
  }
  SetDlgItemTextW(Window(), IDC_CHECK_STATUS, status.c_str());
  if (SUCCEEDED(result.hr))
    SetDlgItemTextW(Window(), IDC_CHECK_SUMMARY, Counted(IDS_CHECK_SUMMARY, result.objects, result.revisions).c_str());
  SetDlgItemTextW(Window(), IDCANCEL, Text(IDS_CHECK_CLOSE).c_str());
}

void CheckWindow::Cancel() {
  if (!running_) {
    EndDialog(Window(), IDCANCEL);
    return;
  }
  if (run_->stop.exchange(true)) return;
  EnableWindow(GetDlgItem(Window(), IDCANCEL), FALSE);
  SetDlgItemTextW(Window(), IDC_CHECK_STATUS, Text(IDS_CHECK_STOPPING).c_str());
}

}  // namespace

void RunCheckWindow(const ArchiveOperations& archive) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  CheckWindow window(archive);
  DialogBoxParamW(Module::Instance(), MAKEINTRESOURCEW(IDD_CHECK), nullptr, &DialogBase::DialogProc,
                  window.Parameter());
}

}  // namespace shell
}  // namespace cairn
