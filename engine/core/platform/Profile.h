// A breakdown of where the engine's time goes, for measuring only: with the environment variable
// CAIRN_PROFILE set, each Scope adds its time (less that of the scopes opened inside it) and a
// count to its phase, and Report prints the totals. Without the variable a Scope costs one test.
#pragma once

#include <cstdint>
#include <cstdio>

namespace cairn {
namespace profile {

enum Phase {
  kLogEntry,         // writing log entries (whole-log copies and commits)
  kEngineObject,     // creating engine objects through the component system
  kOpenFile,         // opening and mapping disk files, and testing them for compound documents
  kRebuild,          // rebuilding revision contents
  kCompare,          // the difference pass, less what it spends below
  kCompress,         // compressing record data (on the worker pool: the workers' time)
  kDecompress,       // decompressing the pieces of a whole content read in place
  kWait,             // waiting for the worker pool
  kAllocate,         // finding room in the free list
  kGrow,             // growing the archive file (unmap, re-create the mapping, map)
  kFree,             // returning blocks to the free list
  kWalk,             // the snapshot walk: listing folders, looking up names, reporting
  kRestoreWrite,     // writing restored content (measured by the caller)
  kPhases
};

bool Enabled();
// Adds time to a phase directly (seconds), for callers outside the engine's scopes.
void Add(Phase phase, double seconds, uint64_t count = 1);
// Prints every phase with its count and seconds to out, then clears them.
void Report(std::FILE* out);

class Scope {
 public:
  explicit Scope(Phase phase);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  Phase phase_;
  bool on_;
  Scope* outer_ = nullptr;
  int64_t start_ = 0;
  int64_t inner_ = 0;  // time spent in scopes opened inside this one
};

}  // namespace profile
}  // namespace cairn
