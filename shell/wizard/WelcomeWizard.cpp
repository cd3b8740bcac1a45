#include "WelcomeWizard.h"

#include <commctrl.h>
#include <prsht.h>

#include <memory>
#include <new>
#include <string>

#include "AnsiText.h"
#include "DialogBase.h"
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

// A page of the wizard, by its place in it; the sheet deletes it when it lets the page go.
class WizardPage final : public DialogBase {
 public:
  explicit WizardPage(int index) : index_(index) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool Last() const { return index_ == kPages - 1; }

  const int index_;
};

INT_PTR WizardPage::OnMessage(UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_NOTIFY) return FALSE;
  switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE: {
      const DWORD buttons = index_ == 0 ? PSWIZB_NEXT
                            : Last()    ? PSWIZB_BACK | PSWIZB_FINISH
                                        : PSWIZB_BACK | PSWIZB_NEXT;
      PropSheet_SetWizButtons(GetParent(Window()), buttons);
      return Answer(0);
    }
    case PSN_WIZNEXT:
      // The last page has nowhere to go.
      return Answer(Last() ? -1 : 0);
    case PSN_WIZFINISH:
      if (IsDlgButtonChecked(Window(), IDC_WIZARD_DONT_SHOW) == BST_CHECKED) TurnWizardOff();
      return Answer(FALSE);
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
  std::unique_ptr<WizardPage> objects[kPages];
  for (int i = 0; i < kPages; ++i) {
    objects[i].reset(new (std::nothrow) WizardPage(i));
    if (!objects[i]) return nullptr;
  }
  PROPSHEETPAGEW pages[kPages] = {};
  for (int i = 0; i < kPages; ++i) {
    pages[i].dwSize = sizeof pages[i];
    pages[i].dwFlags = PSP_USETITLE | PSP_USEICONID | PSP_USECALLBACK;
    pages[i].hInstance = instance;
    pages[i].pszTemplate = MAKEINTRESOURCEW(kPageDialogs[i]);
    pages[i].pszIcon = MAKEINTRESOURCEW(IDI_ARCHIVE);
    pages[i].pszTitle = caption.c_str();
    pages[i].pfnDlgProc = &DialogBase::PageProc;
    pages[i].pfnCallback = &DialogBase::DeleteWithPage;
    pages[i].lParam = objects[i]->Parameter();
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
  // From here the sheet's release of each page deletes its object.
  for (std::unique_ptr<WizardPage>& object : objects) object.release();
  const INT_PTR sheet = PropertySheetW(&header);
  return sheet != 0 && sheet != -1 ? reinterpret_cast<HWND>(sheet) : nullptr;
}

}  // namespace shell
}  // namespace cairn
