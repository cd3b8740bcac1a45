#include "InspectCheck.h"

#include <cinttypes>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ArchiveCheck.h"
#include "ArchiveHeap.h"
#include "PlatformFile.h"

namespace cairn {
namespace {

// A revision's line names at most this many of its problems.
constexpr size_t kProblemsShown = 3;

std::string Snapshots(const CheckFinding& finding) {
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
  uint32_t others = 0;
  std::vector<uint32_t> order;
  std::map<uint32_t, std::vector<const CheckFinding*>> byRevision;
  for (const CheckFinding& finding : report.findings) {
    if (!finding.IsRevision()) {
      std::fprintf(out, "damaged: %s\n", DescribeProblem(finding).c_str());
      ++others;
      continue;
    }
    std::vector<const CheckFinding*>& problems = byRevision[finding.offset];
    if (problems.empty()) order.push_back(finding.offset);
    problems.push_back(&finding);
  }
  for (uint32_t revision : order) {
    const std::vector<const CheckFinding*>& problems = byRevision[revision];
    const CheckFinding& first = *problems.front();
    std::string text;
    for (size_t i = 0; i < problems.size() && i < kProblemsShown; ++i)
      text += (i == 0 ? "" : "; ") + DescribeProblem(*problems[i]);
    if (problems.size() > kProblemsShown) text += "; and " + std::to_string(problems.size() - kProblemsShown) + " more";
    std::fprintf(out, "damaged: \"%s\" revision %" PRId32 " (%s): %s\n", first.object.c_str(), first.revision,
                Snapshots(first).c_str(), text.c_str());
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
  std::fprintf(out, "%zu damaged revisions, %" PRIu32 " other problems\n", order.size(), others);
  return 1;
}

}  // namespace cairn
