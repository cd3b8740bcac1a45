// The versions of the shell and of the common controls, which decide how the view's toolbar and
// address box are set up.
#pragma once

namespace cairn {
namespace shell {

// The major and minor version a system library reports through its DllGetVersion; false when
// it cannot be loaded, has no such export or the call fails.
bool ComponentVersion(const char* library, unsigned* major, unsigned* minor);

// A shell of version 4.0 (also when its version cannot be read). Worked out once per process.
bool PlainShell();
// A shell of version 4.72 with common controls 5.80 or later. Worked out once per process.
bool IntegratedShellWithNewControls();

}  // namespace shell
}  // namespace cairn
