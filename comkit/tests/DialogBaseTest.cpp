// DialogBase under Wine: a dialog's and a property page's object found from its creation
// parameter, messages before WM_INITDIALOG kept from it, notification results through
// DWLP_MSGRESULT, and a page's object deleted when its sheet lets it go, shown or not.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstring>
#include <vector>

#include "DialogBase.h"

namespace cairn {
namespace {

constexpr UINT kAsk = WM_APP + 7;  // answered with twice wParam

// An empty dialog template with a font, so that WM_SETFONT comes before WM_INITDIALOG.
class EmptyTemplate {
 public:
  explicit EmptyTemplate(DWORD style) {
    DLGTEMPLATE head = {};
    head.style = style | DS_SETFONT;
    head.cx = 120;
    head.cy = 60;
    Add(&head, sizeof head);
    const WORD menuClassTitle[3] = {0, 0, 0};
    Add(menuClassTitle, sizeof menuClassTitle);
    const WORD points = 8;
    Add(&points, sizeof points);
    const wchar_t face[] = L"MS Shell Dlg";
    Add(face, sizeof face);
  }
  LPCDLGTEMPLATEW Get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data()); }

 private:
  void Add(const void* data, size_t size) {
    const size_t at = words_.size();
    words_.resize(at + (size + 1) / 2);
    std::memcpy(&words_[at], data, size);
  }
  std::vector<WORD> words_;  // WORD-aligned, with the DWORD alignment of vector storage
};

class Recorder final : public DialogBase {
 public:
  explicit Recorder(bool* gone = nullptr) : gone_(gone) {}
  ~Recorder() override {
    if (gone_ != nullptr) *gone_ = true;
  }
  std::vector<UINT> messages;
  HWND windowAtInit = nullptr;

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM) override {
    messages.push_back(message);
    if (message == WM_INITDIALOG) windowAtInit = Window();
    if (message == kAsk) return Answer(static_cast<LRESULT>(wParam) * 2);
    return message == WM_INITDIALOG;
  }
  bool* gone_;
};

TEST(DialogBaseTest, ADialogsObjectHasEveryMessageFromInitOnAndAnswersThroughTheResult) {
  const EmptyTemplate dialog(WS_POPUP);
  Recorder recorder;
  HWND window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), nullptr, &DialogBase::DialogProc,
                                           recorder.Parameter());
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(window, recorder.windowAtInit);
  ASSERT_FALSE(recorder.messages.empty());
  EXPECT_EQ(static_cast<UINT>(WM_INITDIALOG), recorder.messages.front()) << "WM_SETFONT came first, to no object";
  EXPECT_EQ(42, SendMessageW(window, kAsk, 21, 0));
  DestroyWindow(window);
  EXPECT_EQ(static_cast<UINT>(WM_NCDESTROY), recorder.messages.back());
}

HPROPSHEETPAGE MakePage(const EmptyTemplate& page, Recorder* recorder) {
  PROPSHEETPAGEW sheetPage = {};
  sheetPage.dwSize = sizeof sheetPage;
  sheetPage.dwFlags = PSP_DLGINDIRECT | PSP_USECALLBACK;
  sheetPage.pResource = page.Get();
  sheetPage.pfnDlgProc = &DialogBase::PageProc;
  sheetPage.pfnCallback = &DialogBase::DeleteWithPage;
  sheetPage.lParam = recorder->Parameter();
  return CreatePropertySheetPageW(&sheetPage);
}

TEST(DialogBaseTest, APagesObjectComesFromItsPageAndGoesWithIt) {
  const EmptyTemplate page(WS_CHILD);
  bool unshownGone = false;
  HPROPSHEETPAGE unshown = MakePage(page, new Recorder(&unshownGone));
  ASSERT_NE(nullptr, unshown);
  EXPECT_FALSE(unshownGone);
  DestroyPropertySheetPage(unshown);
  EXPECT_TRUE(unshownGone) << "a page never shown deletes its object too";

  bool shownGone = false;
  auto* recorder = new Recorder(&shownGone);
  HPROPSHEETPAGE shown = MakePage(page, recorder);
  ASSERT_NE(nullptr, shown);
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_MODELESS;
  header.pszCaption = L"sheet";
  header.nPages = 1;
  header.phpage = &shown;
  const auto sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
  ASSERT_NE(nullptr, sheet);
  HWND current = PropSheet_GetCurrentPageHwnd(sheet);
  ASSERT_NE(nullptr, current);
  EXPECT_EQ(current, recorder->windowAtInit);
  EXPECT_EQ(static_cast<UINT>(WM_INITDIALOG), recorder->messages.front());
  EXPECT_EQ(8, SendMessageW(current, kAsk, 4, 0));
  DestroyWindow(sheet);
  EXPECT_TRUE(shownGone) << "the sheet let its page go";
}

}  // namespace
}  // namespace cairn
