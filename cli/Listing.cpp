#include "Listing.h"

#include <cstdio>

#include "ArchiveAccess.h"
#include "CommandLine.h"
#include "ComPtr.h"
#include "ConsoleText.h"
#include "SnapshotItem.h"

namespace cairn {
namespace cn {
namespace {

void ListEverySnapshot(IEnumSnapShots* snapshots) {
  bool header = false;
  ComPtr<ICairnSnapShot> snapshot;
  while (snapshots->Next(1, snapshot.Out()) == S_OK && snapshot) {
    Bstr name;
    Bstr comment;
    FILETIME created{};
    if (FAILED(snapshot->GetName(name.Out())) || FAILED(snapshot->GetCreationTime(&created.dwHighDateTime,
                                                                                  &created.dwLowDateTime)) ||
        FAILED(snapshot->GetComment(comment.Out()))) {
      std::fputs("Error getting snapshot detail!\n", stderr);
      continue;
    }
    if (!header) std::fputs("Name\t\tCreated\t\tComment\n", stdout);
    header = true;
    std::printf("%-15s\t%s\t%s\n", Console(name.Text().c_str()).c_str(), LocalDateTime(created).c_str(),
                Console(comment.Text().c_str()).c_str());
  }
}

// One line per top-level object that has a revision as at the snapshot; an object whose details
// cannot be read is left out.
bool ListObjects(ICairnSnapShot* snapshot) {
  ComPtr<IEnumCairnObjects> objects;
  if (FAILED(snapshot->EnumCairnObjects(0, objects.Out())) || !objects) {
    std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
    return false;
  }
  bool header = false;
  ComPtr<ICairnObject> object;
  while (objects->Next(0, object.Out()) == S_OK && object) {
    ComPtr<ICairnRevision> revision;
    if (LatestRevision(object.Get(), &revision) != S_OK) continue;
    if (!header) std::printf("%-60s\tModified\n", "Name");
    header = true;
    LONG number = 0;
    Bstr name;
    ComPtr<IStream> content;
    STATSTG stat{};
    if (FAILED(revision->GetRevision(&number)) || FAILED(object->GetName(name.Out())) ||
        FAILED(revision->GetContents(content.Out())) || !content || FAILED(content->Stat(&stat, STATFLAG_NONAME)))
      continue;
    const std::string line = Console(name.Text().c_str()) + ";" + std::to_string(number);
    std::printf("%-60s\t%s\n", line.c_str(), LocalDateTime(stat.mtime).c_str());
  }
  return true;
}

}  // namespace

bool ListSnapshots(IEnumSnapShots* snapshots, const std::vector<std::string>& items) {
  for (const std::string& item : items) {
    if (item == kSnapshotMarker) {
      ListEverySnapshot(snapshots);
      continue;
    }
    ComPtr<ICairnSnapShot> snapshot;
    if (!FindNamedSnapshot(snapshots, item, &snapshot) || !ListObjects(snapshot.Get())) return false;
  }
  return true;
}

}  // namespace cn
}  // namespace cairn
