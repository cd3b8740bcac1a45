#include "IconCache.h"

#include <shellapi.h>

#include <string>

#include "ComPtr.h"
#include "ViewFormat.h"

namespace cairn {
namespace shell {

IconCache::~IconCache() { Reset(); }

void IconCache::Reset() {
  if (large_ != nullptr) ImageList_Destroy(large_);
  if (small_ != nullptr) ImageList_Destroy(small_);
  large_ = small_ = nullptr;
}

bool IconCache::Create(HWND keys) {
  Reset();
  keys_ = keys;
  large_ = ImageList_Create(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), ILC_MASK | ILC_COLOR8, 8, 8);
  small_ = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_MASK | ILC_COLOR8, 8, 8);
  return keys_ != nullptr && large_ != nullptr && small_ != nullptr;
}

int IconCache::IndexOf(IShellFolder* folder, LPCITEMIDLIST item) {
  ComPtr<IExtractIconA> extract;
  if (large_ == nullptr || small_ == nullptr) return 0;
  if (folder == nullptr ||
      FAILED(folder->GetUIObjectOf(nullptr, 1, &item, IID_IExtractIconA, nullptr, extract.OutVoid())) || !extract)
    return -1;
  char location[MAX_PATH] = "";
  int index = 0;
  UINT flags = 0;
  if (FAILED(extract->GetIconLocation(0, location, MAX_PATH, &index, &flags))) return 0;
  const std::string key = IconCacheKey(location, index, flags);
  if (!(flags & GIL_DONTCACHE)) {
    const LRESULT found = SendMessageA(keys_, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(key.c_str()));
    if (found != LB_ERR) return static_cast<int>(SendMessageA(keys_, LB_GETITEMDATA, found, 0));
  }
  HICON large = nullptr, small = nullptr;
  if (flags & GIL_NOTFILENAME) {
    const UINT sizes = MAKELONG(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXSMICON));
    if (extract->Extract(location, static_cast<UINT>(index), &large, &small, sizes) != S_OK) large = small = nullptr;
  } else {
    large = ExtractIconA(nullptr, location, static_cast<UINT>(index));
    if (reinterpret_cast<UINT_PTR>(large) <= 1) large = nullptr;
  }
  if (large == nullptr) {
    if (small != nullptr) DestroyIcon(small);
    return 0;
  }
  int result = 0;
  const LRESULT position = SendMessageA(keys_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(key.c_str()));
  if (position >= 0) {
    const int big = ImageList_AddIcon(large_, large);
    const int little = ImageList_AddIcon(small_, small != nullptr ? small : large);
    if (big >= 0 && big == little) {
      SendMessageA(keys_, LB_SETITEMDATA, position, big);
      result = big;
    } else {
      // The lists must stay in step: what was added goes again.
      if (big >= 0) ImageList_Remove(large_, big);
      if (little >= 0) ImageList_Remove(small_, little);
      SendMessageA(keys_, LB_DELETESTRING, position, 0);
    }
  }
  DestroyIcon(large);
  if (small != nullptr) DestroyIcon(small);
  return result;
}

}  // namespace shell
}  // namespace cairn
