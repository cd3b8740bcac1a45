// The installation entry points of nsx12 and its platform version tests.
#pragma once

#include <string>

namespace cairn {
namespace shell {

// The path a DllCreateArchive command line names: the text after its first blank (the New
// menu passes "<number> <path>"), without the quotes around it when it is quoted.
std::string CreateArchivePath(const std::string& commandLine);

// The major and minor version a system library reports through its DllGetVersion; false when
// it cannot be loaded, has no such export or the call fails.
bool ComponentVersion(const char* library, unsigned* major, unsigned* minor);

// A shell of version 4.0 (also when its version cannot be read). Worked out once per process.
bool PlainShell();
// A shell of version 4.72 with common controls 5.80 or later. Worked out once per process.
bool IntegratedShellWithNewControls();

}  // namespace shell
}  // namespace cairn
