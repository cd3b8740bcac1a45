// The registry entries of nsx12 as rows: every class of the class table (ProgIDs and class key),
// and the shell integration of the folder class (file type, New menu command, Open and Explore,
// the Send To target, handlers, the approved-extensions value). Unregistration removes exactly
// what registration writes, keeping the shell's own keys that entries were written under.
#pragma once

#include <windows.h>

#include "Server.h"

namespace cairn {
namespace shell {

// The server: its class table, type library and rows.
const ServerDescription& ShellServer();

// Writes every entry, and the handler entries of the handler classes built; on a failure,
// removes again what was written and returns the failure.
HRESULT RegisterShellServer();

// Removes every entry of ours, including handler entries of classes not in this build.
HRESULT UnregisterShellServer();

// Identifier of the "Archive SendTo Target" class (served by this module; the Send To entry's
// type names it).
extern const CLSID CLSID_ArchiveSendToTarget;

}  // namespace shell
}  // namespace cairn
