#include "StoredContents.h"

#include "ContentStore.h"
#include "Revisions.h"
#include "SampleArchive.h"

namespace cairn {
namespace testing {
namespace {

struct Quiet final : InternalErrors {
  void Report(const char*, int) override {}
};

}  // namespace

std::vector<uint32_t> StoreContents(ArchiveHeap& heap, const std::string& name,
                                    const std::vector<std::vector<uint8_t>>& contents, uint32_t mode) {
  ArchiveBuilder build(heap);
  Quiet quiet;
  const uint32_t object = build.Object(name);
  std::vector<uint32_t> revisions;
  for (const std::vector<uint8_t>& content : contents) {
    const uint32_t snapshot = build.Snapshot("Snapshot", snapshot_flags::kLive | snapshot_flags::kNumberedStamps);
    build.Push(snapshot + 8, object);
    MemoryContent previous;
    if (!revisions.empty() && FAILED(RebuildContent(heap, revisions.back(), previous, quiet, "test"))) break;
    MemorySource before(previous.Bytes()), current(content);
    const uint32_t revision = heap.Allocate(RevisionRecord::kSize);
    RevisionRecord(heap, revision).SetPrevious(revisions.empty() ? 0 : revisions.back());
    StatBlock stat;
    stat.size = content.size();
    const HRESULT hr = StoreRevisionContent(heap, revision, before, current, mode,
                                            SnapshotRecord(heap, snapshot).AsAt(), &stat, quiet, "test");
    if (hr != S_OK) {
      heap.Free(revision, RevisionRecord::kSize);  // unchanged, or no room
      continue;
    }
    if (revisions.empty()) ObjectRecord(heap, object).SetOldestRevision(revision);
    revisions.push_back(revision);
  }
  return revisions;
}

}  // namespace testing
}  // namespace cairn
