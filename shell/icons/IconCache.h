// The icon cache of an extension list view: each distinct icon of the window's items is
// extracted once, into a pair of image lists (large and small, same index in both), with its key
// kept in a hidden list box of the window.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "UserObjects.h"

namespace cairn {
namespace shell {

class IconCache {
 public:
  // Makes the two empty image lists over the window's key list; false when either cannot be made.
  bool Create(HWND keys);
  HIMAGELIST Large() const { return large_.Get(); }
  HIMAGELIST Small() const { return small_.Get(); }
  // Adds the module's icon to both lists as the overlay image of that number (1 to 15), before
  // any item's icon is cached.
  void AddOverlay(UINT icon, int overlay);
  // The image index of the item's icon: 0 when it cannot be extracted or cached, -1 when the
  // folder gives no icon handler.
  int IndexOf(IShellFolder* folder, LPCITEMIDLIST item);

 private:
  HWND keys_ = nullptr;
  ImageList large_;
  ImageList small_;
};

}  // namespace shell
}  // namespace cairn
