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

// The longest element name a compound document holds (the file format's 32 characters, with the
// terminating zero).
inline constexpr size_t kMaxElementNameLength = 31;

// True when a component is a compound document element's name as the document's format allows:
// not empty, at most kMaxElementNameLength characters, none of '\', '/', ':' or '!'. Any other
// character is ordinary there (office files keep "\x05SummaryInformation" and "\x01CompObj"),
// and device names or trailing dots mean nothing inside a document: no disk rule applies.
bool IsElementName(const std::wstring& component);

// True when a top-level stored name is a drive path ("C:", "C:\...") or a network path
// ("\\server\share..."), the only places an archive's objects come from. Relative names, "\x"
// and device paths ("\\.\", "\\?\") are refused: a restore must not be led elsewhere.
bool IsAbsoluteStoredName(const std::wstring& storedName);

// IsSafeComponent for a file or folder name, which the file system also reads as a path: no
// trailing '.' or ' ' (stripped, so ".. " would name the parent) and no device name such as
// "CON" or "lpt1.txt" (which would open the device instead of a file).
bool IsSafeFileName(const std::wstring& component);

}  // namespace cairn
