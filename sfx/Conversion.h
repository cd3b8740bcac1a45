// Converting between a plain archive and a self-extracting one. A self-extracting archive is
// the launcher's executable, filler up to kArchiveOffset, then the plain archive byte for byte;
// it has no header, trailer or length field of its own.
#pragma once

#include <windows.h>

namespace cairn {
namespace sfx {

// Where the archive begins in a self-extracting archive; the launcher must fit in front of it.
constexpr DWORD kArchiveOffset = 65536;

enum class Conversion {
  kNothing,      // the path names neither kind of archive: nothing was touched
  kFailed,       // nothing was converted: the source is unchanged and no output is left behind
  kDone,         // the output is complete and the source is deleted (a self-extracting source
                 // only when it could be: one that is open stays)
  kArchiveKept,  // the self-extracting archive is complete, but the plain archive could not be
                 // deleted, most likely because it is open: the user must be told
};

// Converts the file at path, taken exactly as given (a quoted path ends in a quote and is no
// archive), by its last three letters in any case: "crn" becomes a self-extracting ".exe" beside
// it made from the launcher's file, "exe" becomes a ".crn". An existing file of the output's
// name is replaced. launcher is the path of the running launcher, null when unknown.
Conversion Convert(const wchar_t* path, const wchar_t* launcher);

}  // namespace sfx
}  // namespace cairn
