// The owners of the window system's objects that a window keeps: menus, accelerator tables,
// icons and image lists, each destroyed when its owner goes. (An accelerator table loaded from
// resources needs no owner; one made with CreateAcceleratorTable does.)
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "Owner.h"

namespace cairn {

struct MenuTraits : EmptyWhenNull<HMENU> { static void Free(HMENU h) { DestroyMenu(h); } };
struct AcceleratorTableTraits : EmptyWhenNull<HACCEL> { static void Free(HACCEL h) { DestroyAcceleratorTable(h); } };
struct IconTraits : EmptyWhenNull<HICON> { static void Free(HICON h) { DestroyIcon(h); } };
struct ImageListTraits : EmptyWhenNull<HIMAGELIST> { static void Free(HIMAGELIST h) { ImageList_Destroy(h); } };

using Menu = Owner<MenuTraits>;
using AcceleratorTable = Owner<AcceleratorTableTraits>;
using Icon = Owner<IconTraits>;
using ImageList = Owner<ImageListTraits>;

}  // namespace cairn
