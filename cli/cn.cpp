// cn: takes a snapshot of one or more archives, or lists or restores their snapshots.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ArchiveAccess.h"
#include "ArchiveJob.h"
#include "CommandLine.h"
#include "ComPtr.h"
#include "ConsoleText.h"
#include "KnownArchives.h"
#include "Listing.h"
#include "NotArchived.h"
#include "Restore.h"
#include "Result.h"
#include "SafeArray.h"
#include "ScheduledJob.h"
#include "cairn.h"

namespace cairn {
namespace cn {
namespace {

constexpr int kFailure = -1;
// Longest full path the archive keeps as a name (its conversion buffers hold 260 characters).
constexpr int kMaxArchiveName = 259;

std::vector<std::wstring> AbsolutePaths(const std::vector<std::string>& items) {
  std::vector<std::wstring> paths;
  for (const std::string& item : items) paths.push_back(AbsolutePath(Wide(item)));
  return paths;
}

void SayWaiting(const void* typed) {
  std::printf("%s: Waiting for another program to finish writing the archive...\n",
              Console(*static_cast<const std::string*>(typed)).c_str());
  std::fflush(stdout);
}

// Opens an archive as the snapshot run and the listings need it: listings and restores read an
// archive that cannot be written; a snapshot waits for another writer to finish (saying so when
// verbose). An archive that cannot be opened for a snapshot loses its scheduled job too, unless
// another writer holds it for now. Prints the failure. An archive opened is recorded as known.
bool Open(const std::string& typed, bool create, bool forSnapshot, bool verbose, ComPtr<ICairnArchive>* archive) {
  const std::wstring path = AbsolutePath(Wide(typed));
  const HRESULT hr = forSnapshot ? OpenArchiveToWrite(path, archive, create, verbose ? &SayWaiting : nullptr, &typed)
                                 : OpenArchiveToRead(path, archive, /*readOnlyFallback=*/true);
  if (SUCCEEDED(hr)) {
    RecordKnownArchive(path);
    return true;
  }
  if (forSnapshot && hr != STG_E_SHAREVIOLATION) DeleteScheduledJob(path);
  std::fprintf(stderr, "Failed to open/create %s\n", Console(typed).c_str());
  return false;
}

// Tells the user of each item to add whose full path is longer than an archive name can hold;
// the engine leaves such items out as it does missing ones.
void ReportLongPaths(const std::vector<std::string>& items) {
  for (const std::string& item : items) {
    const std::wstring path = AbsolutePath(Wide(item));
    const int bytes = WideCharToMultiByte(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0, nullptr,
                                          nullptr);
    if (bytes > kMaxArchiveName)
      std::fprintf(stderr, "Unable to add, path longer than %d characters: %s\n", kMaxArchiveName,
                   Console(item).c_str());
  }
}

int SnapshotRun(const CommandLine& command) {
  ReportLongPaths(command.adds);
  const SafeArray adds = BstrArray(AbsolutePaths(command.adds));
  const SafeArray deletes = BstrArray(AbsolutePaths(command.deletes));
  Bstr name(Wide(command.snapshotName));
  int result = 0;
  for (const std::string& typed : command.archives) {
    ComPtr<ICairnArchive> archive;
    if (!Open(typed, command.create, true, command.verbose, &archive)) return kFailure;
    ComPtr<ICairnSnapShot> snapshot;
    const uint64_t start = SnapshotStart();
    HRESULT hr = archive->CreateSnapShot(name.Get(), adds.Get(), deletes.Get(), snapshot.Out());
    ReportNotArchived(archive.Get(), start, hr, !command.adds.empty());
    if (hr == S_OK) {
      LONG number = 0;
      if (snapshot) snapshot->GetSnapShot(&number);
      if (command.verbose)
        std::printf("%s: Created Snapshot '%s;%ld'\n", Console(typed).c_str(), Console(command.snapshotName).c_str(),
                    static_cast<long>(number));
      result = 1;
    } else if (hr == S_FALSE) {
      if (command.verbose) std::printf("%s: No new snapshot required\n", Console(typed).c_str());
    } else if (hr == kCorruptArchive) {
      // Damage the engine found before it stored anything, or on its way through the archive.
      std::fprintf(stderr,
                   "Failed to create snapshot for %s: the archive is damaged, so no snapshot was taken. Run "
                   "crninspect on it for details.\n",
                   Console(typed).c_str());
      return kFailure;
    } else {
      std::fprintf(stderr, "Failed to create snapshot for %s\n", Console(typed).c_str());
      return kFailure;
    }
  }
  return result;
}

// Runs one phase of listing or restoring over every archive in turn, each with its own snapshot
// enumerator shared by all the phase's items. False after the first failure.
bool ForEachArchive(const CommandLine& command, const std::vector<std::string>& items,
                    bool (*phase)(IEnumSnapShots*, const std::vector<std::string>&, const std::string&)) {
  for (const std::string& typed : command.archives) {
    ComPtr<ICairnArchive> archive;
    if (!Open(typed, false, false, false, &archive)) return false;
    ComPtr<IEnumSnapShots> snapshots;
    if (FAILED(archive->EnumSnapShots(0, snapshots.Out())) || !snapshots) {
      std::fprintf(stderr, "Failed to get snapshot enumerator for %s\n", Console(typed).c_str());
      return false;
    }
    if (!phase(snapshots.Get(), items, typed)) return false;
  }
  return true;
}

// Restores first, then lists; archives are never created here.
int ListAndRestore(const CommandLine& command) {
  if (!command.restores.empty() && !ForEachArchive(command, command.restores, RestoreSnapshots)) return kFailure;
  if (!command.lists.empty() && !ForEachArchive(command, command.lists, ListSnapshots)) return kFailure;
  return 0;
}

}  // namespace
}  // namespace cn
}  // namespace cairn

int wmain(int argc, wchar_t** argv) {
  using namespace cairn::cn;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));

  const HRESULT init = CoInitialize(nullptr);
  CommandLine command;
  if (!ParseCommandLine(args, &command)) {
    std::fputs(UsageText(ProgramName(Utf8(argc > 0 ? argv[0] : L"cn"))).c_str(), stderr);
    if (SUCCEEDED(init)) CoUninitialize();
    return kFailure;
  }
  if (FAILED(init)) {
    std::fprintf(stderr, "Failed to initialize COM (%lx)\n", static_cast<unsigned long>(init));
    return kFailure;
  }
  const int result = command.lists.empty() && command.restores.empty() ? SnapshotRun(command) : ListAndRestore(command);
  CoUninitialize();
  return result;
}
