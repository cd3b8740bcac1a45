// Stores the records of a difference pass in a revision's list, in the order the pass makes
// them. Compressed records are compressed on the worker pool, several at a time, and appended
// (record, then data block, then the link, as always) by the owning thread as soon as all before
// them are: the archive gets exactly the allocations, bytes and order of compressing each record
// in turn. A record that cannot be compressed or stored ends the writing: nothing behind it is
// appended, and the caller takes back the list.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "Compression.h"
#include "DifferenceList.h"
#include "DifferencePass.h"
#include "Reuse.h"
#include "WorkerPool.h"

namespace cairn {

class RecordWriter final : public RecordSink {
 public:
  RecordWriter(DifferenceList& list, uint32_t flags, WorkerPool* pool, InternalErrors& errors, const char* module);
  // Waits for what is still being compressed; what was not appended is dropped.
  ~RecordWriter() override;
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Insertions consult reuse first (it must outlive the writer's use).
  void SetReuse(Reuse* reuse) { reuse_ = reuse; }
  // Where the pass found both contents equal at the same positions is passed on to same.
  void SetSame(SameRuns* same) { same_ = same; }

  bool Data(uint8_t kind, uint32_t position, ContentView& a, uint32_t count) override;
  bool Deletion(uint32_t position, uint32_t length) override;
  void Same(uint32_t from, uint32_t to) override;
  // Appends everything still pending, in order. False when a record could not be stored (it was
  // reported once).
  bool Finish();

 private:
  struct Pending;
  // Hands the records not yet given to the pool to it, in up to tasks tasks.
  void Post(unsigned tasks);
  // Appends the pending records at the front that are done; with wait, waits for the first.
  void AppendDone(bool wait);
  bool Append(Pending& record);
  void Fail(int line);

  // Pending records hold their bytes (copies, or in place in a content nothing moves) and their
  // compressed bytes; this much of them at most before the pass waits for the front.
  static constexpr size_t kMostPendingBytes = 16u << 20;
  static constexpr size_t kMostPending = 512;
  // A task's share: this many bytes or records are handed to the pool together.
  static constexpr size_t kTaskBytes = 64u << 10;
  static constexpr size_t kTaskRecords = 16;

  DifferenceList& list_;
  const uint32_t flags_;
  InternalErrors& errors_;
  const char* module_;
  Reuse* reuse_ = nullptr;
  SameRuns* same_ = nullptr;
  std::deque<std::unique_ptr<Pending>> pending_;
  size_t pendingBytes_ = 0;
  std::vector<Pending*> unposted_;  // pending records not yet handed to the pool
  size_t unpostedBytes_ = 0;
  const unsigned workers_;
  bool failed_ = false;
  TaskGroup group_;
};

}  // namespace cairn
