#include "AddressBox.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>

namespace cairn {
namespace shell {
namespace {

// The control identifiers by which the address box is found among the browser's windows: an
// address box of its own, or the address band's box inside the band bar.
constexpr int kAddressBoxId = 40962, kAddressBandBarId = 40965, kAddressBandBoxId = 41477;

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  const int id = GetDlgCtrlID(window);
  HWND parent = GetParent(window);
  // Only an extended combo box answers the view's messages; another control may share the number.
  char kind[32] = "";
  if (GetClassNameA(window, kind, sizeof kind) == 0 || lstrcmpiA(kind, WC_COMBOBOXEXA) != 0) return TRUE;
  if (id == kAddressBoxId || (id == kAddressBandBoxId && parent != nullptr && GetDlgCtrlID(parent) == kAddressBandBarId)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

int ArchiveIcon(const std::string& archivePath) {
  SHFILEINFOA info = {};
  if (SHGetFileInfoA(archivePath.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON) == 0)
    return I_IMAGENONE;
  return info.iIcon;
}

}  // namespace

HWND FindAddressBox(IShellBrowser* browser) {
  HWND window = nullptr, found = nullptr;
  if (browser == nullptr || FAILED(browser->GetWindow(&window)) || window == nullptr) return nullptr;
  EnumChildWindows(window, &FindBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

void UpdateAddressBox(IShellBrowser* browser, IShellFolder* folder, const FolderLevel& level) {
  HWND box = FindAddressBox(browser);
  if (box == nullptr || folder == nullptr) return;
  std::string address = level.Address(folder);
  if (address.empty()) return;
  const LRESULT count = SendMessageA(box, CB_GETCOUNT, 0, 0);
  LRESULT index = CB_ERR;
  for (LRESULT i = 0; i < count && index == CB_ERR; ++i) {
    char text[MAX_PATH * 2] = "";
    COMBOBOXEXITEMA item = {};
    item.mask = CBEIF_TEXT;
    item.iItem = i;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (SendMessageA(box, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) && lstrcmpiA(text, address.c_str()) == 0)
      index = i;
  }
  if (index == CB_ERR) {
    COMBOBOXEXITEMA item = {};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = count;
    item.pszText = &address[0];
    item.iImage = item.iSelectedImage = ArchiveIcon(level.archivePath);
    index = SendMessageA(box, CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  if (index != CB_ERR) SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

}  // namespace shell
}  // namespace cairn
