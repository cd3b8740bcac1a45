// One level of an archive as the shell addresses it, as values any thread may hold: the archive
// file's path, the shell's absolute list of it (when the folder was given one) and the items
// below it that lead to the level (the sub-path).
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "ArchiveOperations.h"
#include "Pidl.h"
#include "StoredText.h"

namespace cairn {
namespace shell {

struct FolderLevel {
  std::string archivePath;
  CPidl location;  // the shell's own list, only copied
  CPidl subPath;   // checked: a list of ours
  StoredText names;  // how the archive keeps its names, and so the texts of its items

  // True at the archive root, whose items are snapshots.
  bool AtRoot() const { return subPath.Empty(); }
  // The shell's absolute list of the archive file; null when the folder was initialised with a
  // path alone.
  LPCITEMIDLIST Location() const { return location.Empty() ? nullptr : location.Get(); }
  // The archive operations of this level.
  ArchiveOperations Operations() const;
  // The number of the snapshot shown below the root (after the last ';' of the first sub-path
  // item's name); 0 at the root.
  int32_t ShownSnapshot() const;
  // The level's location as the browser's address box names it: the folder's parsing name of
  // the level, without a trailing "\".
  std::string Address(IShellFolder* folder) const;
};

}  // namespace shell
}  // namespace cairn
