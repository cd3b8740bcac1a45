// The progress window's dialog, on the window's own thread: its start, its buttons and its
// animation. The caller's thread reaches it only through StatusState and synchronous messages.
#pragma once

#include <windows.h>

#include <atomic>

#include "DialogBase.h"

namespace cairn {

// What the caller's thread and the window's thread share; each value is written by one thread
// and read by the other.
struct StatusState {
  std::atomic<bool> proceed{true};  // cleared by the Stop button
  std::atomic<bool> autoDismiss{false};
  std::atomic<LONG> processed{0};   // the progress bar's position
  std::atomic<LONG> maximum{0};     // the progress bar's upper bound
  std::atomic<LONG> changed{0};
  std::atomic<LONG> deleted{0};
  std::atomic<LONG> added{0};
  std::atomic<HWND> dialog{nullptr};  // the dialog once it exists; null again after Dismiss
};

// The process-wide auto-dismiss default: the user's last choice with the check box, or the last
// value given to Initialize.
bool AutoDismissDefault();
void SetAutoDismissDefault(bool on);

// Sent by the caller's thread: disable the Stop button and stop the animation.
constexpr UINT kDisableStopMessage = WM_APP + 1;

class StatusDialog final : public DialogBase {
 public:
  explicit StatusDialog(StatusState& state) : state_(state) {}

  // Makes the dialog, owned by owner, on the calling thread, which must then run a message loop
  // and destroy the window before this object goes; null when it cannot be created.
  HWND Create(HWND owner);

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Start(HWND window);
  void Command(HWND window, int control);
  void DisableStop(HWND window);
  void NextFrame(HWND window);
  void End(HWND window);

  StatusState& state_;
  HBITMAP bitmaps_[4] = {};  // resources 204 to 207
  HBITMAP frames_[6] = {};   // the order in which they are shown
  int next_ = 0;             // the frame shown at the next tick
};

}  // namespace cairn
