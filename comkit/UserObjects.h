// The owners of the window system's objects that a window keeps: menus, accelerator tables,
// icons and image lists, each destroyed when its owner goes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "Owner.h"

namespace cairn {

struct MenuTraits : EmptyWhenNull<HMENU> {
  static void Free(HMENU menu) { DestroyMenu(menu); }
};
using Menu = Owner<MenuTraits>;

// For tables made with CreateAcceleratorTable; a table loaded from resources needs no owner.
struct AcceleratorTableTraits : EmptyWhenNull<HACCEL> {
  static void Free(HACCEL table) { DestroyAcceleratorTable(table); }
};
using AcceleratorTable = Owner<AcceleratorTableTraits>;

struct IconTraits : EmptyWhenNull<HICON> {
  static void Free(HICON icon) { DestroyIcon(icon); }
};
using Icon = Owner<IconTraits>;

struct ImageListTraits : EmptyWhenNull<HIMAGELIST> {
  static void Free(HIMAGELIST images) { ImageList_Destroy(images); }
};
using ImageList = Owner<ImageListTraits>;

}  // namespace cairn
