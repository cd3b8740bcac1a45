#include "InstallDialog.h"

#include <shellapi.h>

#include "resource.h"

namespace cairn {
namespace sfx {
namespace {

// The link is drawn underlined: a copy of its font, owned by the dialog (DWLP_USER).
void UnderlineLink(HWND dialog) {
  HWND link = GetDlgItem(dialog, IDC_VENDOR_LINK);
  LOGFONTW font;
  HFONT current = reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0));
  if (current == nullptr || GetObjectW(current, sizeof font, &font) == 0) return;
  font.lfUnderline = TRUE;
  HFONT underlined = CreateFontIndirectW(&font);
  if (underlined == nullptr) return;
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(underlined));
  SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(underlined), FALSE);
}

void OpenLink(HWND dialog) {
  wchar_t address[MAX_PATH];
  if (GetDlgItemTextW(dialog, IDC_VENDOR_LINK, address, MAX_PATH) > 0)
    ShellExecuteW(dialog, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      UnderlineLink(dialog);
      return TRUE;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) != GetDlgItem(dialog, IDC_VENDOR_LINK)) return FALSE;
      SetCursor(LoadCursorW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)),
                            MAKEINTRESOURCEW(IDC_LINK_CURSOR)));
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, IDC_VENDOR_LINK)) return FALSE;
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, LOWORD(wParam));
          return TRUE;
        case IDC_VENDOR_LINK:
          if (HIWORD(wParam) != STN_CLICKED) return FALSE;
          OpenLink(dialog);
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
    case WM_NCDESTROY:
      DeleteObject(reinterpret_cast<HFONT>(GetWindowLongPtrW(dialog, DWLP_USER)));
      return FALSE;
  }
  return FALSE;
}

}  // namespace

INT_PTR RunInstallDialog(HINSTANCE instance) {
  WNDCLASSW dialogClass = {};
  dialogClass.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;
  dialogClass.lpfnWndProc = DefDlgProcW;
  dialogClass.cbWndExtra = DLGWINDOWEXTRA;
  dialogClass.hInstance = instance;
  dialogClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_CAIRN));
  dialogClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  dialogClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  dialogClass.lpszClassName = L"SelfDlgClass";
  RegisterClassW(&dialogClass);  // when this fails, so does the dialog below
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALL), nullptr, InstallDialogProc, 0);
}

}  // namespace sfx
}  // namespace cairn
