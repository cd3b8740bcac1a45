// The extension's long operations on threads of their own, so that Explorer's thread is not
// blocked: new snapshots, deleting, picked, pasted and dropped files, restoring the latest
// snapshot, checking an archive.
// Whoever starts one (the view, the context menu, the drop target) hands it plain values only,
// such as a copy of a level's archive operations. One busy mark per kind of operation for the
// whole process: a request of a kind that finds another of its kind at work is dropped without a
// message.
#pragma once

#include <functional>

namespace cairn {
namespace shell {

enum class WorkKind { kSnapshot, kAdd, kDelete, kPaste, kDrop, kRestoreLatest, kCheck, kCount };

// Runs `work` on a new thread that keeps this module loaded to its very last instruction (it
// ends through FreeLibraryAndExitThread), so that the host may unload the module as soon as it
// answers that it is unused; an exception leaving `work` is dropped. False when the thread cannot
// be started.
bool StartThread(std::function<void()> work);

// Runs `work` on a new thread in a single-threaded apartment of its own, when no other work of
// its kind runs in the process and COM can be initialised there (otherwise it does nothing);
// the thread keeps this module loaded while it runs. False when the thread cannot be started.
bool StartWork(WorkKind kind, std::function<void()> work);

}  // namespace shell
}  // namespace cairn
