// crn's restore: the objects of one snapshot (or the named stored paths among them and below
// them), written below a target folder as TargetNames.h maps them, with their modification
// times and the read-only attribute as the lack of write permission. A folder brings everything
// below it, empty subfolders too; a compound document is written as a compound file again.
//
// An archive is untrusted: a child whose stored name is not its parent's plus one safe component,
// a folder met again below itself, and a revision that does not rebuild are refused with a
// message, and each file is rebuilt whole before anything is written over what stands there.
// Nothing is written outside the target folder: no symbolic link on the way is followed.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveReader.h"
#include "StoredText.h"
#include "WorkerPool.h"

namespace cairn {
namespace crn {

class HostRestore {
 public:
  HostRestore(ArchiveHeap& heap, const reader::SnapshotInfo& snapshot, std::string target, std::FILE* err);

  // Restores the snapshot, or only what paths name (stored paths, letter case ignored); a path
  // that the snapshot does not hold is a failure. False after the first failure.
  bool Run(const std::vector<std::string>& paths);

  // Files written so far.
  uint64_t Files() const { return files_; }

 private:
  struct Level;  // the folders above an object, to find one met again
  bool Search(const std::vector<reader::HeldObject>& objects, const std::string& path, bool* found);
  bool WriteTop(const reader::HeldObject& object);
  // self is the object's own level, below the folders above it.
  bool WriteRevision(const std::string& storedName, uint32_t revision, const std::string& path, const Level* self,
                     int depth);
  bool WriteFolder(const std::string& storedName, uint32_t revision, const std::string& path, const Level* self,
                   int depth);
  bool WriteFile(uint32_t revision, const StatBlock& stat, const std::string& path);
  bool WriteDocument(const std::string& storedName, uint32_t object, uint32_t revision, const StatBlock& stat,
                     const std::string& path);
  // Writes bytes as the file at path with the times and read-only attribute of stat.
  bool WriteBytes(const std::vector<uint8_t>& bytes, const StatBlock& stat, const std::string& path);
  bool MakeFolders(const std::vector<std::string>& components, size_t count);
  bool Damaged(const std::string& storedName);
  void Say(const char* format, const std::string& subject);

  ArchiveHeap& heap_;
  const StoredText text_;
  const reader::SnapshotInfo& snapshot_;
  std::string target_;
  std::FILE* err_;
  uint64_t files_ = 0;
  // Decompresses large contents on every core; started with the first of them.
  std::unique_ptr<WorkerPool> workers_;
};

}  // namespace crn
}  // namespace cairn
