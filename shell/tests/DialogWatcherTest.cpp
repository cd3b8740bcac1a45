// The hosted-view harness's dialog watcher on property sheets made here from templates in memory:
// it reads the static texts of a sheet's pages (child dialogs), moves between pages and presses
// the sheet's buttons with PSM_PRESSBUTTON; it finds a wizard by its page's title, which is the
// wizard window's caption, and a modeless wizard ends once its current page is gone.
#include "HostedViewSupport.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "AnsiText.h"

namespace cairn {
namespace browser {
namespace {

using shell::FromAnsi;
using testing::DialogWatcher;
using testing::PageTemplate;
using testing::PressSheetButton;
using testing::SelectSheetPage;
using testing::SheetPage;
using testing::StaticTexts;
using testing::WaitFor;

// What the pages were told.
struct PageEvents {
  int applied = 0;
  int finished = 0;
};

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
    return TRUE;
  }
  if (message != WM_NOTIFY) return FALSE;
  auto* events = reinterpret_cast<PageEvents*>(GetWindowLongPtrW(page, DWLP_USER));
  switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE:
      PropSheet_SetWizButtons(GetParent(page), PSWIZB_FINISH);
      break;
    case PSN_APPLY:
      ++events->applied;
      break;
    case PSN_WIZFINISH:
      ++events->finished;
      break;
    default:
      return FALSE;
  }
  SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
  return TRUE;
}

PROPSHEETPAGEW Page(const PageTemplate& dialog, const wchar_t* title, PageEvents* events) {
  PROPSHEETPAGEW page = {};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
  page.pResource = dialog.Get();
  page.pszTitle = title;
  page.pfnDlgProc = &PageProc;
  page.lParam = reinterpret_cast<LPARAM>(events);
  return page;
}

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(DialogWatcherTest, ReadsTheStaticTextsOfEachPageAndPressesTheSheetsButtons) {
  const PageTemplate first({"The first page speaks"}), second({"The second page speaks", "and says more"});
  PageEvents events;
  PROPSHEETPAGEW pages[] = {Page(first, L"First", &events), Page(second, L"Second", &events)};
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  header.pszCaption = L"Harness Sheet";
  header.nPages = 2;
  header.ppsp = pages;

  std::vector<std::string> secondTexts;
  DialogWatcher watcher([](const std::string& caption) { return caption == "Harness Sheet"; },
                        [&secondTexts](HWND sheet) {
                          secondTexts = StaticTexts(SelectSheetPage(sheet, 1));
                          PressSheetButton(sheet, PSBTN_OK);
                        });
  PropertySheetW(&header);
  const std::vector<std::string> texts = watcher.Finish();
  ASSERT_TRUE(watcher.Seen());
  EXPECT_TRUE(Has(texts, "The first page speaks"));
  EXPECT_FALSE(Has(texts, "The second page speaks")) << "not made before it is shown";
  EXPECT_TRUE(Has(secondTexts, "The second page speaks"));
  EXPECT_TRUE(Has(secondTexts, "and says more"));
  EXPECT_EQ(2, events.applied) << "OK applies every page made";
}

TEST(DialogWatcherTest, FindsWizardsByTheirPageTitleModalOrModeless) {
  const PageTemplate step({"One step only"});
  PageEvents events;
  PROPSHEETPAGEW pages[] = {Page(step, L"Harness Step", &events)};
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD;
  header.pszCaption = L"Harness Wizard";
  header.nPages = 1;
  header.ppsp = pages;
  const auto finish = [](HWND wizard) { PressSheetButton(wizard, PSBTN_FINISH); };
  const auto stepShown = [](const std::string& caption) { return caption == "Harness Step"; };

  DialogWatcher modal(stepShown, finish);
  EXPECT_NE(0, PropertySheetW(&header));
  EXPECT_TRUE(Has(modal.Finish(), "One step only"));
  EXPECT_EQ("Harness Step", modal.Caption());
  EXPECT_EQ(1, events.finished);

  // A modeless wizard has ended when its current page is gone; its window is then the caller's
  // to destroy.
  header.dwFlags |= PSH_MODELESS;
  DialogWatcher modeless(stepShown, finish);
  HWND wizard = reinterpret_cast<HWND>(PropertySheetW(&header));
  ASSERT_NE(nullptr, wizard);
  EXPECT_TRUE(WaitFor([wizard] { return SheetPage(wizard) == nullptr; }));
  modeless.Finish();
  EXPECT_TRUE(modeless.Seen());
  EXPECT_EQ(2, events.finished);
  DestroyWindow(wizard);
}

}  // namespace
}  // namespace browser
}  // namespace cairn
