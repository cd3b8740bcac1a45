// What marks a self-extracting archive: the launcher's version resource, whose FileDescription
// the launcher carries and the Explorer extension looks for. Read by the resource compiler too
// (the launcher's version resource), which sees only the mark.
#pragma once

// The version resource's FileDescription, in its "040904b0" string table.
#define SFX_FILE_DESCRIPTION "Cairn Self-Installer"

#ifndef RC_INVOKED

#include <windows.h>

namespace cairn {

// True when the file carries the launcher's version resource, which marks a self-extracting
// archive; a file without a version resource, or one that cannot be read, is none. An ordinary
// program is never taken apart as one.
bool IsSelfExtractingFile(const wchar_t* path);

// True when the path names an archive: at least five characters ending in ".crn" (any case), or
// ending in ".exe" (any case) and a self-extracting archive.
bool NamesArchive(const wchar_t* path);

}  // namespace cairn

#endif
