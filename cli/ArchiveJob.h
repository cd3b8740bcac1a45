// An archive as cn names it: the absolute form of the path typed, and the archive's scheduled
// job, removed when the archive is lost.
#pragma once

#include <string>

namespace cairn {
namespace cn {

// The name of an archive's scheduled job: the absolute path with every '\' and ':' turned into
// '-' and ".job" appended (C:\Data\home.crn gives C--Data-home.crn.job).
std::wstring ScheduledJobName(const std::wstring& absolutePath);

// Removes the archive's scheduled job, if there is one; the outcome is not reported.
void DeleteScheduledJob(const std::wstring& absolutePath);

// The absolute form of a path typed by the user; the path itself when it cannot be expanded.
std::wstring AbsolutePath(const std::wstring& path);

}  // namespace cn
}  // namespace cairn
