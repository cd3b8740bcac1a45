#include "AutosnapJob.h"

#include <objbase.h>

#include "AnsiText.h"
#include "ScheduledJob.h"
#include "TaskMemory.h"

namespace cairn {
namespace shell {
namespace {

// The scheduler names work items without the ".job" of their files and adds it itself.
std::wstring WorkItemName(const std::wstring& jobName) {
  const size_t n = jobName.size();
  return n >= 4 && lstrcmpiW(jobName.c_str() + n - 4, L".job") == 0 ? jobName.substr(0, n - 4) : jobName;
}

// The job whose name the scheduler lists, without regard to case; S_FALSE when there is none.
HRESULT FindJob(ITaskScheduler* scheduler, const std::wstring& jobName, ComPtr<ITask>* job) {
  ComPtr<IEnumWorkItems> items;
  HRESULT hr = scheduler->Enum(items.Out());
  if (FAILED(hr) || !items) return FAILED(hr) ? hr : E_FAIL;
  for (;;) {
    LPWSTR* names = nullptr;
    ULONG fetched = 0;
    if (items->Next(1, &names, &fetched) != S_OK || names == nullptr || fetched == 0) {
      CoTaskMemFree(names);
      return S_FALSE;
    }
    const TaskMemory<LPWSTR> list(names);
    const TaskMemory<wchar_t> name(names[0]);
    if (name && lstrcmpiW(name.Get(), jobName.c_str()) == 0)
      return scheduler->Activate(WorkItemName(name.Get()).c_str(), IID_ITask,
                                 reinterpret_cast<IUnknown**>(job->Out()));
  }
}

}  // namespace

std::wstring AutosnapParameters(const std::string& archivePath) {
  return L"/n Autosnap \"" + FromAnsi(archivePath) + L"\"";
}

ComPtr<ITask> AutosnapJob::FindOrCreate() const {
  ComPtr<ITaskScheduler> scheduler;
  if (FAILED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                              scheduler.OutVoid())))
    return nullptr;
  const std::wstring jobName = ScheduledJobName(FromAnsi(archivePath_));
  ComPtr<ITask> job;
  const HRESULT found = FindJob(scheduler.Get(), jobName, &job);
  // A job that is there but cannot be opened is left alone: never a second one.
  if (found != S_FALSE) return SUCCEEDED(found) ? job : nullptr;
  return Create(scheduler.Get(), jobName);
}

ComPtr<ITask> AutosnapJob::Create(ITaskScheduler* scheduler, const std::wstring& jobName) const {
  const std::wstring item = WorkItemName(jobName);
  ComPtr<ITask> job;
  HRESULT hr = scheduler->NewWorkItem(item.c_str(), CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(job.Out()));
  // Some schedulers refuse names holding a '.', which every archive's job name does (cn removes
  // such jobs by their file): the job is made under a stand-in name and saved as its own file.
  std::wstring file;
  if (hr == E_INVALIDARG) {
    std::wstring standIn = item;
    for (wchar_t& c : standIn)
      if (c == L'.') c = L'_';
    file = ScheduledJobFile(jobName);
    hr = file.empty() ? E_FAIL
                      : scheduler->NewWorkItem(standIn.c_str(), CLSID_CTask, IID_ITask,
                                               reinterpret_cast<IUnknown**>(job.Out()));
  }
  ComPtr<IPersistFile> persist;
  const std::wstring parameters = AutosnapParameters(archivePath_);
  if (SUCCEEDED(hr)) hr = job->SetApplicationName(kAutosnapApplication);
  if (SUCCEEDED(hr)) hr = job->SetParameters(parameters.c_str());
  if (SUCCEEDED(hr)) hr = job->SetFlags(TASK_FLAG_HIDDEN);
  if (SUCCEEDED(hr)) hr = job.As(&persist);
  if (SUCCEEDED(hr)) hr = persist->Save(file.empty() ? nullptr : file.c_str(), TRUE);
  return SUCCEEDED(hr) ? job : nullptr;
}

HPROPSHEETPAGE AutosnapJob::SchedulePage() const {
  ComPtr<ITask> job = FindOrCreate();
  ComPtr<IProvideTaskPage> pages;
  HPROPSHEETPAGE page = nullptr;
  if (!job || FAILED(job->QueryInterface(IID_IProvideTaskPage, pages.OutVoid())) ||
      FAILED(pages->GetPage(TASKPAGE_SCHEDULE, TRUE, &page)))
    return nullptr;
  return page;
}

}  // namespace shell
}  // namespace cairn
