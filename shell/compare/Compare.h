// Two versions of a file side by side: revisions written to temporary files named after the file
// and its revision, shown in the person's own compare program (a per-user command line with %1
// and %2) or, without one, in the extension's compare window.
#pragma once

#include <windows.h>

#include <string>

#include "cairn.h"

namespace cairn {
namespace shell {

// One side of a comparison: the file compared and how the person is told which it is.
struct CompareSide {
  std::wstring path;
  std::wstring title;  // for example "report;3.doc" or "report.doc (current file)"
};

// Writes the revision of the object stored under storedName to a read-only file in the
// comparisons' temporary folder, named after the file's last component and the revision
// ("report;3.doc"). *path is the file written. A name a restore may not write is refused.
HRESULT WriteRevisionForCompare(ICairnRevision* revision, const std::wstring& storedName, long revisionNumber,
                                std::wstring* path);

// Removes a copy that WriteRevisionForCompare wrote, with its folder; any other path is left
// alone. The compare window removes its sides' copies when it closes; copies left for a compare
// program are removed a day later, when another is written.
void RemoveComparisonCopy(const std::wstring& path);

// The person's compare program, a command line in which %1 and %2 stand for the older and the
// newer file; empty when none is set and the compare window is used.
std::wstring CompareCommand();
HRESULT SetCompareCommand(const std::wstring& commandLine);

// Shows the two files: starts the person's compare program when one is set, else opens the
// compare window on a thread of its own, which shows it once both files are read. A failure is
// told to the person here, and the sides' comparison copies are removed.
HRESULT ShowComparison(HWND owner, const CompareSide& older, const CompareSide& newer);

}  // namespace shell
}  // namespace cairn
