// What the picture tools share: letting a window's messages run for a while, and writing part of
// the screen to a bitmap file.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {
namespace browser {
namespace tools {

// Dispatches the thread's messages for about `milliseconds`.
void PumpFor(DWORD milliseconds);

// Writes `area` of the screen to `path` as a 24-bit bitmap; with `withCursor` the mouse cursor is
// drawn in, since the screen holds none and a drag is told by its cursor. False on any failure.
bool Capture(const RECT& area, const std::wstring& path, bool withCursor);

}  // namespace tools
}  // namespace browser
}  // namespace cairn
