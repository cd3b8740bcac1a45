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

// False when the snapshots cannot be walked to their end.
bool ListEverySnapshot(IEnumSnapShots* snapshots, const std::string& archive) {
  bool header = false;
  ComPtr<ICairnSnapShot> snapshot;
  HRESULT hr;
  while ((hr = snapshots->Next(1, snapshot.Out())) == S_OK && snapshot) {
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
  if (FAILED(hr)) {
    SnapshotWalkFailed(archive);
    return false;
  }
  return true;
}

// One line per top-level object that has a revision as at the snapshot; an object whose details
// cannot be read is left out. False, with a message, when the objects or an object's revisions
// cannot be walked (a damaged archive), so that no object goes missing unnoticed.
bool ListObjects(ICairnSnapShot* snapshot) {
  ComPtr<IEnumCairnObjects> objects;
  if (FAILED(snapshot->EnumCairnObjects(0, objects.Out())) || !objects) {
    std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
    return false;
  }
  bool header = false;
  ComPtr<ICairnObject> object;
  HRESULT hr;
  while ((hr = objects->Next(0, object.Out())) == S_OK && object) {
    ComPtr<ICairnRevision> revision;
    hr = LatestRevision(object.Get(), &revision);
    if (FAILED(hr)) break;
    if (hr != S_OK) continue;
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
  if (FAILED(hr)) {
    std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
    return false;
  }
  return true;
}

}  // namespace

bool ListSnapshots(IEnumSnapShots* snapshots, const std::vector<std::string>& items, const std::string& archive) {
  for (const std::string& item : items) {
    if (item == kSnapshotMarker) {
      if (!ListEverySnapshot(snapshots, archive)) return false;
      continue;
    }
    ComPtr<ICairnSnapShot> snapshot;
    if (!FindNamedSnapshot(snapshots, item, archive, &snapshot) || !ListObjects(snapshot.Get())) return false;
  }
  return true;
}

}  // namespace cn
}  // namespace cairn
