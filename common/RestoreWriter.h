// The one restore writer of cn and the Explorer extension: an archived object written at one of
// its revisions to a path, by its kind (a plain file, a folder with all below it, empty
// subfolders included, or a compound document element by element), with its times and under the
// overwrite rule. Below the object every child goes to its parent's path plus the last component
// of its stored name, and only when that component cannot lead out of the parent
// (RestoreNames.h): an archive is untrusted input. A top-level stored name must be a drive or
// network path; an element's name is judged by the compound document's rules, a file's or
// folder's by the disk's. Each file and document is written whole under a temporary name beside
// its target and only then moved into its place, so a failure leaves the file that was there. A child whose stored name is not its parent's
// plus one component (StoredNames.h), and a folder or storage met again below itself, are damage:
// nothing is written for them.
//
// Each outcome is reported as the writer goes (cn prints its messages from them; the extension's
// restore can count its progress from them); the first failure ends the object. A caller may ask
// the writer to stop: it then ends before the next object, or between two pieces of a plain
// file, and what was written whole stays.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <functional>
#include <string>

#include "cairn.h"

namespace cairn {

enum class RestoreEvent {
  // Successes; the subject is the path.
  kWritten,        // a plain file or compound document written
  kKeptExisting,   // the overwrite rule kept the file standing there
  kFolderSkipped,  // a folder that could not be made, passed over as the options ask
  kKindSkipped,    // a kind of object this version does not write
  // Failures; the subject is named where there is one.
  kFolderNotMade,          // the folder (or a parent of it) that could not be made
  kUnsafeName,             // the stored name whose last component may not be written, or that
                           // does not belong to its parent's
  kMetAgain,               // the stored name of a folder or storage met again below itself
  kNameUnreadable,         // a child's name
  kChildrenUnreadable,     // the children of a folder or storage cannot all be had
  kNoRevision,             // a child without a revision
  kRevisionUnreadable,     // a revision's content or its status
  kElementAlone,           // a stream element that stands as an object of its own
  kExistingUnreadable,     // the path: the time of the file standing there cannot be read
  kFileNotCreated,         // the path
  kContentUnreadable,      // the stored content could not be read whole
  kFileNotWritten,
  kFileTimesNotSet,
  kTooDeep,                // an element tree deeper than any real document
  kAllocatorMissing,
  kElementUnreadable,      // an element's content stream
  kElementStatFailed,
  kStorageNotCreated,
  kStreamNotCreated,
  kStreamNotCopied,
  kStorageNotCommitted,    // a storage's class, its commit or the document's last flush failed
  kDocumentNotCreated,     // the path
  kDocumentNotReopened,    // the path: reopened to set its times
  kDocumentTimesNotSet,    // the path
  kStopped,                // the path of the object not written: the caller asked to stop
};

struct RestoreOptions {
  // A file standing at a path is replaced without a look (false), or by the overwrite rule: an
  // older one only with overwriteOlder, a newer one only with overwriteNewer, one of the same
  // time always; a file whose time cannot be read fails the object.
  bool compareExisting = false;
  bool overwriteOlder = true;
  bool overwriteNewer = true;
  // Written files get the stored times, even when their content could not be written whole.
  bool restoreTimes = true;
  // A folder that cannot be made is passed over as a success, instead of failing the object.
  bool skipFolderNotMade = false;
};

class RestoreWriter {
 public:
  using Report = std::function<void(RestoreEvent event, const std::wstring& subject)>;
  // Asked before each object and between pieces of a file; true when the writer is to stop.
  using Stop = std::function<bool()>;

  RestoreWriter(const RestoreOptions& options, Report report, Stop stop = {});

  // Writes the revision of the object stored under storedName to path (an absolute path), after
  // making the folders on the way there. False after the first failure.
  bool WriteObject(ICairnRevision* revision, const std::wstring& storedName, const std::wstring& path);

 private:
  // A folder or storage revision being written, with the ones above it up to the object written:
  // the chain that each child is written below.
  struct Container {
    const Container* parent;  // null for the object itself
    ICairnRevision* revision;
    const std::wstring& storedName;
  };

  bool WriteRevision(ICairnRevision* revision, const std::wstring& storedName, const std::wstring& path,
                     const Container* parent);
  bool WriteFolder(const Container& folder, const std::wstring& path);
  // Whether the folder or storage is one that it is being written below (the same stored name at
  // the same revision); only a damaged archive's child lists lead back up.
  static bool MetAgain(const Container& container);
  // The one place where a folder meets each of its children: the child's stored name beside the
  // folder's, and the chain of folders being written.
  bool WriteFolderChild(const Container& folder, const std::wstring& path, ICairnObject* child, ICairnRevision* latest);
  // Write the object to temporary, which takes path's place once whole; path names it in reports.
  bool WritePlainFile(IStream* content, const std::wstring& temporary, const std::wstring& path, const STATSTG& stat);
  bool WriteDocument(const Container& document, const std::wstring& temporary, const std::wstring& path,
                     const STATSTG& stat);
  bool CopyElements(const Container& storage, IStorage* into, int depth);
  // The one place where a storage meets each of its elements: the element's stored name beside
  // the storage's, and the chain of folders and storages being written.
  bool CopyElement(const Container& storage, IStorage* into, ICairnRevision* latest, int depth);
  // Calls visit(child, its latest revision) for each child of a folder's or storage's revision
  // until one fails.
  bool ForEachChild(ICairnRevision* revision, const std::function<bool(ICairnObject*, ICairnRevision*)>& visit);
  // False when the overwrite rule keeps the file at path; *failed when its time cannot be read.
  bool ShouldWrite(const std::wstring& path, const STATSTG& stat, bool document, bool* failed) const;
  // Makes the folder and every missing parent, reporting the one that cannot be made.
  bool MakeFolders(const std::wstring& path);
  // Whether the caller asked to stop; reported as a failure of the object at path.
  bool Stopped(const std::wstring& path);

  RestoreOptions options_;
  Report report_;
  Stop stop_;
};

}  // namespace cairn
