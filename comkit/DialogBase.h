// DialogBase: the one window procedure of dialogs and property pages that have an object behind
// them. The object is handed over as the window's creation parameter: the lParam of
// CreateDialogParam or DialogBoxParam for a dialog, the lParam of its PROPSHEETPAGE for a page. At
// WM_INITDIALOG it is kept in the window's DWLP_USER, and from then on every message goes to it.
// Messages that come before WM_INITDIALOG (WM_SETFONT) are answered FALSE.
#pragma once

#include <windows.h>
#include <prsht.h>

namespace cairn {

enum class DialogKind {
  kDialog,  // the creation parameter is the object
  kPage,    // the creation parameter is the page's PROPSHEETPAGE, whose lParam is the object
};

// The object of a dialog window: at WM_INITDIALOG taken from the creation parameter and kept in
// DWLP_USER, for every later message read back from there; null before WM_INITDIALOG. For a
// window whose class cannot derive from DialogBase; the object must outlive its window.
template <class T>
T* DialogObject(DialogKind kind, HWND window, UINT message, LPARAM lParam) {
  if (message != WM_INITDIALOG) return reinterpret_cast<T*>(GetWindowLongPtrW(window, DWLP_USER));
  // The ANSI and the wide PROPSHEETPAGE place lParam alike.
  const LPARAM object = kind == DialogKind::kPage ? reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam : lParam;
  SetWindowLongPtrW(window, DWLP_USER, object);
  return reinterpret_cast<T*>(object);
}

class DialogBase {
 public:
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;
  virtual ~DialogBase() = default;

  // The procedure of a dialog whose creation parameter is Parameter().
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Dispatch(DialogKind::kDialog, window, message, wParam, lParam);
  }
  // The procedure of a property page whose PROPSHEETPAGE lParam is Parameter().
  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Dispatch(DialogKind::kPage, window, message, wParam, lParam);
  }
  // For the PROPSHEETPAGE's pfnCallback (PSP_USECALLBACK) of a page that owns its object: the
  // object is deleted when the sheet lets the page go, made or not.
  static UINT CALLBACK DeleteWithPage(HWND, UINT message, PROPSHEETPAGEA* page) {
    if (message == PSPCB_RELEASE && page != nullptr) delete reinterpret_cast<DialogBase*>(page->lParam);
    return 1;
  }
  static UINT CALLBACK DeleteWithPage(HWND, UINT message, PROPSHEETPAGEW* page) {
    if (message == PSPCB_RELEASE && page != nullptr) delete reinterpret_cast<DialogBase*>(page->lParam);
    return 1;
  }

  // The creation parameter that leads the procedures to this object (as the base, whatever the
  // class derived from it).
  LPARAM Parameter() { return reinterpret_cast<LPARAM>(this); }

 protected:
  DialogBase() = default;

  // Every message from WM_INITDIALOG on, with Window() set; the dialog procedure's answer.
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

  // The window, from WM_INITDIALOG on.
  HWND Window() const { return window_; }
  // The result of a notification (WM_NOTIFY) in DWLP_MSGRESULT; TRUE, the answer that says so.
  INT_PTR Answer(LRESULT result) const {
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
    return TRUE;
  }

 private:
  static INT_PTR Dispatch(DialogKind kind, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogBase* self = DialogObject<DialogBase>(kind, window, message, lParam);
    if (self == nullptr) return FALSE;
    if (message == WM_INITDIALOG) self->window_ = window;
    return self->OnMessage(message, wParam, lParam);
  }

  HWND window_ = nullptr;
};

}  // namespace cairn
