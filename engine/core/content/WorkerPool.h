// A few threads, one per core, that compress and decompress the independent pieces of a content
// while the thread that owns the archive compares and stores. The tasks touch only memory they
// are given, never the archive: every record is still written by the owning thread, in order.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "Compression.h"
#include "SpareRoom.h"

namespace cairn {

// A task gets the compression memory of the thread that runs it.
using Task = std::function<void(compression::Workspace&)>;

class WorkerPool {
 public:
  // Contents smaller than this are worked on by their owner alone: handing a few pieces to the
  // workers and waiting for them costs more than it saves.
  static constexpr uint64_t kWorthFrom = 1u << 20;

  // workers 0: one per core. worthFrom: see For.
  explicit WorkerPool(unsigned workers = 0, uint64_t worthFrom = kWorthFrom);
  // Runs what is still queued, then joins the threads.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues a task; false when the pool has no threads (they could not be started), and the
  // caller runs it. A task must not throw.
  bool Post(Task task);
  // Runs a queued task, if there is one, on the calling thread: a thread that would wait for the
  // workers helps them instead. False when the queue is empty.
  bool RunOne(compression::Workspace& workspace);
  unsigned Workers() const { return static_cast<unsigned>(threads_.size()); }
  // pool, where work on a content of size bytes is worth handing to it; else null.
  static WorkerPool* For(WorkerPool* pool, uint64_t size) {
    return pool != nullptr && size >= pool->worthFrom_ ? pool : nullptr;
  }
  // The room the readers of the pool's archive hand on to each other.
  SpareRoom& Spare() { return spare_; }

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> queue_;
  bool stopping_ = false;
  const uint64_t worthFrom_;
  SpareRoom spare_;
  std::vector<std::thread> threads_;
};

// Tasks posted to a pool (or run at once without one) that the poster waits for: each task sets
// its own result, and Wait returns once all posted so far have run.
class TaskGroup {
 public:
  explicit TaskGroup(WorkerPool* pool) : pool_(pool) {}
  // Waits for the tasks still running: they may refer to the poster's memory.
  ~TaskGroup() { Wait(); }
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;

  void Post(Task task);
  void Wait();
  // Runs fn while holding the group's lock, for results the tasks and the poster share.
  template <class F>
  auto Locked(F&& fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    return fn();
  }
  // Waits until ready() holds, checked under the group's lock whenever a task ends; meanwhile
  // the waiting thread runs queued tasks of the pool (of any group) itself.
  void WaitUntil(const std::function<bool()>& ready);

 private:
  WorkerPool* pool_;
  compression::Workspace own_;  // for tasks run on the poster's thread
  std::mutex mutex_;
  std::condition_variable done_;
  size_t running_ = 0;
};

}  // namespace cairn
