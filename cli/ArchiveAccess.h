// How cn reaches an archive: through a running archive object when one is registered for the
// path, else by creating and loading one; and the clean-up of a job left for a lost archive.
#pragma once

#include <windows.h>

#include <string>

#include "ComPtr.h"
#include "cairn.h"

namespace cairn {
namespace cn {

// How long a writer waits for another writer to finish with an archive, and how often it looks.
constexpr DWORD kWriterWaitMs = 60000;
constexpr DWORD kWriterPollMs = 200;

// Opens the archive at the absolute path, for writing. With create a missing archive is made.
// With readFallback an archive that cannot be written (a read-only file or medium, or another
// writer at work) is opened for reading alone. Otherwise, while another writer is at work, it
// waits up to kWriterWaitMs for it (calling waiting once, when it starts to wait), and then
// fails with STG_E_SHAREVIOLATION.
HRESULT OpenArchive(const std::wstring& absolutePath, bool create, bool readFallback, ComPtr<ICairnArchive>* archive,
                    void (*waiting)(const void* context) = nullptr, const void* context = nullptr);

// The revision of an object that was current as at the view the object was reached from (a
// snapshot, or a parent's revision). S_FALSE when the object had none then.
HRESULT LatestRevision(ICairnObject* object, ComPtr<ICairnRevision>* revision);

// The name of an archive's scheduled job: the absolute path with every '\' and ':' turned into
// '-' and ".job" appended (C:\Data\home.crn gives C--Data-home.crn.job).
std::wstring ScheduledJobName(const std::wstring& absolutePath);

// Removes the archive's scheduled job, if there is one; the outcome is not reported.
void DeleteScheduledJob(const std::wstring& absolutePath);

// The absolute form of a path typed by the user; the path itself when it cannot be expanded.
std::wstring AbsolutePath(const std::wstring& path);

}  // namespace cn
}  // namespace cairn
