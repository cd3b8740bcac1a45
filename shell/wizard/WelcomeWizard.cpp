#include "WelcomeWizard.h"

#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "AnsiText.h"
#include "Module.h"
#include "ViewResource.h"
#include "WizardResource.h"
#include "WizardSetting.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

constexpr int kPages = 4;
constexpr UINT kPageDialogs[kPages] = {IDD_WIZARD_CREATE, IDD_WIZARD_FILL, IDD_WIZARD_BROWSE, IDD_WIZARD_SNAPSHOT};
constexpr UINT_PTR kSheetSubclass = 1;

bool IsLastPage(HWND page) { return GetWindowLongPtrW(page, GWLP_USERDATA) == kPages - 1; }

void Answer(HWND page, LONG_PTR result) { SetWindowLongPtrW(page, DWLP_MSGRESULT, result); }

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
    return TRUE;
  }
  if (message != WM_NOTIFY) return FALSE;
  switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE: {
      const LONG_PTR index = GetWindowLongPtrW(page, GWLP_USERDATA);
      const DWORD buttons = index == 0 ? PSWIZB_NEXT : IsLastPage(page) ? PSWIZB_BACK | PSWIZB_FINISH
                                                                        : PSWIZB_BACK | PSWIZB_NEXT;
      PropSheet_SetWizButtons(GetParent(page), buttons);
      Answer(page, 0);
      return TRUE;
    }
    case PSN_WIZNEXT:
      // The last page has nowhere to go.
      Answer(page, IsLastPage(page) ? -1 : 0);
      return TRUE;
    case PSN_WIZFINISH:
      if (IsDlgButtonChecked(page, IDC_WIZARD_DONT_SHOW) == BST_CHECKED) TurnWizardOff();
      Answer(page, FALSE);
      return TRUE;
    default:
      return FALSE;
  }
}

// A modeless sheet that is finished or cancelled only drops its page: its window is gone once
// the message that ended it has been handled. The sheet's window holds the module from its
// first message to its last: the host may otherwise unload the code its procedures run.
LRESULT CALLBACK SheetProc(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  const LRESULT result = DefSubclassProc(sheet, message, wParam, lParam);
  const bool ending = message == WM_COMMAND || message == PSM_PRESSBUTTON || message == WM_SYSCOMMAND ||
                      message == WM_CLOSE;
  if (ending && PropSheet_GetCurrentPageHwnd(sheet) == nullptr) DestroyWindow(sheet);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(sheet, SheetProc, kSheetSubclass);
    Module::Unlock();
  }
  return result;
}

int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM) {
  if (message == PSCB_INITIALIZED && SetWindowSubclass(sheet, SheetProc, kSheetSubclass, 0)) Module::Lock();
  return 0;
}

}  // namespace

HWND RunWelcomeWizard(HWND owner, HINSTANCE instance) {
  const std::wstring caption = FromAnsi(ShellString(IDS_WELCOME_TITLE));
  PROPSHEETPAGEW pages[kPages] = {};
  for (int i = 0; i < kPages; ++i) {
    pages[i].dwSize = sizeof pages[i];
    pages[i].dwFlags = PSP_USETITLE | PSP_USEICONID;
    pages[i].hInstance = instance;
    pages[i].pszTemplate = MAKEINTRESOURCEW(kPageDialogs[i]);
    pages[i].pszIcon = MAKEINTRESOURCEW(IDI_ARCHIVE);
    pages[i].pszTitle = caption.c_str();
    pages[i].pfnDlgProc = PageProc;
    pages[i].lParam = i;
  }
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_MODELESS | PSH_USEICONID | PSH_USECALLBACK;
  header.hwndParent = owner;
  header.hInstance = instance;
  header.pszIcon = MAKEINTRESOURCEW(IDI_ARCHIVE);
  header.pszCaption = caption.c_str();
  header.nPages = kPages;
  header.ppsp = pages;
  header.pfnCallback = SheetCallback;
  const INT_PTR sheet = PropertySheetW(&header);
  return sheet != 0 && sheet != -1 ? reinterpret_cast<HWND>(sheet) : nullptr;
}

}  // namespace shell
}  // namespace cairn
