// Where the browser frame keeps the view-state stream of each folder: one small file per folder
// in a directory of its own, named by a hash of the folder's parsing name, so that a view finds
// its column widths and sort order again in a later run.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>

namespace cairn {
namespace browser {

class ViewStateStore {
 public:
  // directory: where the files lie; empty for the user's local application data folder.
  explicit ViewStateStore(std::wstring directory);

  // The stream of the folder named `key`, opened for the STGM access in `mode`. Reading a folder
  // that has nothing stored fails (STG_E_FILENOTFOUND or the like); writing starts it empty.
  HRESULT Open(const std::wstring& key, DWORD mode, IStream** stream) const;
  // The file that holds the folder's stream.
  std::wstring PathOf(const std::wstring& key) const;

 private:
  std::wstring directory_;
};

}  // namespace browser
}  // namespace cairn
