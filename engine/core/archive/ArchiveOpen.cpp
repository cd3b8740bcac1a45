#include "ArchiveOpen.h"

#include "ArchiveCoverage.h"
#include "Revisions.h"

namespace cairn {
namespace {

HRESULT Repair(ArchiveHeap& heap) {
  if (heap.HeaderField(header::kReserved) != 0) {
    // A writer ended in the middle. Other writers are shut out while this one has the file, so
    // what it left unlinked is lost to everyone: it goes back to the free list.
    FinishInterruptedSwitch(heap);
    ReclaimUnreachable(heap);
    heap.EndRepair();
  }
  // Only a file that ends in zeros can hold a step's unused part; any other costs no walk.
  if (!heap.EndsInZeros()) return S_OK;
  uint32_t end = 0;
  if (FindLogicalEnd(heap, &end) != S_OK) return S_OK;  // a damaged archive is left as it is
  return heap.CutBack(end);
}

}  // namespace

HRESULT OpenArchive(PlatformFiles& files, const std::string& path, bool create, bool write,
                    std::unique_ptr<ArchiveHeap>* heap) {
  HRESULT hr = ArchiveHeap::Open(files, path, create, write, heap);
  if (FAILED(hr) || !write) return hr;
  // A new archive passes as one at rest: its reserved word is 0 and it ends in its header.
  if (FAILED(hr = Repair(**heap))) heap->reset();
  return hr;
}

}  // namespace cairn
