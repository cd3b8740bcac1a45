// Creating a new, empty archive file, as the New menu's command does (through the rundll entry
// point DllCreateArchive) and as Send To does for a document that has no archive yet.
#pragma once

#include <string>

namespace cairn {
namespace shell {

// The path a DllCreateArchive command line names: the text after its first blank (the New
// menu passes "<number> <path>"), without the quotes around it when it is quoted.
std::string CreateArchivePath(const std::string& commandLine);

// Creates an empty archive at the path the command line names. A file or folder already there,
// COM that cannot be initialised, or an archive that cannot be made is told in a message box
// without an owner; nothing is returned.
void CreateArchiveFromCommand(const std::string& commandLine);

}  // namespace shell
}  // namespace cairn
