// How cn and the Explorer extension reach an archive file and its revisions. A writer is the
// object registered for the archive in the Running Object Table (one that another window or tool
// has open for writing), else a new archive object loaded from the file for writing, which
// registers itself there; one writer at a time, so a second one waits its turn. A reader is an
// archive object of its own, loaded for reading: it never waits, and no writer waits for it.
#pragma once

#include <windows.h>

#include <string>

#include "ComPtr.h"
#include "cairn.h"

namespace cairn {

// How long a writer waits for another writer to finish with an archive, and how often it looks.
constexpr DWORD kWriterWaitMs = 60000;
constexpr DWORD kWriterPollMs = 200;

// A reader of the archive at an absolute path, beside any writer: an archive object of its own,
// loaded for reading (never the running one, whose thread or process may be busy writing). It
// sees what a writer has linked, and changes nothing. The engine's failure to load it otherwise.
HRESULT OpenArchiveReader(const std::wstring& path, ComPtr<ICairnArchive>* archive);

// The archive at an absolute path as cn lists and restores it: the running object, else the file
// loaded read-write, so that an archive left by a writer that ended in the middle is repaired
// first; with readOnlyFallback an archive that cannot be loaded so (a read-only file or medium, or
// another writer at work) is loaded for reading alone. STG_E_SHAREVIOLATION when another writer
// holds it; the engine's failure to load it otherwise.
HRESULT OpenArchiveToRead(const std::wstring& path, ComPtr<ICairnArchive>* archive, bool readOnlyFallback = false);

// The archive at an absolute path, for operations that change it: the running object, else the
// file loaded read-write; with create a missing archive file is made. While another writer that
// is not registered holds it, waits up to waitMs for it (calling waiting once, as it starts to
// wait), then fails with STG_E_SHAREVIOLATION.
HRESULT OpenArchiveToWrite(const std::wstring& path, ComPtr<ICairnArchive>* archive, bool create = false,
                           void (*waiting)(const void* context) = nullptr, const void* context = nullptr,
                           DWORD waitMs = kWriterWaitMs);

// The revision of an object that was current as at the view the object was reached from (a
// snapshot, or a parent's revision). S_FALSE when the object had none then.
HRESULT LatestRevision(ICairnObject* object, ComPtr<ICairnRevision>* revision);

}  // namespace cairn
