#include "ViewWorkers.h"

#include <shellapi.h>

#include <atomic>
#include <memory>
#include <optional>
#include <utility>

#include "Handle.h"

namespace cairn {
namespace shell {
namespace {

enum Kind { kSnapshot, kAdd, kDelete, kPaste, kDrop, kKinds };

// One busy mark per kind, for the whole process.
std::atomic<bool> g_busy[kKinds];

struct Job {
  Kind kind = kSnapshot;
  WorkOrder order;
  AfterWork after = AfterWork::kBrowseToRoot;  // what the dialog does when the work succeeded
  std::vector<std::string> names;       // the stored names to delete, or the paths to add
  HMODULE module = nullptr;             // a reference on this module for the thread's life
};

bool Run(const Job& job) {
  const ArchiveOperations& operations = job.order.operations;
  switch (job.kind) {
    case kSnapshot: return operations.CreateSnapshotFromLists({}, {}, job.order.dialog);
    case kDelete: return operations.DeleteItems(job.names, job.order.dialog);
    case kAdd:
    case kPaste:
    case kDrop: return operations.AddFiles(job.names, job.order.dialog);
    default: return false;
  }
}

void Work(const Job& job) {
  std::atomic<bool>& busy = g_busy[job.kind];
  if (busy.exchange(true)) return;  // another worker of this kind is at work: dropped
  if (SUCCEEDED(CoInitialize(nullptr))) {
    if (Run(job)) {
      if (job.order.treePane)
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, job.order.operations.ArchivePath().c_str(), nullptr);
      // The dialog finishes on the browser's thread, when its window is still there.
      if (IsWindow(job.order.dialog))
        PostMessageW(job.order.dialog, kWorkerDoneMessage, static_cast<WPARAM>(job.after), 0);
    } else {
      MessageBeep(0);
    }
    CoUninitialize();
  }
  busy = false;
}

DWORD WINAPI WorkerMain(void* parameter) {
  HMODULE module = static_cast<Job*>(parameter)->module;
  {
    std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    Work(*job);
  }
  // The module may be unloaded once the thread no longer runs its code.
  FreeLibraryAndExitThread(module, 0);
  return 0;
}

bool Start(Kind kind, const WorkOrder& order, AfterWork after, std::vector<std::string> names = {}) {
  auto job = std::make_unique<Job>();
  job->kind = kind;
  job->order = order;
  job->after = after;
  job->names = std::move(names);
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WorkerMain),
                          &job->module))
    return false;
  const Handle thread(CreateThread(nullptr, 0, &WorkerMain, job.get(), 0, nullptr));
  if (!thread) {
    FreeLibrary(job->module);
    return false;
  }
  job.release();  // the thread owns it now
  return true;
}

}  // namespace

WorkOrder MakeWorkOrder(const FolderLevel& level, IShellBrowser* browser, HWND dialog) {
  WorkOrder order;
  order.operations = level.Operations();
  order.dialog = dialog;
  HWND tree = nullptr;
  order.treePane = browser != nullptr && SUCCEEDED(browser->GetControlWindow(FCW_TREE, &tree)) && tree != nullptr;
  return order;
}

bool StartSnapshotWorker(const WorkOrder& order) { return Start(kSnapshot, order, AfterWork::kBrowseToRoot); }

bool StartAddWorker(const WorkOrder& order, const std::vector<std::string>& paths) {
  return !paths.empty() && Start(kAdd, order, AfterWork::kBrowseAgainAtRoot, paths);
}

bool StartDeleteWorker(const WorkOrder& order, const std::vector<std::string>& storedNames) {
  return !storedNames.empty() && Start(kDelete, order, AfterWork::kRefreshAtRootElseBrowse, storedNames);
}

bool StartPasteWorker(const WorkOrder& order) {
  if (!OpenClipboard(order.dialog)) return false;
  std::optional<std::vector<std::string>> paths = DroppedPaths(GetClipboardData(CF_HDROP));
  CloseClipboard();
  return paths && Start(kPaste, order, AfterWork::kRefreshAtRootElseBrowse, std::move(*paths));
}

bool StartDropWorker(const WorkOrder& order, STGMEDIUM* medium) {
  std::optional<std::vector<std::string>> paths =
      medium->tymed == TYMED_HGLOBAL ? DroppedPaths(medium->hGlobal) : std::nullopt;
  ReleaseStgMedium(medium);
  return paths && Start(kDrop, order, AfterWork::kRefreshAtRootElseBrowse, std::move(*paths));
}

}  // namespace shell
}  // namespace cairn
