// The picker of New, Item: the system's file-open box ("Select items to add...", all files, several
// at once, existing files only) with the archive's icon, and the full paths of what was picked.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cairn {
namespace shell {

// The box's file buffer, in characters: room for a few hundred picked names of common length.
inline constexpr size_t kPickBufferCharacters = 65536;

enum class PickResult {
  kPicked,     // *paths holds the full paths, in the box's order
  kCancelled,  // or the box failed: nothing is added
  kTooMany,    // the names picked do not fit the buffer (the box says so, or cuts them short): the
               // user has been told, nothing is added
};

PickResult PickFilesToAdd(HWND owner, std::vector<std::string>* paths,
                          size_t bufferCharacters = kPickBufferCharacters);

// The paths of a pick's buffer of `size` characters: one full path, or a folder followed by file
// names, each ended by a zero, the list ended by an empty one. Several names give the folder, a
// "\" and each name. Nothing beyond the buffer is read; a list without its end gives no path.
std::vector<std::string> PickedPaths(const char* buffer, size_t size);

}  // namespace shell
}  // namespace cairn
