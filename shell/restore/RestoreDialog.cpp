#include "RestoreDialog.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <utility>

#include "AnsiText.h"
#include "ArchiveFolder.h"
#include "BackgroundWork.h"
#include "ComApartment.h"
#include "DialogBase.h"
#include "ItemNames.h"
#include "Module.h"
#include "Pidl.h"
#include "RestoreResource.h"
#include "TargetBrowse.h"
#include "ViewResource.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// Posted by the restoring thread to the page: the progress to show (once per batch of reports),
// and the end of the work (wParam: it succeeded).
constexpr UINT kProgressMessage = WM_APP + 0x162;
constexpr UINT kDoneMessage = WM_APP + 0x163;

// The request of the one restore dialog of the process, while it is open.
std::atomic<RestoreRequest*> g_openRequest{nullptr};

// At the archive root the items are snapshots: the dialog describes up to two top-level objects
// of the first one instead.
void TakeSnapshotContents(IShellFolder* folder, HWND owner, LPCITEMIDLIST snapshot, RestoreRequest* request) {
  ComPtr<IShellFolder> inside;
  ComPtr<IEnumIDList> objects;
  if (FAILED(folder->BindToObject(snapshot, nullptr, IID_IShellFolder, inside.OutVoid())) || !inside ||
      inside->EnumObjects(owner, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, objects.Out()) != S_OK || !objects)
    return;
  IdList object;
  while (request->contents.size() < 2 && objects->Next(1, object.Out(), nullptr) == S_OK && object)
    request->contents.push_back(std::move(object));
  for (const IdList& each : request->contents) request->items.push_back(each.Get());
}

// True at an archive's root; *names tells how the folder's archive keeps its names (the code
// page for a folder that is none of ours).
bool AtArchiveRoot(IShellFolder* folder, StoredText* names) {
  FolderLevel level;
  const bool ours = SUCCEEDED(LevelOf(folder, &level));
  *names = ours ? level.names : StoredText();
  return ours && level.AtRoot();
}

// What the page and its restoring thread share; the thread holds it to its end, which may come
// after the page is gone.
struct RestoreRun {
  // The thread's code lives in this module: it stays loaded until the thread is done.
  ModuleLock lock;
  RestoreWork work;
  RestoreRequest chosen;  // the target and the options; no items
  std::atomic<HWND> page{nullptr};  // told of progress and of the end while it lives
  std::atomic<size_t> done{0}, total{0};
  std::atomic<bool> progressPosted{false};
  std::atomic<bool> stop{false};
};

// The dialog's one page.
class RestorePage final : public DialogBase {
 public:
  RestorePage(RestoreRequest* request, RestoreWork work) : request_(request), work_(std::move(work)) {}
  ~RestorePage() override { LetGo(); }

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // The answer to a notification of the sheet.
  LRESULT OnNotify(const NMHDR& header);
  void OnActivate();
  // Finish: starts the restore with the choices, or refuses a target that is no full path.
  void StartWork();
  void OnBrowse();
  void ShowProgress();
  // Cancel while the restore runs: it stops before its next object, and the page says so.
  void RequestStop();
  void ShowStopped();
  // The page goes, or the restore has ended: a restore still running stops at its next check,
  // before its next object or piece of a file, on its own thread. The window's thread never
  // waits for it: the restore may need this thread's apartment to end its object.
  void LetGo() {
    if (!run_) return;
    run_->page = nullptr;
    run_->stop = true;
    run_.reset();
  }
  HWND Sheet() const { return GetParent(Window()); }

  // The page's procedures live in this module: it stays loaded while the page and its worker do.
  ModuleLock lock_;
  RestoreRequest* request_;
  RestoreWork work_;
  std::shared_ptr<RestoreRun> run_;  // while the restore runs
  size_t done_ = 0, total_ = 0;      // its progress as last shown
  bool running_ = false;
  bool finished_ = false;
  bool cancelled_ = false;  // the user asked the running restore to stop
};

INT_PTR RestorePage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SendDlgItemMessageA(Window(), IDC_RESTORE_TARGET, EM_LIMITTEXT, MAX_PATH - 1, 0);
      return TRUE;
    case WM_NOTIFY:
      return Answer(OnNotify(*reinterpret_cast<NMHDR*>(lParam)));
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_RESTORE_BROWSE && HIWORD(wParam) == BN_CLICKED && !running_) OnBrowse();
      return TRUE;
    case kProgressMessage:
      if (run_) run_->progressPosted = false;
      ShowProgress();
      return TRUE;
    case kDoneMessage:
      ShowProgress();
      LetGo();
      running_ = false;
      finished_ = true;
      request_->restored = wParam != 0;
      if (cancelled_ && !request_->restored) {
        ShowStopped();
        return TRUE;
      }
      PropSheet_SetWizButtons(Sheet(), PSWIZB_FINISH);
      PostMessageW(Sheet(), PSM_PRESSBUTTON, PSBTN_FINISH, 0);
      return TRUE;
    case WM_DESTROY:
      // The sheet goes with its owner while the restore runs: the work stops at its next object.
      LetGo();
      return FALSE;
    default:
      return FALSE;
  }
}

LRESULT RestorePage::OnNotify(const NMHDR& header) {
  switch (header.code) {
    case PSN_SETACTIVE:
      if (!running_ && !finished_) OnActivate();
      return 0;
    case PSN_WIZFINISH:
      if (finished_) return FALSE;
      if (!running_) StartWork();
      return TRUE;  // the sheet stays until the restore is done
    case PSN_QUERYCANCEL:
      if (!running_) return FALSE;
      RequestStop();
      return TRUE;  // the sheet stays to say what was restored
    default:
      return 0;  // Next, Back, leaving the page and the reset are allowed and do nothing
  }
}

void RestorePage::OnActivate() {
  for (int box : {IDC_RESTORE_OVERWRITE_OLDER, IDC_RESTORE_OVERWRITE_NEWER, IDC_RESTORE_TIMES})
    CheckDlgButton(Window(), box, BST_CHECKED);
  request_->target = DefaultRestoreTarget(request_->items, request_->names);
  SetDlgItemTextA(Window(), IDC_RESTORE_TARGET, request_->target.c_str());
  PropSheet_SetWizButtons(Sheet(), PSWIZB_FINISH);
}

void RestorePage::StartWork() {
  char target[MAX_PATH] = "";
  GetDlgItemTextA(Window(), IDC_RESTORE_TARGET, target, MAX_PATH);
  // A target that is no full path would be read against the current folder of the process.
  if (!IsAbsoluteTarget(target)) {
    MessageBeep(MB_ICONEXCLAMATION);
    SetFocus(GetDlgItem(Window(), IDC_RESTORE_TARGET));
    return;
  }
  request_->target = target;
  request_->overwriteOlder = IsDlgButtonChecked(Window(), IDC_RESTORE_OVERWRITE_OLDER) == BST_CHECKED;
  request_->overwriteNewer = IsDlgButtonChecked(Window(), IDC_RESTORE_OVERWRITE_NEWER) == BST_CHECKED;
  request_->restoreTime = IsDlgButtonChecked(Window(), IDC_RESTORE_TIMES) == BST_CHECKED;

  for (int control : {IDC_RESTORE_TARGET, IDC_RESTORE_BROWSE, IDC_RESTORE_OVERWRITE_OLDER,
                      IDC_RESTORE_OVERWRITE_NEWER, IDC_RESTORE_TIMES})
    EnableWindow(GetDlgItem(Window(), control), FALSE);
  EnableWindow(GetDlgItem(Window(), IDC_RESTORE_EXTRACTING), TRUE);
  PropSheet_SetWizButtons(Sheet(), PSWIZB_DISABLEDFINISH);
  auto run = std::make_shared<RestoreRun>();
  run->work = work_;
  run->chosen.target = request_->target;
  run->chosen.overwriteOlder = request_->overwriteOlder;
  run->chosen.overwriteNewer = request_->overwriteNewer;
  run->chosen.restoreTime = request_->restoreTime;
  run->page = Window();
  // The worker keeps the module loaded to its last instruction: the page may be gone long before.
  const bool started = StartThread([run] {
    const auto progress = [&run](size_t done, size_t total) {
      run->done = done;
      run->total = total;
      const HWND page = run->page;
      if (page != nullptr && !run->progressPosted.exchange(true)) PostMessageW(page, kProgressMessage, 0, 0);
    };
    bool restored = false;
    {
      const ComApartment com;
      restored = com.Started() && run->work(run->chosen, progress, [&run] { return run->stop.load(); });
    }
    const HWND page = run->page;
    if (page != nullptr) PostMessageW(page, kDoneMessage, restored, 0);
  });
  if (started)
    run_ = std::move(run);
  else
    PostMessageW(Window(), kDoneMessage, FALSE, 0);  // no thread: the restore ends at once, failed
  running_ = true;
}

void RestorePage::ShowProgress() {
  if (run_) {
    done_ = run_->done;
    total_ = run_->total;
  }
  const size_t total = total_, done = done_;
  HWND bar = GetDlgItem(Window(), IDC_RESTORE_PROGRESS);
  SendMessageW(bar, PBM_SETRANGE32, 0, total > 0 ? static_cast<LPARAM>(total) : 1);
  SendMessageW(bar, PBM_SETPOS, total > 0 ? static_cast<WPARAM>(done) : 0, 0);
}

void RestorePage::RequestStop() {
  if (cancelled_) return;
  cancelled_ = true;
  if (run_) run_->stop = true;
  EnableWindow(GetDlgItem(Sheet(), IDCANCEL), FALSE);
  SetDlgItemTextA(Window(), IDC_RESTORE_EXTRACTING, ShellString(IDS_RESTORE_STOPPING).c_str());
}

void RestorePage::ShowStopped() {
  char text[160];
  std::snprintf(text, sizeof text, ShellString(IDS_RESTORE_STOPPED).c_str(), static_cast<unsigned>(done_),
                static_cast<unsigned>(total_));
  SetDlgItemTextA(Window(), IDC_RESTORE_EXTRACTING, text);
  PropSheet_SetWizButtons(Sheet(), PSWIZB_DISABLEDFINISH);
  EnableWindow(GetDlgItem(Sheet(), IDCANCEL), TRUE);
}

void RestorePage::OnBrowse() {
  char current[MAX_PATH] = "";
  GetDlgItemTextA(Window(), IDC_RESTORE_TARGET, current, MAX_PATH);
  const std::optional<Item> first = request_->items.empty() ? std::nullopt : FirstItem(request_->items.front());
  const bool folder = request_->items.size() >= 2 || (first && first->IsFolder());
  std::string chosen;
  if (folder ? !BrowseForTargetFolder(Window(), current, &chosen) : !BrowseForTargetFile(Window(), current, &chosen)) return;
  request_->target = chosen;
  SetDlgItemTextA(Window(), IDC_RESTORE_TARGET, chosen.c_str());
}

}  // namespace

std::string DefaultRestoreTarget(const std::vector<LPCITEMIDLIST>& items, const StoredText& names) {
  const std::optional<Item> first = items.empty() ? std::nullopt : FirstItem(items.front());
  if (!first) return std::string();
  const std::string stored = items.size() == 1 && !first->IsFolder() ? std::string(first->name)
                                                                     : StoredFolderPart(first->name);
  return ToAnsi(names.Wide(stored).c_str());
}

INT_PTR ShowRestoreDialog(RestoreRequest* request, HWND owner, IShellFolder* folder,
                          const std::vector<LPCITEMIDLIST>& items, const RestoreWork& work) {
  RestoreRequest* none = nullptr;
  if (request == nullptr || !g_openRequest.compare_exchange_strong(none, request)) return -1;
  struct Closed {
    ~Closed() { g_openRequest = nullptr; }
  } closed;

  request->contents.clear();
  request->items.clear();
  if (AtArchiveRoot(folder, &request->names)) {
    if (!items.empty()) TakeSnapshotContents(folder, owner, items.front(), request);
  } else {
    request->items = items;
  }
  if (request->items.empty()) return 0;

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  const std::string title = ShellString(IDS_RESTORE_TITLE);
  RestorePage state(request, work);
  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_USETITLE | PSP_USEICONID;
  page.hInstance = Module::Instance();
  page.pszTemplate = MAKEINTRESOURCEA(IDD_RESTORE);
  page.pszIcon = MAKEINTRESOURCEA(IDI_ARCHIVE);
  page.pszTitle = title.c_str();
  page.pfnDlgProc = &DialogBase::PageProc;
  page.lParam = state.Parameter();
  PROPSHEETHEADERA sheet = {};
  sheet.dwSize = sizeof sheet;
  sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_USEICONID | PSH_NOAPPLYNOW;
  sheet.hwndParent = owner;
  sheet.hInstance = Module::Instance();
  sheet.pszIcon = MAKEINTRESOURCEA(IDI_ARCHIVE);
  sheet.pszCaption = title.c_str();
  sheet.nPages = 1;
  sheet.ppsp = &page;
  return PropertySheetA(&sheet);
}

}  // namespace shell
}  // namespace cairn
