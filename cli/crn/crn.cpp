// crn: lists, restores and checks archives on this system, without Windows or the engine. It
// only reads archives (a self-extracting one too), so it may read beside a Windows writer on a
// shared disk.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ArchiveReader.h"
#include "HostRestore.h"
#include "InspectCheck.h"
#include "StoredNames.h"
#include "StoredText.h"

namespace {

using namespace cairn;
using namespace cairn::crn;

const char* const kUsage =
    "usage: crn list ARCHIVE [SNAPSHOT]\n"
    "       crn restore ARCHIVE [SNAPSHOT] --to DIR [PATH...]\n"
    "       crn check ARCHIVE\n"
    "       crn history ARCHIVE PATH\n"
    "  list     the snapshots of ARCHIVE (name, date, comment), or what SNAPSHOT holds\n"
    "  restore  writes SNAPSHOT (the newest by default), or only the stored PATHs in it, below DIR:\n"
    "           C:\\Users\\a becomes DIR/C/Users/a, \\\\server\\share\\x becomes DIR/UNC/server/share/x\n"
    "  check    checks every link and rebuilds every revision; exit code 0 sound, 1 damaged,\n"
    "           2 unreadable\n"
    "  history  every revision of the stored PATH, with the snapshots that hold it\n"
    "ARCHIVE is a .crn file or a self-extracting .exe. SNAPSHOT is a stored name such as\n"
    "\"Snapshot;2\"; PATH a stored Windows path such as 'C:\\Users\\a\\notes.txt' (quoted).\n"
    "Exit code 0 on success, 1 on failure, 2 for a wrong command line.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

const char* Reason(HRESULT hr) {
  switch (hr) {
    case kNotAnArchive: return "not an archive";
    case kNewerVersion: return "written by a newer version of Cairn";
    case kCorruptArchive: return "the archive is damaged";
    default: return "the file cannot be read";
  }
}

// Opens the archive and reads its snapshots; prints why not.
bool Open(const char* path, std::unique_ptr<ArchiveHeap>* heap, std::vector<reader::SnapshotInfo>* snapshots) {
  HRESULT hr = reader::OpenForReading(PlatformFiles::Native(), path, heap);
  if (SUCCEEDED(hr)) hr = reader::ReadSnapshots(**heap, snapshots);
  if (FAILED(hr)) {
    std::fprintf(stderr, "Failed to open %s: %s\n", path, Reason(hr));
    return false;
  }
  return true;
}

// A snapshot as typed: its first path component, as cn takes it.
const reader::SnapshotInfo* Named(const std::vector<reader::SnapshotInfo>& snapshots, const std::string& typed) {
  std::string name = typed;
  if (!name.empty() && (name[0] == '/' || name[0] == '\\')) name.erase(0, 1);
  name = name.substr(0, name.find_first_of("/\\"));
  const reader::SnapshotInfo* found = reader::FindSnapshot(snapshots, name);
  if (found == nullptr) std::fprintf(stderr, "Snapshot, %s does not exists\n", typed.c_str());
  return found;
}

uint64_t Ticks(Stamp stamp) { return static_cast<uint64_t>(stamp.high) << 32 | stamp.low; }

int List(const char* archive, const char* snapshotName) {
  std::unique_ptr<ArchiveHeap> heap;
  std::vector<reader::SnapshotInfo> snapshots;
  if (!Open(archive, &heap, &snapshots)) return 1;
  const StoredText text = StoredText::Of(*heap);
  if (snapshotName == nullptr) {
    bool first = true;
    for (const reader::SnapshotInfo& snapshot : snapshots) {
      if (!snapshot.live) continue;
      if (first) std::fputs("Name\t\tCreated\t\tComment\n", stdout);
      first = false;
      std::printf("%-15s\t%s\t%s\n", text.Utf8(snapshot.name).c_str(), FormatLocal(Ticks(snapshot.created)).c_str(),
                  text.Utf8(snapshot.comment).c_str());
    }
    return 0;
  }
  const reader::SnapshotInfo* snapshot = Named(snapshots, snapshotName);
  if (snapshot == nullptr) return 1;
  std::vector<reader::HeldObject> entries;
  if (FAILED(reader::ReadHeld(*heap, SnapshotRecord(*heap, snapshot->record).Entries(), snapshot->asAt, &entries))) {
    std::fprintf(stderr, "Damaged archive: the objects of snapshot %s cannot be read\n",
                 text.Utf8(snapshot->name).c_str());
    return 1;
  }
  bool first = true;
  for (const reader::HeldObject& entry : entries) {
    StatBlock stat;
    if (entry.revision == 0 || FAILED(reader::ReadStat(*heap, entry.revision, &stat))) continue;
    if (first) std::printf("%-60s\tModified\n", "Name");
    first = false;
    const std::string name =
        text.Utf8(entry.name) + ";" + std::to_string(RevisionRecord(*heap, entry.revision).Number());
    std::printf("%-60s\t%s\n", name.c_str(), FormatLocal(stat.modified).c_str());
  }
  return 0;
}

int Restore(int argc, char** argv) {
  // restore ARCHIVE [SNAPSHOT] --to DIR [PATH...]
  if (argc < 3) return Usage();
  const char* archive = argv[2];
  const char* snapshotName = nullptr;
  int at = 3;
  if (at < argc && std::strcmp(argv[at], "--to") != 0) snapshotName = argv[at++];
  if (at >= argc || std::strcmp(argv[at], "--to") != 0) {
    std::fputs("crn restore needs --to DIR: a stored Windows path has no place on this system, so the files are "
               "written below DIR (C:\\Users\\a becomes DIR/C/Users/a)\n", stderr);
    return 2;
  }
  if (at + 1 >= argc || argv[at + 1][0] == '\0') return Usage();
  const std::string target = argv[at + 1];
  const std::vector<std::string> paths(argv + at + 2, argv + argc);
  std::unique_ptr<ArchiveHeap> heap;
  std::vector<reader::SnapshotInfo> snapshots;
  if (!Open(archive, &heap, &snapshots)) return 1;
  const reader::SnapshotInfo* snapshot = snapshotName ? Named(snapshots, snapshotName) : reader::LatestLive(snapshots);
  if (snapshot == nullptr) {
    if (snapshotName == nullptr) std::fprintf(stderr, "No snapshot to restore in %s\n", archive);
    return 1;
  }
  HostRestore restore(*heap, *snapshot, target, stderr);
  return restore.Run(paths) ? 0 : 1;
}

// Every snapshot's view, to learn which revision of the objects stored as path each one holds.
bool HoldingSnapshots(ArchiveHeap& heap, const std::vector<reader::SnapshotInfo>& snapshots, const std::string& path,
                      std::map<uint32_t, std::vector<std::string>>* holding, std::set<uint32_t>* objects) {
  for (const reader::SnapshotInfo& snapshot : snapshots) {
    std::vector<reader::HeldObject> pending;
    if (FAILED(reader::ReadHeld(heap, SnapshotRecord(heap, snapshot.record).Entries(), snapshot.asAt, &pending)))
      return false;
    std::set<uint32_t> met;
    while (!pending.empty()) {
      const reader::HeldObject held = pending.back();
      pending.pop_back();
      if (held.revision == 0 || !met.insert(held.object).second) continue;
      if (SameNameIgnoringCase(held.name, path)) {
        objects->insert(held.object);
        (*holding)[held.revision].push_back(snapshot.name + (snapshot.live ? "" : " (deleted)"));
        continue;
      }
      // Only folders on the way to path are opened.
      if (!RevisionRecord(heap, held.revision).IsFolder() || path.size() <= held.name.size() ||
          !SameNameIgnoringCase(held.name, path.substr(0, held.name.size())))
        continue;
      std::vector<reader::HeldObject> children;
      if (FAILED(reader::ReadHeld(heap, RevisionRecord(heap, held.revision).Children(), snapshot.asAt, &children)))
        return false;
      pending.insert(pending.end(), children.begin(), children.end());
    }
  }
  return true;
}

int History(const char* archive, const std::string& path) {
  std::unique_ptr<ArchiveHeap> heap;
  std::vector<reader::SnapshotInfo> snapshots;
  if (!Open(archive, &heap, &snapshots)) return 1;
  const StoredText text = StoredText::Of(*heap);
  std::map<uint32_t, std::vector<std::string>> holding;
  std::set<uint32_t> objects;
  if (!HoldingSnapshots(*heap, snapshots, path, &holding, &objects)) {
    std::fprintf(stderr, "Damaged archive: the snapshots of %s cannot all be read\n", archive);
    return 1;
  }
  if (objects.empty()) {
    std::fprintf(stderr, "Not in the archive: %s\n", path.c_str());
    return 1;
  }
  std::printf("%-10s\t%-16s\t%12s\tSnapshots\n", "Revision", "Modified", "Size");
  for (uint32_t object : objects) {
    std::vector<uint32_t> chain;
    if (FAILED(reader::ReadChain(*heap, object, &chain))) {
      std::fprintf(stderr, "Damaged archive: the revisions of %s cannot all be read\n", path.c_str());
      return 1;
    }
    for (uint32_t revision : chain) {
      StatBlock stat;
      if (FAILED(reader::ReadStat(*heap, revision, &stat))) continue;
      std::string held;
      for (const std::string& name : holding[revision]) held += (held.empty() ? "" : ", ") + text.Utf8(name);
      const RevisionRecord record(*heap, revision);
      const std::string size = record.IsFolder() && record.Type() == revision_type::kFile ? "folder"
                                                                                          : std::to_string(stat.size);
      std::printf("%-10d\t%-16s\t%12s\t%s\n", record.Number(), FormatLocal(stat.modified).c_str(), size.c_str(),
                  held.empty() ? "-" : held.c_str());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "list" && (argc == 3 || argc == 4)) return List(argv[2], argc == 4 ? argv[3] : nullptr);
  if (command == "restore") return Restore(argc, argv);
  if (command == "check" && argc == 3) return RunCheck(argv[2], stdout, stderr);
  if (command == "history" && argc == 4) return History(argv[2], argv[3]);
  return Usage();
}
