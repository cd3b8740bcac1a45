// cn writes each object of a snapshot back to the stored path it was archived from, through the
// restore writer shared with the Explorer extension, and prints the writer's failures.
#include "Restore.h"

#include <cstdio>

#include "ArchiveAccess.h"
#include "CommandLine.h"
#include "ComPtr.h"
#include "ConsoleText.h"
#include "RestoreWriter.h"
#include "SnapshotItem.h"

namespace cairn {
namespace cn {
namespace {

void Report(const char* format, const std::wstring& path) {
  std::fprintf(stderr, format, Console(path.c_str()).c_str());
}

// cn's message for each failure of the writer; its successes go unsaid.
void PrintFailure(RestoreEvent event, const std::wstring& subject) {
  switch (event) {
    case RestoreEvent::kFolderNotMade: return Report("Unable to make directory: %s\n", subject);
    case RestoreEvent::kUnsafeName: return Report("Unsafe name in archive: %s\n", subject);
    case RestoreEvent::kNameUnreadable: std::fputs("Unable to get object name!\n", stderr); return;
    case RestoreEvent::kChildrenUnreadable: std::fputs("Unable to get enumerator!\n", stderr); return;
    case RestoreEvent::kNoRevision: std::fputs("No revisions!\n", stderr); return;
    case RestoreEvent::kRevisionUnreadable:
    case RestoreEvent::kContentUnreadable:
    case RestoreEvent::kTooDeep:
    case RestoreEvent::kMetAgain: std::fputs("Internal Error\n", stderr); return;
    case RestoreEvent::kFileNotCreated: return Report("Unable to create file: %s\n", subject);
    case RestoreEvent::kFileNotWritten: std::fputs("Unable to write file!\n", stderr); return;
    case RestoreEvent::kFileTimesNotSet: std::fputs("Unable to restore modification time!\n", stderr); return;
    case RestoreEvent::kAllocatorMissing: std::fputs("Unable to get CoAllocator!\n", stderr); return;
    case RestoreEvent::kElementUnreadable: std::fputs("Unable to get stream!\n", stderr); return;
    case RestoreEvent::kElementStatFailed: std::fputs("Unable to stat storage!\n", stderr); return;
    case RestoreEvent::kStorageNotCreated: std::fputs("Unable to create storage!\n", stderr); return;
    case RestoreEvent::kStreamNotCreated: std::fputs("Unable to create stream!\n", stderr); return;
    case RestoreEvent::kStreamNotCopied: std::fputs("Unable to copy stream!\n", stderr); return;
    case RestoreEvent::kStorageNotCommitted: return Report("Unable to write: %s\n", subject);
    case RestoreEvent::kDocumentNotCreated: return Report("Unable to create: %s\n", subject);
    case RestoreEvent::kDocumentNotReopened: return Report("Unable to open: %s\n", subject);
    case RestoreEvent::kDocumentTimesNotSet: return Report("Unable to set file time: %s\n", subject);
    default: return;  // successes, and an element standing alone (a failure without a message)
  }
}

bool RestoreSnapshot(ICairnSnapShot* snapshot) {
  ComPtr<IEnumCairnObjects> objects;
  if (FAILED(snapshot->EnumCairnObjects(0, objects.Out())) || !objects) {
    std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
    return false;
  }
  ComPtr<ICairnObject> object;
  HRESULT hr;
  while ((hr = objects->Next(0, object.Out())) == S_OK && object) {
    Bstr name;
    if (FAILED(object->GetName(name.Out()))) {
      std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
      return false;
    }
    ComPtr<ICairnRevision> latest;
    hr = LatestRevision(object.Get(), &latest);
    if (FAILED(hr)) {
      std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
      Report("Failed to restore: %s\n", name.Text());
      return false;
    }
    if (hr != S_OK) continue;
    // A top-level object goes back to its stored full path; every file is replaced and gets its
    // stored times.
    const std::wstring path = name.Text();
    RestoreWriter writer(RestoreOptions{}, &PrintFailure);
    if (!writer.WriteObject(latest.Get(), path, path)) {
      Report("Failed to restore: %s\n", path);
      return false;
    }
  }
  if (FAILED(hr)) {
    // A damaged archive: the snapshot's objects cannot all be had.
    std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
    return false;
  }
  return true;
}

// The newest live snapshot. The newest snapshot may have been deleted; then the newest live one
// before it is the latest the user can mean, so it is looked for from the start. The enumerator
// ends past the end either way.
HRESULT LatestLiveSnapshot(IEnumSnapShots* snapshots, ComPtr<ICairnSnapShot>* latest) {
  HRESULT hr = snapshots->Last(1, latest->Out());
  if (hr != S_FALSE) return hr;
  hr = snapshots->Reset();
  if (FAILED(hr)) return hr;
  ComPtr<ICairnSnapShot> snapshot;
  while ((hr = snapshots->Next(1, snapshot.Out())) == S_OK && snapshot) *latest = snapshot;
  if (FAILED(hr)) return hr;
  return *latest ? S_OK : S_FALSE;
}

}  // namespace

bool RestoreSnapshots(IEnumSnapShots* snapshots, const std::vector<std::string>& items, const std::string& archive) {
  for (const std::string& item : items) {
    ComPtr<ICairnSnapShot> snapshot;
    if (item == kSnapshotMarker) {
      const HRESULT hr = LatestLiveSnapshot(snapshots, &snapshot);
      if (FAILED(hr)) {
        SnapshotWalkFailed(archive);
        return false;
      }
      if (hr != S_OK || !snapshot) continue;
    } else if (!FindNamedSnapshot(snapshots, item, archive, &snapshot)) {
      return false;
    }
    if (!RestoreSnapshot(snapshot.Get())) return false;
  }
  return true;
}

}  // namespace cn
}  // namespace cairn
