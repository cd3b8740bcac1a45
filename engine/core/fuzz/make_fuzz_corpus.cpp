// Writes the seed archives of the fuzz target: a new empty archive, the sample archive that
// uses every kind of record, and an archive of real stored revisions in every compression mode.
#include <cstdio>
#include <string>

#include "ArchiveHeap.h"
#include "ArchiveOpen.h"
#include "MemoryFiles.h"
#include "Revisions.h"
#include "SampleArchive.h"

using namespace cairn;

namespace {

struct Quiet final : InternalErrors {
  void Report(const char*, int) override {}
};

// Three named streams, stored with modes 0, 1 and 3, each with four revisions of a small text
// edited in the ways that give Insertions, Deletions and Changes.
bool BuildRevisionArchive(ArchiveHeap& heap) {
  testing::ArchiveBuilder build(heap);
  std::string text;
  for (int i = 0; i < 60; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of the stored text\r\n";
  Quiet quiet;
  const uint32_t modes[] = {0, 1, 3};
  for (uint32_t mode : modes) {
    const uint32_t object = build.Object("\\\\.\\Stream" + std::to_string(mode));
    if (object == 0 || build.Push(header::kNamedStreams, object) == 0) return false;
    std::string content = text, previous;
    uint32_t newest = 0;
    for (int step = 0; step < 4; ++step) {
      if (step == 1) content.insert(content.size() / 3, "an inserted line\r\n");
      if (step == 2) content.erase(content.size() / 2, 120);
      if (step == 3) content.replace(100, 70, std::string(70, '#'));
      const uint32_t revision = heap.Allocate(RevisionRecord::kSize);
      if (revision == 0) return false;
      RevisionRecord record(heap, revision);
      record.SetPrevious(newest);
      if (newest == 0) ObjectRecord(heap, object).SetOldestRevision(revision);
      MemorySource before(std::vector<uint8_t>(previous.begin(), previous.end()));
      MemorySource current(std::vector<uint8_t>(content.begin(), content.end()));
      if (StoreRevisionContent(heap, revision, before, current, mode, NumberedStamp(step + 1), nullptr, quiet, "corpus") != S_OK)
        return false;
      StatBlock stat;
      stat.type = revision_type::kStream;
      stat.size = content.size();
      record.WriteStat(stat);
      newest = revision;
      previous = content;
    }
  }
  return heap.IsOpen();
}

}  // namespace

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
  for (const char* name : {"empty.crn", "sample.crn", "revisions.crn"}) {
    std::unique_ptr<ArchiveHeap> heap;
    if (FAILED(OpenArchive(files, name, true, true, &heap))) return 1;
    if (std::string(name) == "sample.crn" && !testing::BuildSampleArchive(*heap)) return 1;
    if (std::string(name) == "revisions.crn" && !BuildRevisionArchive(*heap)) return 1;
    heap.reset();
    if (!Write(dir + "/" + name, files.Bytes(name))) {
      std::fprintf(stderr, "make_fuzz_corpus: cannot write %s/%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}
