#include "StatusDialog.h"

#include <commctrl.h>

#include "Module.h"
#include "resource.h"

namespace cairn {
namespace {

std::atomic<bool> g_autoDismissDefault{false};

constexpr UINT_PTR kAnimationTimer = 7;
constexpr UINT kAnimationPeriod = 50;  // milliseconds per frame
// One swing from end to end and back: 204, 207, 206, 205, 206, 207.
constexpr int kFrameOrder[6] = {IDB_SWING_0, IDB_SWING_1, IDB_SWING_2, IDB_SWING_3, IDB_SWING_2, IDB_SWING_1};

// Puts a bitmap in the picture and returns the one it showed before.
HGDIOBJ ShowPicture(HWND window, HBITMAP picture) {
  return reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(window, IDC_STATUS_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                                                       reinterpret_cast<LPARAM>(picture)));
}

}  // namespace

bool AutoDismissDefault() { return g_autoDismissDefault; }
void SetAutoDismissDefault(bool on) { g_autoDismissDefault = on; }

HWND StatusDialog::Create(HWND owner) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  return CreateDialogParamW(Module::Instance(), MAKEINTRESOURCEW(IDD_STATUS), owner, &DialogBase::DialogProc,
                            Parameter());
}

INT_PTR StatusDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND window = Window();
  switch (message) {
    case WM_INITDIALOG:
      Start(window);
      // The focus goes to Stop, not to the first field, which would show its count selected.
      SetFocus(GetDlgItem(window, IDC_STATUS_STOP));
      return FALSE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      Command(window, LOWORD(wParam));
      return TRUE;
    case kDisableStopMessage:
      DisableStop(window);
      return TRUE;
    case WM_TIMER:
      if (wParam != kAnimationTimer) return FALSE;
      NextFrame(window);
      return TRUE;
    case WM_CLOSE:  // from the system menu: end the window's thread, and with it the window
      PostQuitMessage(0);
      return TRUE;
    case WM_DESTROY:
      End(window);
      return TRUE;
    default:
      return FALSE;
  }
}

void StatusDialog::Start(HWND window) {
  state_.dialog = window;
  for (int field : {IDC_STATUS_ADDED, IDC_STATUS_DELETED, IDC_STATUS_CHANGED, IDC_STATUS_PROCESSED})
    SetDlgItemTextW(window, field, L"0");
  SetDlgItemTextW(window, IDC_STATUS_PROCESSING, L"");
  CheckDlgButton(window, IDC_STATUS_AUTO_DISMISS, state_.autoDismiss ? BST_CHECKED : BST_UNCHECKED);
  SendDlgItemMessageW(window, IDC_STATUS_PROGRESS, PBM_SETSTEP, 1, 0);
  SendDlgItemMessageW(window, IDC_STATUS_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, state_.maximum.load()));
  SendDlgItemMessageW(window, IDC_STATUS_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(state_.processed.load()), 0);

  for (int i = 0; i < 4; ++i) bitmaps_[i] = LoadBitmapW(Module::Instance(), MAKEINTRESOURCEW(IDB_SWING_0 + i));
  for (int i = 0; i < 6; ++i) frames_[i] = bitmaps_[kFrameOrder[i] - IDB_SWING_0];
  // The picture loaded its own copy of the first frame from the template; it is ours to free.
  HGDIOBJ loaded = ShowPicture(window, frames_[0]);
  if (loaded != nullptr && loaded != frames_[0]) DeleteObject(loaded);
  next_ = 1;

  SetTimer(window, kAnimationTimer, kAnimationPeriod, nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
}

void StatusDialog::Command(HWND window, int control) {
  switch (control) {
    case IDC_STATUS_STOP:
      state_.proceed = false;
      DisableStop(window);
      break;
    case IDC_STATUS_DISMISS:
      PostQuitMessage(0);
      state_.dialog = nullptr;  // later calls show nothing
      state_.autoDismiss = true;
      break;
    case IDC_STATUS_AUTO_DISMISS: {
      const bool on = IsDlgButtonChecked(window, IDC_STATUS_AUTO_DISMISS) == BST_CHECKED;
      state_.autoDismiss = on;
      SetAutoDismissDefault(on);
      break;
    }
  }
}

void StatusDialog::DisableStop(HWND window) {
  EnableWindow(GetDlgItem(window, IDC_STATUS_STOP), FALSE);
  KillTimer(window, kAnimationTimer);
}

void StatusDialog::NextFrame(HWND window) {
  ShowPicture(window, frames_[next_]);
  next_ = next_ == 5 ? 0 : next_ + 1;
}

void StatusDialog::End(HWND window) {
  KillTimer(window, kAnimationTimer);
  ShowPicture(window, nullptr);
  for (HBITMAP& bitmap : bitmaps_) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    bitmap = nullptr;
  }
}

}  // namespace cairn
