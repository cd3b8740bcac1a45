// The dialog that downloads the system's installer.
#pragma once

#include <windows.h>

namespace cairn {
namespace sfx {

// Where the installer is fetched from unless the user types another address.
constexpr wchar_t kDownloadAddress[] = L"http://www.example.com/cairn/cairn-setup.exe";

// Shows the download dialog; "Download Now" fetches the address shown to target on a worker
// thread. Returns S_OK once the file is complete, E_ABORT when the user cancelled, E_FAIL when no
// download could be started, or the failure of the download itself.
HRESULT RunDownloadDialog(HINSTANCE instance, const wchar_t* target);

}  // namespace sfx
}  // namespace cairn
