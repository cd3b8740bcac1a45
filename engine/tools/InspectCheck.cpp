#include "InspectCheck.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "ArchiveCheck.h"
#include "ArchiveHeap.h"
#include "PlatformFile.h"

namespace cairn {
namespace {

std::string Snapshots(const DamagedItem& finding) {
  if (finding.namedStream) return "named stream";
  if (finding.snapshots.empty()) return "in no snapshot";
  std::string text = "in ";
  for (size_t i = 0; i < finding.snapshots.size(); ++i) text += (i == 0 ? "" : ", ") + finding.snapshots[i];
  return text;
}

const char* Unreadable(HRESULT hr) {
  if (hr == kNewerVersion) return "the archive was created by a newer version of Cairn";
  if (hr == kNotAnArchive) return "not a Cairn archive";
  if (hr == E_OUTOFMEMORY) return "not enough memory to check it";
  return "cannot open or map the file";
}

}  // namespace

int RunCheck(const char* path, std::FILE* out, std::FILE* err) {
  WorkerPool pool;
  CheckReport report;
  const HRESULT hr = CheckArchiveFile(PlatformFiles::Native(), path, &pool, nullptr, &report);
  if (FAILED(hr)) {
    std::fprintf(err, "crninspect: %s: %s (0x%08" PRIX32 ")\n", path, Unreadable(hr), static_cast<uint32_t>(hr));
    return 2;
  }

  // Problems of the links first, then one line per damaged revision, its problems together.
  uint32_t others = 0, revisions = 0;
  for (const DamagedItem& item : DamagedItems(report)) {
    if (!item.ofRevision) {
      std::fprintf(out, "damaged: %s\n", item.what.c_str());
      ++others;
      continue;
    }
    std::fprintf(out, "damaged: \"%s\" revision %" PRId32 " (%s): %s\n", item.object.c_str(), item.revision,
                Snapshots(item).c_str(), item.what.c_str());
    ++revisions;
  }
  if (report.writerAtWork)
    std::fprintf(out, "a writer was at work on the archive: %" PRIu64 " bytes it had not linked yet were left out\n",
                report.unlinkedBytes);
  std::fprintf(out, "%s: checked %" PRIu32 " objects and %" PRIu32 " revisions, %.1f MB rebuilt: ", path, report.objects,
              report.revisions, report.bytesRebuilt / 1048576.0);
  if (report.Sound()) {
    std::fprintf(out, "no damage found\n");
    return 0;
  }
  std::fprintf(out, "%" PRIu32 " damaged revisions, %" PRIu32 " other problems\n", revisions, others);
  return 1;
}

}  // namespace cairn
