// The rundll entry points of nsx12 (DllCreateArchive, DllInstall, DllUninstall), exported through
// nsx12.def; what they read of their command line.
#pragma once

#include <string>

namespace cairn {
namespace shell {

// The path a DllCreateArchive command line names: the text after its first blank (the New
// menu passes "<number> <path>"), without the quotes around it when it is quoted.
std::string CreateArchivePath(const std::string& commandLine);

}  // namespace shell
}  // namespace cairn
