// How the stored names of an archive's objects fit together: a child of a folder, or an element
// of a compound document, is named by its parent's stored name, a backslash and one more
// component. Archives are untrusted, so readers check it: a name that does not fit its parent is
// damage. Portable: tested on every host.
#pragma once

#include <string>

namespace cairn {

// Whether a and b are the same stored name, letter case ignored as the system's locale compares
// names (on a host without one, ASCII letters only). Narrow names are in the system's code page.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);
bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b);

// Whether child is parent, a backslash and one non-empty component without a backslash, letter
// case ignored. A parent that ends in a backslash (a drive's root, "C:\") is followed by the
// component directly.
bool IsChildName(const std::string& parent, const std::string& child);
bool IsChildName(const std::wstring& parent, const std::wstring& child);

}  // namespace cairn
