// The archive view's long operations on worker threads: a new snapshot, deleting items, and
// adding picked, pasted or dropped files. A worker holds plain values only: a copy of the level's
// archive operations, the names or paths it works on and the dialog's window. It initialises COM for
// itself and works only when no other worker of its kind runs in the process (a second request
// of a kind is dropped without a message). The view's windows and its browser belong to the
// browser's thread, so a worker that succeeded posts kWorkerDoneMessage to the dialog, which
// finishes there.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ArchiveOperations.h"
#include "FolderLevel.h"

namespace cairn {
namespace shell {

// Posted to the view's dialog by a worker that succeeded; wParam is what the dialog does then.
constexpr UINT kWorkerDoneMessage = WM_APP + 0x150;
enum class AfterWork : WPARAM {
  kBrowseToRoot,              // a new snapshot: the browser goes to the archive root
  kRefreshAtRootElseBrowse,   // deleting, pasting, dropping: the root refreshed, else gone to
  kBrowseAgainAtRoot,         // adding picked files: the root shown anew; elsewhere the view stays
};

// What every worker is given, made on the browser's thread.
struct WorkOrder {
  ArchiveOperations operations;
  HWND dialog = nullptr;
  bool treePane = false;  // the browser shows a tree pane, which is told that the archive changed
};
WorkOrder MakeWorkOrder(const FolderLevel& level, IShellBrowser* browser, HWND dialog);

// Each returns false when the worker could not be started (the caller beeps); a worker that
// finds another of its kind at work does nothing.
// A new snapshot of the archive's items.
bool StartSnapshotWorker(const WorkOrder& order);
// Adds the picked files (full paths) as a new snapshot.
bool StartAddWorker(const WorkOrder& order, const std::vector<std::string>& paths);
// Deletes the items of these stored names.
bool StartDeleteWorker(const WorkOrder& order, const std::vector<std::string>& storedNames);
// Adds the files of the clipboard's CF_HDROP as a new snapshot; false also when it holds no sound
// file list.
bool StartPasteWorker(const WorkOrder& order);
// Adds the dropped files as a new snapshot. The medium is released here in every case, on the
// thread that received it.
bool StartDropWorker(const WorkOrder& order, STGMEDIUM* medium);

}  // namespace shell
}  // namespace cairn
