// The restore dialog ("Restore Item(s)..."): a wizard-form sheet of one page in which the user
// picks where the items go and the three options, then watches the restore's progress. It
// describes the items given, or at the archive root the first selected snapshot's contents (up to
// two of its top-level objects); the restore itself is the caller's, run by the page once the user
// chose Finish, on a thread of its own, so that the window answers while it writes.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "ArchiveOperations.h"
#include "IdList.h"
#include "StoredText.h"

namespace cairn {
namespace shell {

// What the dialog shows and what the user chose; one per dialog, owned by the caller.
struct RestoreRequest {
  std::string target;  // a folder, or a file's full path when one file is restored
  bool overwriteOlder = false;
  bool overwriteNewer = false;
  bool restoreTime = false;
  // The items the dialog describes: those given, or the snapshot's contents below.
  std::vector<LPCITEMIDLIST> items;
  // Up to two top-level objects of the snapshot chosen at the archive root, owned here.
  std::vector<IdList> contents;
  // After Finish: whether the restore succeeded.
  bool restored = false;
  // How the archive keeps its names, which the items' texts are in.
  StoredText names;

  ExtractOptions Options() const { return ExtractOptions{overwriteOlder, overwriteNewer, restoreTime}; }
};

// The restore, run with the request's choices on the page's own thread (COM initialised for it);
// true when it succeeded. It must hold plain values only, and hand stop on to the restore: it
// answers true once the user cancelled or the dialog is going.
using RestoreWork =
    std::function<bool(const RestoreRequest& request, const RestoreProgress& progress, const RestoreStop& stop)>;

// Shows the dialog for the items of the folder (a null folder or one inside a snapshot: the items
// themselves; at the archive root: the contents of the first, a snapshot). The property sheet's
// result: 1 when the user chose Finish and the work ran (request->restored says how it went), 0
// when the user cancelled or there was nothing to restore (no dialog shown), -1 when the dialog
// cannot be shown, also while another restore dialog of this process is open. Cancel while the
// restore runs stops it before the next object; the page then says how many were restored, and
// the user closes it (0). When the sheet goes with its owner, the restore is stopped the same way
// and the window's thread waits at most for the object being written.
INT_PTR ShowRestoreDialog(RestoreRequest* request, HWND owner, IShellFolder* folder,
                          const std::vector<LPCITEMIDLIST>& items, const RestoreWork& work);

// The target the dialog proposes for these items: one file goes back to its own stored path; a
// folder, or several items, to the folder part of the first one's.
// In the code page, as the dialog shows it.
std::string DefaultRestoreTarget(const std::vector<LPCITEMIDLIST>& items, const StoredText& names = StoredText());

}  // namespace shell
}  // namespace cairn
