#include "ScheduledJob.h"

#include <windows.h>
#include <mstask.h>
#include <objbase.h>

#include "ComPtr.h"

namespace cairn {

std::wstring ScheduledJobName(const std::wstring& archivePath) {
  std::wstring name = archivePath;
  for (wchar_t& c : name)
    if (c == L'\\' || c == L':') c = L'-';
  return name + L".job";
}

std::wstring ScheduledJobFile(const std::wstring& jobName) {
  wchar_t windows[MAX_PATH];
  const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(windows, n) + L"\\Tasks\\" + jobName : std::wstring();
}

void DeleteScheduledJob(const std::wstring& archivePath) {
  const std::wstring job = ScheduledJobName(archivePath);
  // The scheduler names work items without their ".job" and adds it itself.
  const std::wstring item = job.substr(0, job.size() - 4);
  ComPtr<ITaskScheduler> scheduler;
  HRESULT hr = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                scheduler.OutVoid());
  if (SUCCEEDED(hr)) hr = scheduler->Delete(item.c_str());
  // Some schedulers refuse names holding a '.', which every archive's job name does: remove the
  // job's file from the scheduler's folder directly, as the scheduler itself would.
  if (hr == E_INVALIDARG) {
    const std::wstring file = ScheduledJobFile(job);
    if (!file.empty()) DeleteFileW(file.c_str());
  }
}

}  // namespace cairn
