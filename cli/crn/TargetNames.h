// Where crn writes a stored Windows path below the folder it restores to, and which names it
// may write: a drive's path goes to a folder named after the drive ("C:\Users\a" to C/Users/a),
// a UNC path to UNC/server/share/...; anything else (a relative path, "C:a", a device path) has
// no place there and is refused. Every component passes the shared unsafe-name rules, so nothing
// lands outside the target folder.
#pragma once

#include <string>
#include <vector>

#include "StoredText.h"

namespace cairn {
namespace crn {

// The components below the target folder for a top-level stored name (in stored text, read as
// text reads it); false for a name refused as above.
bool TargetComponents(const StoredText& text, const std::string& storedName, std::vector<std::string>* components);

// Whether stored is a folder above path (path lies below it), letter case ignored.
bool IsAbove(const std::string& stored, const std::string& path);

}  // namespace crn
}  // namespace cairn
