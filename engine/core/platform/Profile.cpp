#include "Profile.h"

#include <atomic>
#include <chrono>
#include <cstdlib>

namespace cairn {
namespace profile {
namespace {

const char* const kNames[kPhases] = {"log entries", "engine objects", "opening files", "rebuilding contents",
                                     "difference pass", "compression", "decompression", "waiting for workers",
                                     "free-list search", "archive growth",
                                     "freeing blocks", "walk and names", "restore writes"};

// Added to from the worker pool's threads too.
struct Totals {
  std::atomic<int64_t> nanoseconds[kPhases] = {};
  std::atomic<uint64_t> counts[kPhases] = {};
};

Totals& totals() {
  static Totals t;
  return t;
}

thread_local Scope* current = nullptr;

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool Enabled() {
  static const bool enabled = std::getenv("CAIRN_PROFILE") != nullptr;
  return enabled;
}

void Add(Phase phase, double seconds, uint64_t count) {
  if (!Enabled()) return;
  totals().nanoseconds[phase] += static_cast<int64_t>(seconds * 1e9);
  totals().counts[phase] += count;
}

void Report(std::FILE* out) {
  if (!Enabled()) return;
  Totals& t = totals();
  for (int i = 0; i < kPhases; ++i)
    if (t.counts[i] != 0)
      std::fprintf(out, "cairn profile: %-20s %10llu %9.3f s\n", kNames[i], static_cast<unsigned long long>(t.counts[i].load()),
                   static_cast<double>(t.nanoseconds[i].load()) / 1e9);
  std::fflush(out);
  for (int i = 0; i < kPhases; ++i) t.nanoseconds[i] = 0, t.counts[i] = 0;
}

Scope::Scope(Phase phase) : phase_(phase), on_(Enabled()) {
  if (!on_) return;
  outer_ = current;
  current = this;
  start_ = Now();
}

Scope::~Scope() {
  if (!on_) return;
  const int64_t spent = Now() - start_;
  totals().nanoseconds[phase_] += spent - inner_;
  totals().counts[phase_] += 1;
  if (outer_ != nullptr) outer_->inner_ += spent;
  current = outer_;
}

}  // namespace profile
}  // namespace cairn
