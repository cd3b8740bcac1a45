#include "PropertyPage.h"

#include "Module.h"

namespace cairn {
namespace shell {

HPROPSHEETPAGE PropertyPage::Create(std::unique_ptr<PropertyPage> page, UINT dialog) {
  PROPSHEETPAGEA sheetPage = {};
  sheetPage.dwSize = sizeof sheetPage;
  sheetPage.dwFlags = PSP_USECALLBACK;
  sheetPage.hInstance = Module::Instance();
  sheetPage.pszTemplate = MAKEINTRESOURCEA(dialog);
  sheetPage.pfnDlgProc = &PropertyPage::Proc;
  sheetPage.pfnCallback = &PropertyPage::Lifetime;
  sheetPage.lParam = reinterpret_cast<LPARAM>(page.get());
  HPROPSHEETPAGE made = CreatePropertySheetPageA(&sheetPage);
  // From here the sheet's release deletes it.
  if (made != nullptr) page.release();
  return made;
}

UINT CALLBACK PropertyPage::Lifetime(HWND, UINT message, LPPROPSHEETPAGEA page) {
  if (message == PSPCB_RELEASE && page != nullptr) delete reinterpret_cast<PropertyPage*>(page->lParam);
  return 1;
}

INT_PTR CALLBACK PropertyPage::Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<PropertyPage*>(reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->lParam);
    SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->page_ = page;
    self->OnInit();
    return TRUE;
  }
  auto* self = reinterpret_cast<PropertyPage*>(GetWindowLongPtrW(page, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_NOTIFY:
      SetWindowLongPtrW(page, DWLP_MSGRESULT, self->OnNotify(*reinterpret_cast<NMHDR*>(lParam)));
      return TRUE;
    case WM_COMMAND:
      self->OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_DESTROY:
      self->OnDestroy();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace shell
}  // namespace cairn
