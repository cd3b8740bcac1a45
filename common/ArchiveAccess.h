// How cn and the Explorer extension reach an archive file and its revisions. An archive is the
// object registered for it in the Running Object Table (one that another window or tool has
// open), else a new archive object loaded from the file, which registers itself there. Callers
// say what they will do with it, so that reading and writing can come to be opened differently;
// today both load it read-write.
#pragma once

#include <windows.h>

#include <string>

#include "ComPtr.h"
#include "cairn.h"

namespace cairn {

// The archive at an absolute path, for operations that only read it. With readOnlyFallback an
// archive that cannot be loaded read-write (a read-only file or medium, or another writer at
// work) is loaded for reading alone. STG_E_SHAREVIOLATION when another writer holds it; the
// engine's failure to load it otherwise.
HRESULT OpenArchiveToRead(const std::wstring& path, ComPtr<ICairnArchive>* archive, bool readOnlyFallback = false);

// The archive at an absolute path, for operations that change it; with create a missing archive
// file is made. Failures as for reading.
HRESULT OpenArchiveToWrite(const std::wstring& path, ComPtr<ICairnArchive>* archive, bool create = false);

// The revision of an object that was current as at the view the object was reached from (a
// snapshot, or a parent's revision). S_FALSE when the object had none then.
HRESULT LatestRevision(ICairnObject* object, ComPtr<ICairnRevision>* revision);

}  // namespace cairn
