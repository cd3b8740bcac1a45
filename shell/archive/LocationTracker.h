// Keeps a shell link to every added file or folder in an archive named stream (named by the
// item's file name), so that an item moved after it was added can be found again.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "ComPtr.h"
#include "cairn.h"

namespace cairn {
namespace shell {

class LocationTracker {
 public:
  // Without an admin interface the tracker does nothing.
  LocationTracker(ICairnArchiveAdmin* admin, HWND owner) : admin_(admin), owner_(owner) {}

  // Stores a link to path under its file name.
  void Record(const std::string& path);
  // Where the item once added from path is now: the stored link (or one made from path)
  // resolved; the new path is recorded again. Empty when the link does not resolve.
  std::string Resolve(const std::string& path);

 private:
  ComPtr<ICairnArchiveAdmin> admin_;
  HWND owner_;
};

}  // namespace shell
}  // namespace cairn
