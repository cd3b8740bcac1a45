// Where a restore may write a child of a restored folder or compound file: the rules that cn and
// the Explorer extension share. Portable: no Windows headers, so the checks are tested on every
// host.
#pragma once

#include <string>

namespace cairn {

// The longest file or element name a restore writes (the platform's limit for one component).
inline constexpr size_t kMaxComponentLength = 255;

// The last component of a stored name: the text after its last backslash, or after a drive
// colon when it has no backslash ("C:\Data\a.txt" gives "a.txt", "C:a.txt" gives "a.txt").
std::wstring LastComponent(const std::wstring& storedName);

// True when a component may be written below the storage or folder being restored: not empty,
// not "." or "..", no ':' (drive or alternate stream), no '/' or '\' (a path of its own), no
// control character, and not longer than kMaxComponentLength. Archives travel between
// machines, so a stored name is never trusted to stay inside its parent.
bool IsSafeComponent(const std::wstring& component);

// IsSafeComponent for a file or folder name, which the file system also reads as a path: no
// trailing '.' or ' ' (stripped, so ".. " would name the parent) and no device name such as
// "CON" or "lpt1.txt" (which would open the device instead of a file).
bool IsSafeFileName(const std::wstring& component);

}  // namespace cairn
