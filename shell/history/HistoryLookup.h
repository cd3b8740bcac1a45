// A file's or folder's history from every known archive that holds it. Each archive is opened as a
// reader beside any writer, and the path is found through the object's own revision chain: the
// top-level object of the newest snapshot whose stored name is the path or a folder above it, then
// each child in its parent's latest revision. No snapshot's tree is walked, and older snapshots'
// lists are not read: an object the archive no longer holds in its newest snapshot is not looked
// for, which would cost a list per snapshot for every file the page is opened on.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "cairn.h"

namespace cairn {
namespace shell {

// One revision of the path in one archive, or (readable false) an archive that cannot be read.
struct HistoryEntry {
  std::wstring archive;
  bool readable = true;
  std::wstring storedName;  // the object's stored name, as wide text
  long revision = 0;
  uint64_t asAt = 0;          // the revision's stamp
  uint64_t snapshotTime = 0;  // when the snapshot that stored it was made; 0 when none is found
  std::wstring snapshotName;
  uint64_t size = 0;
  bool folder = false;
};

// The revisions of the path (absolute) in each archive, newest first, the archives that cannot be
// read last.
std::vector<HistoryEntry> FindHistory(const std::wstring& path, const std::vector<std::wstring>& archives);

// The object stored for the path in the archive; S_FALSE when the archive holds none, a failure
// when the archive cannot be read on the way.
HRESULT FindStoredObject(ICairnArchive* archive, const std::wstring& path, ComPtr<ICairnObject>* object);

// The revision an entry names, from a reader of its own; a failure when it is no longer there.
HRESULT OpenEntryRevision(const HistoryEntry& entry, const std::wstring& path, ComPtr<ICairnRevision>* revision);

}  // namespace shell
}  // namespace cairn
