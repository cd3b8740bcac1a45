// A file the folder wrote from the archive for the user to look at (the read-only copy of a stored
// file that is opened). It is deleted when its owner goes, read-only or not; a path that is a
// folder is removed with everything in it.
#pragma once

#include <string>

#include "Owner.h"

namespace cairn {
namespace shell {

struct TemporaryFileTraits {
  using Value = std::string;
  static std::string Normal(std::string path) { return path; }
  static void Free(const std::string& path);
};

using TemporaryFile = Owner<TemporaryFileTraits>;

// Removes the folder at the path with everything in it, read-only files too; nothing when the
// path is no folder.
void RemoveFolderTree(const std::string& path);

}  // namespace shell
}  // namespace cairn
