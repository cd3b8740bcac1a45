#include "BackgroundWork.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <memory>
#include <utility>

#include "Handle.h"

namespace cairn {
namespace shell {
namespace {

std::atomic<bool> g_busy[static_cast<int>(WorkKind::kCount)];

struct Job {
  WorkKind kind = WorkKind::kSnapshot;
  std::function<void()> work;
  HMODULE module = nullptr;  // a reference on this module for the thread's life
};

void Run(const Job& job) {
  std::atomic<bool>& busy = g_busy[static_cast<int>(job.kind)];
  if (busy.exchange(true)) return;  // another one of this kind is at work: dropped
  if (SUCCEEDED(CoInitialize(nullptr))) {
    job.work();
    CoUninitialize();
  }
  busy = false;
}

DWORD WINAPI WorkMain(void* parameter) {
  HMODULE module = static_cast<Job*>(parameter)->module;
  {
    std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    Run(*job);
  }
  // The module may be unloaded once the thread no longer runs its code.
  FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

bool StartWork(WorkKind kind, std::function<void()> work) {
  auto job = std::make_unique<Job>();
  job->kind = kind;
  job->work = std::move(work);
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WorkMain), &job->module))
    return false;
  const Handle thread(CreateThread(nullptr, 0, &WorkMain, job.get(), 0, nullptr));
  if (!thread) {
    FreeLibrary(job->module);
    return false;
  }
  job.release();  // the thread owns it now
  return true;
}

}  // namespace shell
}  // namespace cairn
