// File-system steps of the extension's writes: folder chains, and removing what it wrote.
#pragma once

#include <string>

namespace cairn {
namespace shell {

// Makes every folder on the way to path (path included): from the drive down, a part shorter
// than three characters counts as existing, an existing folder is accepted, a missing one made.
bool MakeFolderChain(const std::string& path);

// The folder part of a path: everything before its last "\"; empty without one.
std::string FolderPart(const std::string& path);

// Removes a folder with everything in it, read-only files included.
void RemoveFolderTree(const std::string& path);

}  // namespace shell
}  // namespace cairn
