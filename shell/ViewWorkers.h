// The archive view's long operations on worker threads: a new snapshot, deleting the selected
// items, pasting the clipboard's files and adding dropped files. Each worker keeps the view alive
// while it runs, initialises COM for itself and works only when no other worker of its kind runs
// in the process (a second request of a kind is dropped without a message). The view's windows
// and its browser belong to the browser's thread, so a worker that succeeded posts
// kWorkerDoneMessage to the view's dialog and the dialog finishes there (FinishWork).
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace cairn {
namespace shell {

class CCairnView;

// Posted to the view's dialog by a worker that succeeded; wParam nonzero: refresh when the view
// shows the archive root (else the browser goes to the root).
constexpr UINT kWorkerDoneMessage = WM_APP + 0x150;

// Each returns false when the worker could not be started (the caller beeps); a worker that
// finds another of its kind at work does nothing.
// A new snapshot of the archive's items.
bool StartSnapshotWorker(CCairnView* view, HWND dialog);
// Asks for confirmation (owned by the dialog), then deletes the items on a worker. True also
// when the user declines.
bool ConfirmAndDelete(CCairnView* view, HWND dialog, const std::vector<LPCITEMIDLIST>& items);
// Adds the files of the clipboard's CF_HDROP (a private copy of it) as a new snapshot.
bool StartPasteWorker(CCairnView* view, HWND dialog);
// Adds the dropped files as a new snapshot. Takes the medium in every case: the worker releases
// it when done, and it is released here when the worker cannot start.
bool StartDropWorker(CCairnView* view, HWND dialog, STGMEDIUM* medium);

// On the browser's thread, after a worker succeeded: the view refreshed, or the browser sent to
// the archive root. Beeps when that fails.
void FinishWork(CCairnView* view, bool refreshAtRoot);

}  // namespace shell
}  // namespace cairn
