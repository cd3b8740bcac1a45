// The items a verb works on: the level they belong to, the folder that shows it, and copies of
// the items, each checked once as a sound item of ours, with their stored names. The view's
// selection, the context menu's item and a drop's target all become one before any verb runs.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "FolderLevel.h"
#include "Pidl.h"

namespace cairn {
namespace shell {

class Selection {
 public:
  // The items (single-level lists) of the folder showing the level; nullopt without a folder,
  // without items, or when one of them is not a sound item of ours.
  static std::optional<Selection> Of(IShellFolder* folder, const FolderLevel& level,
                                     const std::vector<LPCITEMIDLIST>& items);

  const FolderLevel& Level() const { return level_; }
  IShellFolder* Folder() const { return folder_.Get(); }
  // The items' lists, valid while this selection lives.
  std::vector<LPCITEMIDLIST> Lists() const;
  const std::vector<std::string>& StoredNames() const { return names_; }

 private:
  Selection() = default;

  FolderLevel level_;
  ComPtr<IShellFolder> folder_;
  std::vector<CPidl> items_;
  std::vector<std::string> names_;
};

}  // namespace shell
}  // namespace cairn
