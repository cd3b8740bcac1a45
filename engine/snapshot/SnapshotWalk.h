// Taking a snapshot: the walk over the newest live snapshot's entries and the items to add, the
// per-object step that tries a new revision, and the folder and compound-file builders that
// recurse through it.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

#include "ArchiveRecords.h"
#include "ComPtr.h"
#include "NameIndex.h"
#include "RevisionBuilders.h"
#include "cairn.h"

namespace cairn {

enum class Outcome { kChanged, kUnchanged, kMissing, kExcluded, kFailed };

// What one CreateSnapShot shares with every step of its walk.
struct WalkContext {
  ICairnArchive* archive = nullptr;
  ICairnStatus* status = nullptr;  // the progress window, if there is one
  uint32_t mode = 0;               // revision mode: 0, 1 (zlib) or 3 (bzip2)
  bool timeAndSize = false;        // a file's size, time and attributes decide that it is unchanged
  NameCodec names = NameCodec::Ansi();  // the archive's stored names
  Stamp asAt;                      // the new snapshot's stamp
  bool hasBase = false;            // whether there is a snapshot to carry on from
  Stamp baseStamp;                 // that snapshot's stamp
  bool changed = false;

  // A processing report: the name, then a step of the progress bar.
  void Processing(const std::string& name) const;
  void Added() const;
  void Changed() const;
  void Deleted() const;
  // Whether the user pressed Stop in the progress window.
  bool Stopped() const;
  // Whether the object's newest revision is later than the base snapshot: a snapshot that was
  // stopped, failed or deleted stored it, and no snapshot shows it yet, so the new one must
  // record it even though nothing changed since. Without a base, false. A chain that cannot be
  // read counts as newer (an internal error is logged).
  bool NewerThanBase(uint32_t object) const;
};

// True when a names an ancestor folder of b (letter case ignored).
bool IsAncestor(const NameCodec& names, const std::string& a, const std::string& b);

// The per-object step: a new revision of the object named name, bound to objectRecord.
Outcome CreateRevision(WalkContext& walk, uint32_t objectRecord, const std::string& name);

// An existing object of that name anywhere in the archive's snapshots, newest first; 0 if none.
// With everyAncestorRevision, every revision of every ancestor folder is searched; otherwise
// every revision of the direct parent but only the oldest of a more distant ancestor.
uint32_t FindExistingObject(ICairnArchive* archive, const std::string& name, bool everyAncestorRevision);

// The walk of CreateSnapShot: fills the new snapshot's entry list. Returns S_OK when the
// snapshot has changes to record, S_FALSE when not.
HRESULT WalkSnapshot(WalkContext& walk, uint32_t snapshot, SAFEARRAY* addObjects, SAFEARRAY* deleteObjects);

// Unlinks and frees the entry list of a snapshot record that is not to be linked.
void DropEntries(ArchiveHeap& heap, uint32_t snapshot);

// A folder: its entries, each found again or added, with their own revisions.
class DirectoryRevision : public RevisionBuilder {
 public:
  explicit DirectoryRevision(WalkContext& walk) : walk_(walk), kept_(walk.names), previousChildren_(walk.names) {}
  bool AddRevision(uint32_t mode, Stamp asAt) override;

 protected:
  // A child: found in the previous revision, elsewhere in the archive, or new; its revision made
  // by makeRevision. Returns whether to keep it, and notes a change.
  template <class MakeRevision>
  void Child(const std::string& childName, bool report, bool* changed, MakeRevision&& makeRevision);
  // Finishes the new record: links it behind the previous revision on a change, or frees its
  // child list. Returns whether it changed.
  bool Finish(bool changed, Stamp asAt);
  // The previous revision's child of that name, or 0.
  uint32_t PreviousChild(const std::string& name);
  // Whether the new child list holds that name.
  bool Kept(const std::string& name) const { return kept_.Find(name) != 0; }

  WalkContext& walk_;
  NameIndex kept_;  // the names of the new child list
  NameIndex previousChildren_;
  bool previousIndexed_ = false;
};

// A compound document, or a storage inside one: its elements as objects of their own.
class StorageRevision final : public DirectoryRevision {
 public:
  // A whole compound file (parent null) or the element storage of that name inside parent.
  StorageRevision(WalkContext& walk, IStorage* parent) : DirectoryRevision(walk), parent_(parent) {}
  bool AddRevision(uint32_t mode, Stamp asAt) override;

 private:
  ComPtr<IStorage> parent_;
};

}  // namespace cairn
