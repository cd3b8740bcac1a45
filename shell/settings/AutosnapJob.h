// An archive's Autosnap job: the Task Scheduler work item that runs cn to take a snapshot of the
// archive, hidden, with no trigger until the user sets one on its schedule page. It is named after
// the archive's path as cn names it (common/ScheduledJob.h), made once and found again by that
// name afterwards, unchanged.
#pragma once

#include <windows.h>
#include <mstask.h>
#include <prsht.h>

#include <string>
#include <utility>

#include "ComPtr.h"

namespace cairn {
namespace shell {

// The job's application and parameters.
constexpr wchar_t kAutosnapApplication[] = L"cn.exe";
std::wstring AutosnapParameters(const std::string& archivePath);

class AutosnapJob {
 public:
  explicit AutosnapJob(std::string archivePath) : archivePath_(std::move(archivePath)) {}

  // The archive's job: the scheduler's work item of its name (compared without regard to case),
  // or, when there is none, a new one that is saved at once. Null without a scheduler, when its
  // work items cannot be listed, or when the job cannot be opened, made or saved.
  ComPtr<ITask> FindOrCreate() const;

  // The scheduler's schedule page of the job, which saves what is changed on it; null where the
  // scheduler offers none (or there is no job).
  HPROPSHEETPAGE SchedulePage() const;

 private:
  ComPtr<ITask> Create(ITaskScheduler* scheduler, const std::wstring& jobName) const;

  std::string archivePath_;
};

}  // namespace shell
}  // namespace cairn
