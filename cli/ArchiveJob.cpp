#include "ArchiveJob.h"

#include <windows.h>
#include <mstask.h>
#include <objbase.h>

#include "ComPtr.h"

namespace cairn {
namespace cn {

std::wstring ScheduledJobName(const std::wstring& absolutePath) {
  std::wstring name = absolutePath;
  for (wchar_t& c : name)
    if (c == L'\\' || c == L':') c = L'-';
  return name + L".job";
}

void DeleteScheduledJob(const std::wstring& absolutePath) {
  const std::wstring job = ScheduledJobName(absolutePath);
  // The scheduler names work items without their ".job" and adds it itself.
  const std::wstring item = job.substr(0, job.size() - 4);
  ComPtr<ITaskScheduler> scheduler;
  HRESULT hr = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                scheduler.OutVoid());
  if (SUCCEEDED(hr)) hr = scheduler->Delete(item.c_str());
  // Some schedulers refuse names holding a '.', which every archive's job name does: remove the
  // job's file from the scheduler's folder directly, as the scheduler itself would.
  if (hr == E_INVALIDARG) {
    wchar_t windows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (n > 0 && n < MAX_PATH) DeleteFileW((std::wstring(windows) + L"\\Tasks\\" + job).c_str());
  }
}

std::wstring AbsolutePath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
  if (n == 0 || n >= full.size()) return path;
  full.resize(n);
  return full;
}

}  // namespace cn
}  // namespace cairn
