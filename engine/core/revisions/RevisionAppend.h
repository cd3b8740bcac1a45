// A new revision whose content is the previous one's with bytes appended, as every entry of the
// archive log is, stored at a cost that does not grow with the content: the previous revision's
// full pieces become the new revision's own, records and blocks as they are, and only its last
// piece is written again. The records are those a difference pass stores: the new revision holds
// the whole content in pieces of 8192 bytes, the previous one a single Deletion of the appended
// bytes.
#pragma once

#include <cstdint>

#include "ArchiveHeap.h"
#include "ArchiveRecords.h"

namespace cairn {

// The pieces of the newest revision as an append left them, so that the next append to the same
// content (the writer's next log entry) need not walk and check them again.
struct AppendedPieces {
  uint32_t revision = 0;  // the revision they belong to, 0 when nothing is known
  uint32_t size = 0;      // the content's size
  uint32_t lastFull = 0;  // the last piece of 8192 bytes, 0 when there is none
  uint32_t partial = 0;   // a shorter last piece, 0 when there is none
};

// newRevision is allocated and attached as for StoreRevisionContent (its previous link names the
// newest revision, whose content the bytes extend); the new revision is stored uncompressed, with
// its number, asAt and stat (whose size becomes the new content's). S_FALSE, with nothing changed, when the previous revision is not
// stored that way (compressed, no whole content in pieces, or none at all) or count is 0: the
// caller then stores the content the general way. E_OUTOFMEMORY or kArchiveClosed when the heap
// cannot hold the new pieces, with everything taken back. Crash safety as StoreRevisionContent's:
// the switch that hands the pieces over is journalled with it.
// known, when given, is what the writer's last append left: where it names the previous
// revision, the pieces are taken from it, else they are read and checked; on success it names
// the new revision's.
HRESULT AppendRevisionContent(ArchiveHeap& heap, uint32_t newRevision, const uint8_t* bytes, uint32_t count,
                              Stamp asAt, StatBlock stat, AppendedPieces* known = nullptr);

}  // namespace cairn
