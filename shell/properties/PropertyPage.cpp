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
  sheetPage.pfnDlgProc = &DialogBase::PageProc;
  sheetPage.pfnCallback = &DialogBase::DeleteWithPage;
  sheetPage.lParam = page->Parameter();
  HPROPSHEETPAGE made = CreatePropertySheetPageA(&sheetPage);
  // From here the sheet's release deletes it.
  if (made != nullptr) page.release();
  return made;
}

INT_PTR PropertyPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit();
      return TRUE;
    case WM_NOTIFY:
      return Answer(OnNotify(*reinterpret_cast<NMHDR*>(lParam)));
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace shell
}  // namespace cairn
