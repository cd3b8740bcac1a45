// The context menu's long commands, each on a worker of its kind (BackgroundWork.h) so that
// Explorer is not blocked: a new snapshot, restoring the latest snapshot, deleting an item and
// adding pasted files. Each is given plain values (the level's archive operations, names, paths)
// and the window that owns its messages. A worker reports nothing itself: the engine and the
// archive operations tell what they must.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ArchiveOperations.h"

namespace cairn {
namespace shell {

// Each gives false when its worker cannot be started.
// A new snapshot of the archive's items; the worker stays busy a second longer, so that the
// same command chosen again at once is dropped.
bool StartMenuSnapshot(const ArchiveOperations& archive, HWND owner);
// The restore dialog for the archive's last snapshot, shown without an owner by the worker, and
// then the restore of the archive's latest snapshot.
bool StartRestoreLatest(const ArchiveOperations& archive);
// Deletes the item of the level stored under the name; the shell is told that the archive
// changed.
bool StartMenuDelete(const ArchiveOperations& level, const std::string& storedName, HWND owner);
// Adds the files in one new snapshot.
bool StartMenuPaste(const ArchiveOperations& archive, std::vector<std::string> paths, HWND owner);

}  // namespace shell
}  // namespace cairn
