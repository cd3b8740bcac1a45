#include "RecordWriter.h"

#include <algorithm>
#include <exception>
#include <new>

#include "Profile.h"

namespace cairn {

struct RecordWriter::Pending {
  uint8_t kind = 0;
  uint32_t position = 0;
  uint32_t length = 0;              // a Deletion's
  std::vector<uint8_t> copy;        // the record's bytes, where they could move
  const uint8_t* bytes = nullptr;   // the record's bytes
  uint32_t count = 0;
  std::vector<uint8_t> compressed;  // what is stored
  uint32_t reuseBlock = 0;          // or this block of the previous content, taken over
  uint32_t reuseLength = 0;
  bool done = false;                // ready to append (under the group's lock)
  bool failed = false;
};

RecordWriter::RecordWriter(DifferenceList& list, uint32_t flags, WorkerPool* pool, InternalErrors& errors,
                           const char* module)
    : list_(list),
      flags_(flags),
      errors_(errors),
      module_(module),
      workers_(pool != nullptr ? std::max(1u, pool->Workers()) : 1),
      group_(pool) {}

RecordWriter::~RecordWriter() {
  unposted_.clear();
  group_.Wait();
}

void RecordWriter::Fail(int line) {
  if (!failed_) errors_.Report(module_, line);
  failed_ = true;
}

bool RecordWriter::Data(uint8_t kind, uint32_t position, ContentView& a, uint32_t count) {
  if (failed_) return false;
  if (!compression::IsCompressed(flags_)) {
    // Stored as they are, straight from the content: nothing to wait for.
    const HRESULT hr = list_.AppendFromView(kind, position, a, count);
    if (FAILED(hr)) Fail(__LINE__);
    return !failed_;
  }
  std::unique_ptr<Pending> record(new (std::nothrow) Pending);
  if (record == nullptr) {
    Fail(__LINE__);
    return false;
  }
  record->kind = kind;
  record->position = position;
  record->count = count;
  uint32_t got = 0;
  const uint8_t* run = a.Run(position, count, &got);
  if (a.Stable() && run != nullptr && got >= count) {
    record->bytes = run;
  } else {
    try {
      record->copy.resize(count);
    } catch (const std::exception&) {
      Fail(__LINE__);
      return false;
    }
    if (!CopyOut(a, position, count, record->copy.data())) {
      Fail(__LINE__);
      return false;
    }
    record->bytes = record->copy.data();
    pendingBytes_ += count;
  }
  Pending* job = record.get();
  const bool reused = kind == difference_kind::kInsertion && reuse_ != nullptr &&
                      reuse_->Find(position, job->bytes, count, &job->reuseBlock, &job->reuseLength);
  job->done = reused;
  try {
    // The room compressing needs, made here: a worker that allocates waits on the heap's lock.
    if (!reused) job->compressed.resize(compression::Room(flags_, count));
    pending_.push_back(std::move(record));
    if (!reused) {
      unposted_.push_back(job);
      unpostedBytes_ += count;
    }
  } catch (const std::exception&) {
    Post(1);
    group_.Wait();
    Fail(__LINE__);
    return false;
  }
  if (unpostedBytes_ >= kTaskBytes || unposted_.size() >= kTaskRecords) Post(1);
  AppendDone(false);
  while (!failed_ && (pendingBytes_ > kMostPendingBytes || pending_.size() > kMostPending)) AppendDone(true);
  return !failed_;
}

void RecordWriter::Same(uint32_t from, uint32_t to) {
  if (same_ != nullptr) same_->Same(from, to);
}

bool RecordWriter::Deletion(uint32_t position, uint32_t length) {
  if (failed_) return false;
  if (pending_.empty()) {
    if (FAILED(list_.AppendDeletion(position, length))) Fail(__LINE__);
    return !failed_;
  }
  std::unique_ptr<Pending> record(new (std::nothrow) Pending);
  if (record == nullptr) {
    Fail(__LINE__);
    return false;
  }
  record->kind = difference_kind::kDeletion;
  record->position = position;
  record->length = length;
  record->done = true;
  try {
    pending_.push_back(std::move(record));
  } catch (const std::exception&) {
    Fail(__LINE__);
    return false;
  }
  AppendDone(false);
  return !failed_;
}

bool RecordWriter::Append(Pending& record) {
  HRESULT hr;
  if (record.kind == difference_kind::kDeletion)
    hr = list_.AppendDeletion(record.position, record.length);
  else if (record.reuseBlock != 0)
    hr = list_.AppendTaken(record.kind, record.position, record.reuseBlock, record.reuseLength);
  else
    hr = list_.AppendStored(record.kind, record.position, record.compressed.data(),
                            static_cast<uint32_t>(record.compressed.size()));
  return SUCCEEDED(hr);
}

void RecordWriter::Post(unsigned tasks) {
  // Records are compressed a few to a task: waking a worker costs more than a small record.
  tasks = std::max(1u, std::min<unsigned>(tasks, static_cast<unsigned>(unposted_.size())));
  const size_t per = (unposted_.size() + tasks - 1) / tasks;
  for (size_t at = 0; at < unposted_.size(); at += per) {
    std::vector<Pending*> jobs(unposted_.begin() + at, unposted_.begin() + std::min(unposted_.size(), at + per));
    group_.Post([this, jobs](compression::Workspace& workspace) {
      for (Pending* job : jobs) {
        bool ok;
        {
          profile::Scope scope(profile::kCompress);
          ok = compression::Compress(flags_, job->bytes, job->count, &job->compressed, &workspace);
        }
        group_.Locked([&] {
          job->failed = !ok;
          job->done = true;
          return 0;
        });
      }
    });
  }
  unposted_.clear();
  unpostedBytes_ = 0;
}

void RecordWriter::AppendDone(bool wait) {
  while (!failed_ && !pending_.empty()) {
    Pending& front = *pending_.front();
    bool done = false, compressFailed = false;
    if (wait) {
      Post(workers_);  // what is about to be waited for is being compressed, on every worker
      if (!group_.Locked([&] { return front.done; })) {
        profile::Scope scope(profile::kWait);
        group_.WaitUntil([&] { return front.done; });
      }
      wait = false;
    }
    group_.Locked([&] {
      done = front.done;
      compressFailed = front.failed;
      return 0;
    });
    if (!done) return;
    if (compressFailed || !Append(front)) {
      Fail(__LINE__);
      break;
    }
    pendingBytes_ -= front.copy.size();
    pending_.pop_front();
  }
  if (failed_) {
    // Nothing behind a record that could not be stored is appended.
    unposted_.clear();
    group_.Wait();
    pending_.clear();
    pendingBytes_ = 0;
  }
}

bool RecordWriter::Finish() {
  while (!failed_ && !pending_.empty()) AppendDone(true);
  return !failed_;
}

}  // namespace cairn
