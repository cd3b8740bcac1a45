#include "IconCache.h"

#include <shellapi.h>

#include <string>

#include "ComPtr.h"
#include "Module.h"
#include "UserObjects.h"
#include "ViewFormat.h"

namespace cairn {
namespace shell {

bool IconCache::Create(HWND keys) {
  keys_ = keys;
  large_.Reset(ImageList_Create(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), ILC_MASK | ILC_COLOR8, 8, 8));
  small_.Reset(
      ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_MASK | ILC_COLOR8, 8, 8));
  return keys_ != nullptr && large_ && small_;
}

void IconCache::AddOverlay(UINT icon, int overlay) {
  for (HIMAGELIST images : {large_.Get(), small_.Get()}) {
    int cx = 0, cy = 0;
    if (images == nullptr || !ImageList_GetIconSize(images, &cx, &cy)) continue;
    const Icon picture(static_cast<HICON>(LoadImageW(Module::Instance(), MAKEINTRESOURCEW(icon), IMAGE_ICON, cx, cy, 0)));
    const int index = picture ? ImageList_AddIcon(images, picture.Get()) : -1;
    if (index >= 0) ImageList_SetOverlayImage(images, index, overlay);
  }
}

int IconCache::IndexOf(IShellFolder* folder, LPCITEMIDLIST item) {
  ComPtr<IExtractIconA> extract;
  if (!large_ || !small_) return 0;
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
  Icon large, small;
  if (flags & GIL_NOTFILENAME) {
    const UINT sizes = MAKELONG(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXSMICON));
    const HRESULT hr = extract->Extract(location, static_cast<UINT>(index), large.Out(), small.Out(), sizes);
    if (hr != S_OK) {
      large.Reset();
      small.Reset();
    }
  } else {
    // 1 says the file holds no icons: no handle.
    HICON extracted = ExtractIconA(nullptr, location, static_cast<UINT>(index));
    if (reinterpret_cast<UINT_PTR>(extracted) > 1) large.Reset(extracted);
  }
  if (!large) return 0;
  int result = 0;
  const LRESULT position = SendMessageA(keys_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(key.c_str()));
  if (position >= 0) {
    const int big = ImageList_AddIcon(large_.Get(), large.Get());
    const int little = ImageList_AddIcon(small_.Get(), small ? small.Get() : large.Get());
    if (big >= 0 && big == little) {
      SendMessageA(keys_, LB_SETITEMDATA, position, big);
      result = big;
    } else {
      // The lists must stay in step: what was added goes again.
      if (big >= 0) ImageList_Remove(large_.Get(), big);
      if (little >= 0) ImageList_Remove(small_.Get(), little);
      SendMessageA(keys_, LB_DELETESTRING, position, 0);
    }
  }
  return result;
}

}  // namespace shell
}  // namespace cairn
