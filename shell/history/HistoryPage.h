// The History page of a file or folder: the revisions of its path in every known archive, newest
// first, each with the date of the snapshot that stored it, its size, the snapshot's name and the
// archive. Open shows a read-only copy of one, Restore puts it back at the path (after asking
// before it replaces what is there), Save As... writes it where the person says, and Compare shows
// two revisions, or one and the file on disk, side by side; the person's compare program is set
// on the page too.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <string>

namespace cairn {
namespace shell {

// The page for the path (absolute); null when it cannot be made. The sheet owns it.
HPROPSHEETPAGE CreateHistoryPage(const std::wstring& path);

}  // namespace shell
}  // namespace cairn
