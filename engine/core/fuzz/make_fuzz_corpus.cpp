// Writes the seed archives of the fuzz target: a new empty archive and the sample archive that
// uses every kind of record.
#include <cstdio>
#include <string>

#include "ArchiveHeap.h"
#include "MemoryFiles.h"
#include "SampleArchive.h"

using namespace cairn;

static bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_corpus DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  testing::MemoryFiles files;
  for (const char* name : {"empty.crn", "sample.crn"}) {
    std::unique_ptr<ArchiveHeap> heap;
    if (FAILED(ArchiveHeap::Open(files, name, true, true, &heap))) return 1;
    if (std::string(name) == "sample.crn" && !testing::BuildSampleArchive(*heap)) return 1;
    heap.reset();
    if (!Write(dir + "/" + name, files.Bytes(name))) {
      std::fprintf(stderr, "make_fuzz_corpus: cannot write %s/%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}
