#include "CairnIcon.h"

#include <commctrl.h>
#include <shellapi.h>

#include "ItemNames.h"
#include "UserObjects.h"
#include "ViewFormat.h"
#include "ViewResource.h"

namespace cairn {
namespace shell {
namespace {

// A type is registered when HKEY_CLASSES_ROOT has a key of its extension with a default value.
bool Registered(const std::string& extension) {
  if (extension.empty()) return false;
  char value[MAX_PATH];
  LONG size = sizeof value;
  return RegQueryValueA(HKEY_CLASSES_ROOT, extension.c_str(), value, &size) == ERROR_SUCCESS && size > 1;
}

// Images 3 and 4 of the system image lists are the closed and open folder. A system that fills
// its lists on demand may not hold them yet; then the folder icon comes by its attributes, so that
// a folder never goes without its picture.
HICON SystemFolderIcon(bool open, bool small) {
  SHFILEINFOA info = {};
  const UINT size = small ? SHGFI_SMALLICON : 0;
  const HIMAGELIST images =
      reinterpret_cast<HIMAGELIST>(SHGetFileInfoA("C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | size));
  if (images != nullptr && ImageList_GetImageCount(images) > 4) {
    if (HICON icon = ImageList_GetIcon(images, open ? 4 : 3, ILD_NORMAL)) return icon;
  }
  info = {};
  const UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | size | (open ? SHGFI_OPENICON : 0);
  return SHGetFileInfoA("Folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info, flags) ? info.hIcon : nullptr;
}

}  // namespace

STDMETHODIMP CairnIcon::Initialize(LPSTR name, long attributes, long snapshot) {
  name_ = name != nullptr ? std::string(name).substr(0, 259) : std::string();
  attributes_ = static_cast<DWORD>(attributes);
  snapshot_ = snapshot != 0;
  return S_OK;
}

STDMETHODIMP CairnIcon::GetIconLocation(UINT flags, LPSTR file, UINT size, int* index, UINT* outFlags) {
  if (file == nullptr || index == nullptr || outFlags == nullptr) return E_POINTER;
  const std::string extension = ItemExtension(name_);
  const std::string location = IconLocationText(snapshot_, attributes_, Registered(extension) ? extension : "");
  if (size > 0) lstrcpynA(file, location.c_str(), static_cast<int>(size));
  *index = (flags & GIL_OPENICON) ? 1 : 0;
  *outFlags = GIL_NOTFILENAME | GIL_PERCLASS;
  return S_OK;
}

STDMETHODIMP CairnIcon::Extract(LPCSTR file, UINT index, HICON* large, HICON* small, UINT sizes) {
  if (file == nullptr) return E_POINTER;
  if (index > 1) return S_FALSE;
  Icon big, little;
  const std::string kind(file, strnlen(file, 9));
  if (kind == "OBJECTS::") {
    const UINT open = index == 1 ? SHGFI_OPENICON : 0;
    SHFILEINFOA info = {};
    if (!SHGetFileInfoA(name_.c_str(), attributes_, &info, sizeof info, SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | open) ||
        info.hIcon == nullptr)
      return S_FALSE;
    big.Reset(info.hIcon);
    info.hIcon = nullptr;
    if (SHGetFileInfoA(name_.c_str(), attributes_, &info, sizeof info,
                       SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON | open))
      little.Reset(info.hIcon);
  } else if (kind == "VERSION::") {
    big.Reset(static_cast<HICON>(LoadImageW(Module::Instance(), MAKEINTRESOURCEW(IDI_SNAPSHOT), IMAGE_ICON,
                                            LOWORD(sizes), LOWORD(sizes), 0)));
    little.Reset(static_cast<HICON>(LoadImageW(Module::Instance(), MAKEINTRESOURCEW(IDI_SNAPSHOT), IMAGE_ICON,
                                               HIWORD(sizes), HIWORD(sizes), 0)));
  } else if (kind == "DIRECTO::") {
    big.Reset(SystemFolderIcon(index == 1, false));
    little.Reset(SystemFolderIcon(index == 1, true));
  } else {
    return S_FALSE;
  }
  if (!big) return S_FALSE;
  // What the caller does not ask for goes with its owner.
  if (large != nullptr) *large = big.Detach();
  if (small != nullptr) *small = little.Detach();
  return S_OK;
}

}  // namespace shell
}  // namespace cairn
