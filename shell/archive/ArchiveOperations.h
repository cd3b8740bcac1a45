// The archive operations of one level of an archive, as a plain value: the archive's path and the
// stored names that lead from the archive file to the level (a snapshot's, then each folder
// object's). Any thread may hold a copy and call it, with COM initialised: each operation opens the
// archive itself, as a reader beside any writer, or as the writer while it changes it.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ArchiveAccess.h"
#include "ComPtr.h"
#include "StoredText.h"
#include "cairn.h"

namespace cairn {
namespace shell {

// How restore writes an object: the choices of the restore dialog.
struct ExtractOptions {
  bool overwriteOlder = true;
  bool overwriteNewer = true;
  bool restoreTimes = true;
};

// A restore's progress, on the restoring thread: the objects (files and compound documents)
// written or passed over so far, out of those it has to write.
using RestoreProgress = std::function<void(size_t done, size_t total)>;
// Asked on the restoring thread before each object and between pieces of a file: true when the
// restore is to stop there (it then fails, and what was written whole stays).
using RestoreStop = std::function<bool()>;

// A check's progress, on the checking thread: the objects checked so far, out of all of them.
using CheckCount = std::function<void(size_t done, size_t total)>;
// Asked on the checking thread after each object: true when the check is to stop there.
using CheckStop = std::function<bool()>;

// What a check found wrong with one damaged revision, or with the archive's links (which have no
// object, revision or snapshots).
struct Damage {
  std::wstring object, revision, snapshots, what;
};
struct CheckResult {
  // S_OK: the archive is sound; S_FALSE: damaged; E_ABORT: stopped; else it could not be checked.
  HRESULT hr = E_FAIL;
  std::vector<Damage> damage;
  ULONG objects = 0, revisions = 0;  // checked
};

class ArchiveOperations {
 public:
  ArchiveOperations() = default;
  // levelNames: the stored names of the items below the archive file; empty at the archive root.
  ArchiveOperations(std::string archivePath, std::vector<std::string> levelNames);

  const std::string& ArchivePath() const { return archivePath_; }
  // True at the archive root, whose items are snapshots.
  bool AtRoot() const { return levelNames_.empty(); }
  // The Name of the folder object shown; empty at the root and in a snapshot's top level.
  std::string CurrentFolderName() const;

  // How long a change made on the window's thread (renaming, a comment) waits for another writer
  // at work: the window does not answer meanwhile. Workers wait as long as cn does.
  static constexpr DWORD kWindowWriterWaitMs = 2000;

  // The archive, null when it cannot be had. For operations that only read it, a reader of its own
  // beside any writer; for those that change it, the writer, held only while the operation runs,
  // after waiting up to waitMs for another writer at work; *why (when given) tells a writer's
  // failure: STG_E_SHAREVIOLATION while another writer keeps it.
  ComPtr<ICairnArchive> ArchiveToRead() const;
  ComPtr<ICairnArchive> ArchiveToWrite(DWORD waitMs = kWriterWaitMs, HRESULT* why = nullptr) const;

  // --- Reading (ArchiveOperations.cpp) ---
  // The items of the level back to back, built afresh: snapshots at the root, else the objects
  // of the level, the top-level objects of the latest snapshot marked deletable. Empty when the
  // archive cannot be opened or the level is not found. *names (when given) tells how the archive
  // keeps its names, and so the items' texts.
  std::vector<uint8_t> LevelItems(StoredText* names = nullptr) const;
  // How the archive keeps its names; the code page when it cannot be read.
  StoredText Names() const;
  // The object of the level stored under the name; null at the root or when it is not found.
  ComPtr<ICairnObject> FindObject(const std::string& storedName) const;
  // A root item's snapshot comment (at most 4096 bytes); false without one.
  bool SnapshotComment(const std::string& snapshotName, std::string* comment) const;
  // One object item per revision of the object stored under the name, oldest first.
  std::vector<std::vector<uint8_t>> RevisionItems(const std::string& storedName) const;

  // --- Changes (SnapshotOperations.cpp) ---
  // Renames the snapshot stored under oldName; the new stored name (as the archive keeps its
  // names) keeps its number. False when that fails or the level is not the root.
  bool RenameSnapshot(const std::string& oldName, int32_t number, const std::string& newName) const;
  bool SetSnapshotComment(const std::string& snapshotName, const std::string& comment) const;
  // A new snapshot named "Snapshot" with the paths of `add` added (and top-level objects that were
  // moved found again through their stored links) and the objects of `remove` removed.
  // The paths added are the file system's, wide; the names removed are stored names.
  bool CreateSnapshotFromLists(const std::vector<std::wstring>& add, const std::vector<std::string>& remove,
                               HWND owner) const;
  // A new snapshot that adds the files; false when there are none.
  bool AddFiles(const std::vector<std::wstring>& paths, HWND owner) const;
  // Below the root a new snapshot without the named objects; at the root the named snapshots
  // deleted in order. The result is that of the last deletion.
  bool DeleteItems(const std::vector<std::string>& storedNames, HWND owner) const;

  // --- Restores (RestoreOperations.cpp) ---
  // Writes the named items of the level to the target, from the last to the first, and ends at
  // the first failure. Below the root each is an object, written to the target itself when it is
  // the only one and no folder, else below it under its base name; at the root each is a
  // snapshot whose top-level objects are written so (below the target when it holds several). A
  // base name that a restore may not write fails its object.
  bool RestoreItems(const std::vector<std::string>& storedNames, const std::string& target,
                    const ExtractOptions& options, const RestoreProgress& progress = {},
                    const RestoreStop& stop = {}) const;
  // Writes the top-level objects of the archive's last snapshot as RestoreItems writes a
  // snapshot's, or, without a target, each to the full path it was archived from. True with
  // nothing written when there is no snapshot.
  bool RestoreLatestSnapshot(const std::string& target, const ExtractOptions& options,
                             const RestoreProgress& progress = {}, const RestoreStop& stop = {}) const;

  // --- Checking (CheckOperations.cpp) ---
  // Checks the whole archive, every revision of every object rebuilt, as a reader beside any
  // writer; it never writes to it.
  CheckResult CheckArchive(const CheckCount& count, const CheckStop& stop) const;

  // --- Files written from the archive (FileOperations.cpp) ---
  // Writes the object's latest revision to path by its kind (the restore object routine).
  bool ExtractObject(ICairnObject* object, const std::string& path, const ExtractOptions& options) const;
  // Writes a read-only copy of the named object's latest revision to the temporary folder and
  // opens it. *copy is the path written, when one was (for the caller to delete later); true when
  // the copy was opened.
  bool DisplayItem(HWND owner, const std::string& storedName, std::string* copy) const;
  // Writes the archive's log to a temporary text file and opens it. The file stays for the viewer,
  // however slowly it starts, until the log is shown again.
  void ShowArchiveLog(HWND owner) const;

 private:
  // The objects of the level: walks the names down from the snapshot. Null when a step fails.
  ComPtr<IEnumCairnObjects> LevelObjects(ICairnArchive* archive, bool* latestSnapshot) const;

  std::string archivePath_;
  std::vector<std::string> levelNames_;
};

// Writes a read-only copy of a revision of the object stored under the name to the temporary
// folder, named after the name's last component and the revision ("report;3.doc"), and opens it.
// *copy is the path written, when one was; true when the copy was opened.
bool DisplayRevision(HWND owner, ICairnRevision* revision, const std::wstring& storedName, std::string* copy);

}  // namespace shell
}  // namespace cairn
