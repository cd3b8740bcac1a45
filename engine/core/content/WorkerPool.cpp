#include "WorkerPool.h"

#include <algorithm>
#include <exception>

namespace cairn {

WorkerPool::WorkerPool(unsigned workers, uint64_t worthFrom) : worthFrom_(worthFrom) {
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < workers; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::exception&) {
      break;  // fewer threads; with none, tasks run on the poster's thread
    }
  }
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool WorkerPool::Post(Task task) {
  if (threads_.empty()) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
  }
  wake_.notify_one();
  return true;
}

bool WorkerPool::RunOne(compression::Workspace& workspace) {
  Task task;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return false;
    task = std::move(queue_.front());
    queue_.pop_front();
  }
  task(workspace);
  return true;
}

void WorkerPool::Work() {
  compression::Workspace workspace;  // this thread's, freed when it ends with the pool
  for (;;) {
    Task task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and nothing left to run
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task(workspace);
  }
}

void TaskGroup::Post(Task task) {
  if (pool_ != nullptr) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++running_;
    }
    Task run = [this, task](compression::Workspace& workspace) {
      task(workspace);
      std::lock_guard<std::mutex> lock(mutex_);
      --running_;
      done_.notify_all();
    };
    if (pool_->Post(std::move(run))) return;
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
  }
  task(own_);
}

void TaskGroup::Wait() {
  WaitUntil([] { return false; });
}

void TaskGroup::WaitUntil(const std::function<bool()>& ready) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (ready() || running_ == 0) return;
    }
    // Help with what is queued rather than sleep; sleep only once nothing is left to take.
    if (pool_ != nullptr && pool_->RunOne(own_)) continue;
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return ready() || running_ == 0; });
    return;
  }
}

}  // namespace cairn
