#include "ViewWorkers.h"

#include <shellapi.h>

#include <optional>
#include <utility>

#include "BackgroundWork.h"

namespace cairn {
namespace shell {
namespace {

// On a worker: the operation, then the end posted to the view's dialog when it succeeded (a beep
// when it failed).
void Finish(const WorkOrder& order, AfterWork after, bool done) {
  if (!done) {
    MessageBeep(0);
    return;
  }
  if (order.treePane) SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, order.operations.ArchivePath().c_str(), nullptr);
  // The dialog finishes on the browser's thread, when its window is still there.
  if (IsWindow(order.dialog)) PostMessageW(order.dialog, kWorkerDoneMessage, static_cast<WPARAM>(after), 0);
}

bool AddFiles(WorkKind kind, const WorkOrder& order, AfterWork after, std::vector<std::string> paths) {
  return StartWork(kind, [order, after, paths = std::move(paths)] {
    Finish(order, after, order.operations.AddFiles(paths, order.dialog));
  });
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

bool StartSnapshotWorker(const WorkOrder& order) {
  return StartWork(WorkKind::kSnapshot,
                   [order] {
                     Finish(order, AfterWork::kBrowseToRoot, order.operations.CreateSnapshotFromLists({}, {}, order.dialog));
                   });
}

bool StartAddWorker(const WorkOrder& order, const std::vector<std::string>& paths) {
  return !paths.empty() && AddFiles(WorkKind::kAdd, order, AfterWork::kBrowseAgainAtRoot, paths);
}

bool StartDeleteWorker(const WorkOrder& order, const std::vector<std::string>& storedNames) {
  return !storedNames.empty() && StartWork(WorkKind::kDelete, [order, storedNames] {
    Finish(order, AfterWork::kRefreshAtRootElseBrowse, order.operations.DeleteItems(storedNames, order.dialog));
  });
}

bool StartPasteWorker(const WorkOrder& order) {
  if (!OpenClipboard(order.dialog)) return false;
  std::optional<std::vector<std::string>> paths = DroppedPaths(GetClipboardData(CF_HDROP));
  CloseClipboard();
  return paths && AddFiles(WorkKind::kPaste, order, AfterWork::kRefreshAtRootElseBrowse, std::move(*paths));
}

bool StartDropWorker(const WorkOrder& order, STGMEDIUM* medium) {
  std::optional<std::vector<std::string>> paths =
      medium->tymed == TYMED_HGLOBAL ? DroppedPaths(medium->hGlobal) : std::nullopt;
  ReleaseStgMedium(medium);
  return paths && AddFiles(WorkKind::kDrop, order, AfterWork::kRefreshAtRootElseBrowse, std::move(*paths));
}

}  // namespace shell
}  // namespace cairn
