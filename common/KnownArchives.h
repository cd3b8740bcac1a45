// The archives this user works with, so that a file's history can be found from the file itself:
// a list under HKCU\Software\Cairn\KnownArchives, one value per archive, named by its full path.
// cn and the extension record an archive whenever they create, open or snapshot it; nothing
// scans the disk. An archive that is gone is pruned from the list as the list is read.
#pragma once

#include <string>
#include <vector>

namespace cairn {

// The list's key below HKEY_CURRENT_USER.
constexpr wchar_t kKnownArchivesKey[] = L"Software\\Cairn\\KnownArchives";

// Records the archive at the path (made absolute); a list that cannot be written is passed over,
// since recording is never what the person asked for.
void RecordKnownArchive(const std::wstring& path);

// The archives of the list, in the order of the registry, after pruning those whose file or folder
// is plainly gone (a path that merely cannot be reached now, an offline share, stays).
std::vector<std::wstring> KnownArchives();

}  // namespace cairn
