// The offer to install the system, shown when a self-extracting archive is opened on a machine
// without it.
#pragma once

#include <windows.h>

namespace cairn {
namespace sfx {

// Registers the dialog's own window class "SelfDlgClass" and shows the offer. Returns IDOK when
// the user chose "Yes"; "No", closing it and following the vendor's link give IDCANCEL, and a
// dialog that cannot be shown gives -1.
INT_PTR RunInstallDialog(HINSTANCE instance);

}  // namespace sfx
}  // namespace cairn
