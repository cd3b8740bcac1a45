// An archive as cn names it: the absolute form of the path typed (its scheduled job is named after
// that form, common/ScheduledJob.h).
#pragma once

#include <string>

namespace cairn {
namespace cn {

// The absolute form of a path typed by the user; the path itself when it cannot be expanded.
std::wstring AbsolutePath(const std::wstring& path);

}  // namespace cn
}  // namespace cairn
