// The verbs on items of an archive that run on the window's own thread: Restore (its dialog, and
// the restore once the user chose Finish), Properties, Copy, and Delete's question before its
// worker (ArchiveWork.h). Each takes a checked selection and the window that owns its dialogs.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "ArchiveWork.h"
#include "ComPtr.h"
#include "Selection.h"

namespace cairn {
namespace shell {

// Each gives false when it failed or could not start (the caller beeps); true also when the user
// cancelled.
// The restore dialog for the items; false also when there is nothing to restore (a snapshot
// without objects).
bool RestoreSelection(const Selection& selection, HWND owner);
// The property sheet of the items, modal; *commentChanged tells whether a snapshot's comment was
// changed there.
bool ShowSelectionProperties(const Selection& selection, HWND owner, bool* commentChanged);
// The folder's data object for the items (their files written when a receiver asks); null when
// it cannot be had.
ComPtr<IDataObject> SelectionData(const Selection& selection, HWND owner);
// The items' data object on the clipboard.
bool CopySelection(const Selection& selection, HWND owner);
// Asks before deleting the items, then deletes them on a worker of the order.
bool DeleteSelection(const Selection& selection, const WorkOrder& order);

}  // namespace shell
}  // namespace cairn
