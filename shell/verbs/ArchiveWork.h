// The verbs that change an archive, each on a worker of its kind (BackgroundWork.h) so that the
// window's thread is not blocked: a new snapshot, adding picked, pasted or dropped files,
// deleting items, restoring the latest snapshot, and checking the archive, which only reads it.
// A worker holds plain values only: a copy of
// the level's archive operations, the names or paths it works on and the windows of its order.
// The view, the context menu and the drop targets each make an order and call these.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

#include "ArchiveOperations.h"

namespace cairn {
namespace shell {

// Posted to an order's done window by a worker that succeeded; wParam is an AfterWork, what the
// window does then on its own thread.
constexpr UINT kWorkDoneMessage = WM_APP + 0x150;
enum class AfterWork : WPARAM {
  kBrowseToRoot,             // a new snapshot: the browser goes to the archive root
  kRefreshAtRootElseBrowse,  // deleting, pasting, dropping: the root refreshed, else gone to
  kBrowseAgainAtRoot,        // adding picked files: the root shown anew; elsewhere the view stays
};

// What every worker is given, made on the thread of the window the verb came from.
struct WorkOrder {
  ArchiveOperations operations;
  HWND owner = nullptr;        // owns the engine's progress and messages; may be null
  HWND doneWindow = nullptr;   // told kWorkDoneMessage after a success; may be null
  bool tellShell = false;      // the shell is told that the archive file changed
  DWORD snapshotSettleMs = 0;  // a snapshot's worker stays busy this long after, so that the same
                               // command chosen again at once is dropped
};

// Each gives false when its worker cannot be started, or when there is nothing to work on (the
// caller beeps); a worker that finds another of its kind at work does nothing, and one that
// fails beeps.
bool StartSnapshot(const WorkOrder& order);
// Adds the picked files (full paths) as a new snapshot.
bool StartAddPicked(const WorkOrder& order, const std::vector<std::wstring>& paths);
// The picker of New, Item, and the snapshot that adds what was picked; true also when the user
// cancelled or picked too many (the box has said so).
bool AddPickedFiles(const WorkOrder& order);
// Deletes the items of these stored names; below the root that is a new snapshot without them.
bool StartDelete(const WorkOrder& order, const std::vector<std::string>& storedNames);
// Adds the files the clipboard offers (never the extension's own data) as a new snapshot.
bool StartPaste(const WorkOrder& order);
// Adds the dropped files (never the extension's own data) as a new snapshot; the data's medium
// is released before this returns.
bool StartDrop(const WorkOrder& order, IDataObject* data);
bool StartDropped(const WorkOrder& order, std::vector<std::wstring> paths);
// The restore dialog for the archive's last snapshot, shown without an owner by the worker, and
// then the restore of the archive's latest snapshot.
bool StartRestoreLatest(const ArchiveOperations& archive);
// Check Archive: the check window for the order's archive, shown without an owner by the worker,
// as the window the command came from belongs to another thread.
bool StartCheck(const WorkOrder& order);

}  // namespace shell
}  // namespace cairn
