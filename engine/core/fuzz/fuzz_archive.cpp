// Opens arbitrary bytes as an archive, walks every list it can reach, then allocates and frees
// through its free list and walks again. Any crash, hang or out-of-range access is a bug.
#include <cstddef>
#include <cstdint>

#include "ArchiveHeap.h"
#include "ArchiveWalk.h"
#include "MemoryFiles.h"

using namespace cairn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testing::MemoryFiles files;
  // The last byte picks the name: every fourth input is read as a self-extracting archive.
  const bool exe = size > 0 && data[size - 1] % 4 == 0;
  const std::string name = exe ? "a.exe" : "a.crn";
  std::vector<uint8_t>& bytes = files.Bytes(name);
  if (exe) bytes.assign(kSelfExtractingOffset, 0);
  bytes.insert(bytes.end(), data, data + size);

  std::unique_ptr<ArchiveHeap> heap;
  if (FAILED(ArchiveHeap::Open(files, name, false, true, &heap))) return 0;
  ArchiveVisitor quiet;
  WalkArchive(*heap, quiet);
  FreeSpaceReport report;
  heap->FreeSpace(&report);

  // Allocation and release trust nothing in the free list either.
  uint32_t sizes[] = {12, 20, 104, 1, 4096};
  uint32_t blocks[5] = {};
  for (int i = 0; i < 5; ++i) blocks[i] = heap->Allocate(sizes[i]);
  for (int i = 4; i >= 0; i -= 2)
    if (blocks[i] != 0) heap->Free(blocks[i], sizes[i]);
  std::string text;
  ReadString(*heap, heap->HeaderField(header::kSnapshotList), &text);
  WalkArchive(*heap, quiet);
  return 0;
}
