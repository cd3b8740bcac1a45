// Revisions of a content kept as reverse differences: the newest revision holds the whole
// content as Insertion records of at most 8192 bytes, every older one the records that turn the
// next newer content into its own, each record's data optionally compressed (zlib or bzip2).
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "ArchiveRecords.h"
#include "ByteSource.h"
#include "Compression.h"
#include "ContentStore.h"
#include "ContentView.h"
#include "WorkerPool.h"

namespace cairn {

// Adds a revision's content: newRevision is allocated and attached (its previous link names the
// object's newest revision, or is 0 for the first), current the content to store, and
// previousContent that revision's content (empty for the first). The previous revision's content
// is read straight from its records where they hold it whole, as the newest revision's do;
// previousContent is read only where they do not. Follows the storage rule: the previous revision
// receives the reverse differences (with its own flags) and gives up its whole content, the new
// one stores the whole current content with mode (0, 1 or 3), its number and as-at stamp.
// Compression runs on pool when one is given. S_OK when stored, S_FALSE when current equals the
// previous content (nothing stored). When a content cannot be read or a record cannot be stored,
// the records built so far are freed and the previous revision is left whole: E_FAIL, or
// kArchiveClosed when the archive could not grow; current's Verify failing likewise takes
// everything back and is returned as it is.
// stat, when given, is written to the new revision before anything links to it.
// With archive option kFindMoved, the reverse differences are found with moved data looked for
// anywhere ahead (see RunDifferencePass).
// Crash safety: the new revision is complete before it is linked, and the previous revision takes
// its reverse differences and its next link in one switch recorded in the header's reserved word
// (see SwitchRevisions); its old whole content is freed last. A failure of either comparison
// takes back what was stored, leaving the previous revision whole.
HRESULT StoreRevisionContent(ArchiveHeap& heap, uint32_t newRevision, ByteSource& previousContent,
                             ByteSource& current, uint32_t mode, Stamp asAt, const StatBlock* stat,
                             InternalErrors& errors, const char* module, WorkerPool* pool = nullptr);

// Size of the switch journal: previous revision, new revision, reverse differences.
constexpr uint32_t kSwitchSize = 12;

// Makes previous point at newest and hold reverse as its differences. The two words cannot be
// written at once, so the switch is first written to journal and named by the header's reserved
// word, which gets its earlier value (the writer's mark) back once both are written; an archive
// opened for writing with a journal named there finishes the switch (FinishInterruptedSwitch).
void SwitchRevisions(ArchiveHeap& heap, uint32_t journal, uint32_t previous, uint32_t newest, uint32_t reverse);

// Size of a journal that also relinks a word of the newest revision's list: the three words, a
// tag, the slot and its new value.
constexpr uint32_t kRelinkSwitchSize = 24;

// The same switch, which also writes value into the link word at slot: the newest revision
// shares the records before slot with the previous revision and goes on with its own records
// behind it. journal holds kRelinkSwitchSize bytes.
void SwitchRevisions(ArchiveHeap& heap, uint32_t journal, uint32_t previous, uint32_t newest, uint32_t reverse,
                     uint32_t slot, uint32_t value);

// The size of the switch journal at journal: kRelinkSwitchSize where it carries the relink tag.
uint32_t SwitchJournalSize(const ArchiveHeap& heap, uint32_t journal);

// Finishes a switch that a stopped process left half done, leaving the writer's mark in the
// reserved word. True when there was one.
bool FinishInterruptedSwitch(ArchiveHeap& heap);

// Frees every record of a revision's difference list with its data block and empties the list.
// A damaged list (a loop, data outside the archive, overlapping records or blocks) is emptied
// but nothing of it is freed: kCorruptArchive.
HRESULT FreeDifferences(ArchiveHeap& heap, uint32_t revision);
// The same, leaving the data blocks in keep where they are (another list names them).
HRESULT FreeDifferences(ArchiveHeap& heap, uint32_t revision, const std::unordered_set<uint32_t>& keep);

// Where the newest revision can be read in place: stored uncompressed as exactly one Insertion
// at position 0. Returns the data block and its length, or false.
bool InPlaceContent(ArchiveHeap& heap, uint32_t revision, uint32_t* data, uint32_t* length);

// Rebuilds the content of revision into out (which starts empty): the newest revision's records
// first, then each older one's down to this one, every record checked against the content and
// its data block. A bad record is reported (module) and fails the rebuild with kCorruptArchive.
// Data that does not decompress cleanly within the revision's size is applied as stored.
// Records are decompressed on pool when one is given; the archive must not change meanwhile.
HRESULT RebuildContent(ArchiveHeap& heap, uint32_t revision, ContentStore& out, InternalErrors& errors,
                       const char* module, WorkerPool* pool = nullptr);

// Why a revision cannot be rebuilt.
enum class RebuildFault {
  kList,      // its difference list leaves the archive or loops, or a record belongs to two lists
  kKind,      // a record of a kind this version does not know
  kData,      // a record's data block lies outside the archive
  kOrder,     // the records' positions do not increase
  kOutside,   // a record applies outside the content
  kTooLarge,  // the records give more bytes than the revision's size allows
  kStore,     // the content could not be held (memory or disk), which says nothing of the archive
};

// What a rebuild of every level reports, level by level.
class LevelObserver {
 public:
  virtual ~LevelObserver() = default;
  // A compressed record of revision that does not decompress cleanly to its end; its stored bytes
  // were applied, as a restore applies them.
  virtual void Unclean(uint32_t revision, uint32_t record) = 0;
  // out holds revision's content. False ends the rebuild there.
  virtual bool Rebuilt(uint32_t revision, const ContentStore& out) = 0;
  // revision cannot be rebuilt, for fault; record is the record at fault, 0 when none is.
  virtual void Failed(uint32_t revision, RebuildFault fault, uint32_t record) = 0;
};

// Rebuilds the revisions of one chain in turn into out, from the newest (which holds its whole
// content) down, each checked as RebuildContent checks it, and reports each to observer. Returns
// the failure of the level that failed (after Failed), S_FALSE when observer ended it, else S_OK.
HRESULT RebuildEveryLevel(ArchiveHeap& heap, const std::vector<uint32_t>& newestFirst, ContentStore& out,
                          LevelObserver& observer, InternalErrors& errors, const char* module, WorkerPool* pool);

// Counts a revision's own records by kind.
HRESULT CountDifferences(ArchiveHeap& heap, uint32_t revision, uint32_t* insertions, uint32_t* deletions,
                         uint32_t* changes);

}  // namespace cairn
