// Whether the system is installed on this machine, as its uninstall entry says.
#pragma once

namespace cairn {
namespace sfx {

// True when HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cairn2000 has a non-empty
// "DisplayName" of at most 260 bytes that is not "Cairn 2000 (Remove Only)" (in any case): the
// name an uninstaller leaves behind when it could remove only part of the system.
bool IsCairnInstalled();

}  // namespace sfx
}  // namespace cairn
