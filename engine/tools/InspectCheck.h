// crninspect /check: checks a whole archive (see ArchiveCheck.h) and prints one line per damaged
// revision and a summary.
#pragma once

#include <cstdio>

namespace cairn {

// Writes the report to out and errors to err. Exit code: 0 when the archive is sound, 1 when it
// is damaged, 2 when it cannot be read.
int RunCheck(const char* path, std::FILE* out, std::FILE* err);

}  // namespace cairn
