#include "ArchiveWork.h"

#include <shlobj.h>

#include <optional>
#include <utility>

#include "AnsiText.h"
#include "BackgroundWork.h"
#include "CheckWindow.h"
#include "FileList.h"
#include "PickFiles.h"

namespace cairn {
namespace shell {
namespace {

// On a worker, after the operation: the shell told and the done window posted when it succeeded,
// a beep when it failed.
void Finish(const WorkOrder& order, AfterWork after, bool done) {
  if (!done) {
    MessageBeep(0);
    return;
  }
  if (order.tellShell) SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, order.operations.ArchivePath().c_str(), nullptr);
  // The window finishes on its own thread, when it is still there.
  if (order.doneWindow != nullptr && IsWindow(order.doneWindow))
    PostMessageW(order.doneWindow, kWorkDoneMessage, static_cast<WPARAM>(after), 0);
}

bool AddFiles(WorkKind kind, const WorkOrder& order, AfterWork after, std::vector<std::wstring> paths) {
  return !paths.empty() && StartWork(kind, [order, after, paths = std::move(paths)] {
    Finish(order, after, order.operations.AddFiles(paths, order.owner));
  });
}

}  // namespace

bool StartSnapshot(const WorkOrder& order) {
  return StartWork(WorkKind::kSnapshot, [order] {
    Finish(order, AfterWork::kBrowseToRoot, order.operations.CreateSnapshotFromLists({}, {}, order.owner));
    if (order.snapshotSettleMs != 0) Sleep(order.snapshotSettleMs);
  });
}

bool StartAddPicked(const WorkOrder& order, const std::vector<std::wstring>& paths) {
  return AddFiles(WorkKind::kAdd, order, AfterWork::kBrowseAgainAtRoot, paths);
}

bool AddPickedFiles(const WorkOrder& order) {
  std::vector<std::string> paths;
  std::vector<std::wstring> picked;
  switch (PickFilesToAdd(order.owner, &paths)) {
    case PickResult::kPicked:
      for (const std::string& path : paths) picked.push_back(FromAnsi(path));
      return StartAddPicked(order, picked);
    case PickResult::kCancelled:
    case PickResult::kTooMany: return true;  // nothing to add, or the user has been told
  }
  return false;
}

bool StartDelete(const WorkOrder& order, const std::vector<std::string>& storedNames) {
  return !storedNames.empty() && StartWork(WorkKind::kDelete, [order, storedNames] {
    Finish(order, AfterWork::kRefreshAtRootElseBrowse, order.operations.DeleteItems(storedNames, order.owner));
  });
}

bool StartPaste(const WorkOrder& order) {
  std::optional<std::vector<std::wstring>> paths = ClipboardFilesToAdd();
  return paths && AddFiles(WorkKind::kPaste, order, AfterWork::kRefreshAtRootElseBrowse, std::move(*paths));
}

bool StartDrop(const WorkOrder& order, IDataObject* data) {
  std::optional<std::vector<std::wstring>> paths = FilesToAdd(data);
  return paths && StartDropped(order, std::move(*paths));
}

bool StartDropped(const WorkOrder& order, std::vector<std::wstring> paths) {
  return AddFiles(WorkKind::kDrop, order, AfterWork::kRefreshAtRootElseBrowse, std::move(paths));
}

bool StartCheck(const WorkOrder& order) {
  const ArchiveOperations archive(order.operations.ArchivePath(), {});
  return StartWork(WorkKind::kCheck, [archive] { RunCheckWindow(archive); });
}

}  // namespace shell
}  // namespace cairn
