// Checks a whole archive: every link and what the blocks cover, as a walk finds them, and then
// every revision of every object (files, elements of compound documents, named streams) rebuilt
// from its records, newest first: each compressed record must decompress to its end, each record
// must apply in list order inside the content, and the rebuilt size must be the size in the
// revision's status block. It only reads, so it may run beside a writer in another process.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ArchiveHeap.h"
#include "Revisions.h"
#include "WorkerPool.h"

namespace cairn {

// The check was cancelled through its progress callback (the value of E_ABORT).
constexpr HRESULT kCheckCancelled = static_cast<HRESULT>(0x80004004);

enum class CheckProblem {
  // Found by the walk over the links.
  kLink,           // a damaged list or record: what names it
  kChildName,      // a child whose stored name does not belong to its folder (object at offset)
  kFolderLoop,     // a folder object met again below itself
  kOverlap,        // blocks that overlap: length bytes at offset
  kUncovered,      // bytes that nothing covers: length bytes at offset
  kTail,           // bytes past the archive's end that are not zeros
  // Found by rebuilding a revision (object, revision, snapshots, offset = the revision record).
  kRebuild,        // fault says why; record is the record at fault (0 when none is)
  kUnclean,        // the compressed record at record does not decompress to its end
  kSize,           // rebuilt to rebuiltSize bytes where the status block says statedSize
  kChainBroken,    // the chain does not reach the object's newest revision from here
  kAfterDamage,    // rebuilt from newer revision number newer, which is damaged
};

struct CheckFinding {
  CheckProblem problem = CheckProblem::kLink;
  uint32_t offset = 0;
  uint32_t length = 0;
  std::string what;  // kLink: the list or record at fault, as the walk names it

  // The revision's object, by its stored name, and the revision's number.
  std::string object;
  bool namedStream = false;
  int32_t revision = 0;
  // Stored names of the snapshots whose view holds the revision; deleted ones end in " (deleted)".
  std::vector<std::string> snapshots;
  RebuildFault fault = RebuildFault::kList;
  uint32_t record = 0;
  uint64_t statedSize = 0;
  uint64_t rebuiltSize = 0;
  int32_t newer = 0;

  bool IsRevision() const { return problem >= CheckProblem::kRebuild; }
};

struct CheckReport {
  std::vector<CheckFinding> findings;  // link findings first, then revisions by object
  uint32_t objects = 0;                // objects checked
  uint32_t revisions = 0;              // revisions rebuilt or found damaged
  uint64_t bytesRebuilt = 0;
  // Bytes that nothing covers while a writer is at work (or left by one that stopped, which the
  // next writer gives back): not damage, only noted. writerAtWork says the header had its mark.
  uint64_t unlinkedBytes = 0;
  bool writerAtWork = false;

  bool Sound() const { return findings.empty(); }
  uint32_t DamagedRevisions() const;
};

class CheckProgress {
 public:
  virtual ~CheckProgress() = default;
  // done of total objects are checked; false cancels the check.
  virtual bool Checked(uint32_t done, uint32_t total) = 0;
};

// Checks the archive into *report. S_OK when the check ran to its end (report->Sound() tells
// whether the archive is), kCheckCancelled, E_OUTOFMEMORY, or kArchiveClosed. Large contents are
// decompressed on pool, when one is given. Damage seen while a writer is at work is checked once
// more at the end, and only damage seen again is reported.
HRESULT CheckArchive(ArchiveHeap& heap, WorkerPool* pool, CheckProgress* progress, CheckReport* report);

// Opens the archive file at path for reading (a self-extracting one from its archive data on)
// through files and checks it. The open's failure is returned as it is (kNotAnArchive,
// kNewerVersion, the platform's): the file cannot be read.
HRESULT CheckArchiveFile(PlatformFiles& files, const std::string& path, WorkerPool* pool, CheckProgress* progress,
                         CheckReport* report);

// The folder objects that a child list leads back to (a loop across lists, which a restore
// would follow without end), from each folder object's child objects; each once.
std::vector<uint32_t> FoldersBelowThemselves(const std::map<uint32_t, std::vector<uint32_t>>& children);

// What is wrong, in words, without the object and the snapshots: "the records give more bytes
// than the revision's size", "nothing covers 12 bytes at archive offset 4096".
std::string DescribeProblem(const CheckFinding& finding);

// One entry of a check's report: a damaged revision with its problems together, or one problem
// of the links (with no object).
struct DamagedItem {
  bool ofRevision = false;  // false for a problem of the links, which has no object
  std::string object;       // the object's stored name
  bool namedStream = false;
  int32_t revision = 0;
  std::vector<std::string> snapshots;  // as in CheckFinding
  std::string what;                    // its problems in words, at most three named
};

// The report's findings as its entries: the problems of the links first, then each damaged
// revision once, in the order of its first finding.
std::vector<DamagedItem> DamagedItems(const CheckReport& report);

}  // namespace cairn
