// The view's compare verbs on one stored file: its revision beside the revision before it, or
// beside the file now on the disk at its stored path. Each runs on a worker of its own and tells
// the person when there is nothing to compare with; false when it could not start (the caller
// beeps).
#pragma once

#include <windows.h>

#include "Selection.h"

namespace cairn {
namespace shell {

bool CompareWithPreviousRevision(const Selection& selection, HWND owner);
bool CompareWithCurrentFile(const Selection& selection, HWND owner);

}  // namespace shell
}  // namespace cairn
