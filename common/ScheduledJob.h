// An archive's scheduled job: the Task Scheduler work item that takes its Autosnap snapshots by
// running cn. The Explorer extension makes it and finds it again by its name; cn removes it when
// the archive is gone. Both name it here.
#pragma once

#include <string>

namespace cairn {

// The name of an archive's scheduled job, as the scheduler lists it: the archive's path with
// every '\' and ':' turned into '-' and ".job" appended (C:\Data\home.crn gives
// C--Data-home.crn.job; an empty path gives ".job").
std::wstring ScheduledJobName(const std::wstring& archivePath);

// The file the scheduler keeps a job of that name in (its Tasks folder); empty when the Windows
// folder is unknown.
std::wstring ScheduledJobFile(const std::wstring& jobName);

// Removes the archive's scheduled job, if there is one; the outcome is not reported. Call with COM
// initialised.
void DeleteScheduledJob(const std::wstring& archivePath);

}  // namespace cairn
