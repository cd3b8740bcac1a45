#include "BackgroundWork.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <memory>
#include <new>
#include <utility>

#include "ComApartment.h"
#include "Handle.h"
#include "Module.h"

namespace cairn {
namespace shell {
namespace {

std::atomic<bool> g_busy[static_cast<int>(WorkKind::kCount)];

struct Job {
  std::function<void()> work;
  HMODULE module = nullptr;  // a reference on this module for the thread's life
  ModuleLock lock;           // and the module answers that it is in use meanwhile
};

// The busy mark of one kind, held from its claim until the work ends, also by an exception.
class BusyClaim {
 public:
  explicit BusyClaim(WorkKind kind) : busy_(g_busy[static_cast<int>(kind)]), held_(!busy_.exchange(true)) {}
  ~BusyClaim() {
    if (held_) busy_ = false;
  }
  BusyClaim(const BusyClaim&) = delete;
  BusyClaim& operator=(const BusyClaim&) = delete;
  bool Held() const { return held_; }

 private:
  std::atomic<bool>& busy_;
  const bool held_;
};

DWORD WINAPI ThreadMain(void* parameter) {
  HMODULE module = static_cast<Job*>(parameter)->module;
  {
    std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    // An exception leaving the thread would end the host's process, every window of it.
    try {
      job->work();
    } catch (...) {
    }
  }
  // The module may be unloaded once the thread no longer runs its code.
  FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

bool StartThread(std::function<void()> work) {
  std::unique_ptr<Job> job(new (std::nothrow) Job());
  if (job == nullptr) return false;
  job->work = std::move(work);
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadMain),
                          &job->module))
    return false;
  const Handle thread(CreateThread(nullptr, 0, &ThreadMain, job.get(), 0, nullptr));
  if (!thread) {
    FreeLibrary(job->module);
    return false;
  }
  job.release();  // the thread owns it now
  return true;
}

bool StartWork(WorkKind kind, std::function<void()> work) {
  return StartThread([kind, work = std::move(work)] {
    const BusyClaim claim(kind);
    if (!claim.Held()) return;  // another one of this kind is at work: dropped
    const ComApartment apartment;
    if (apartment.Started()) work();
  });
}

}  // namespace shell
}  // namespace cairn
