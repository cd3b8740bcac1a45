// CairnStatus: the progress window of a snapshot. The window runs on a user-interface thread of
// its own; the caller's thread reports into it and asks it whether the user pressed Stop.
#pragma once

#include <windows.h>

#include <string>

#include "ComObject.h"
#include "Dispatch.h"
#include "Handle.h"
#include "StatusDialog.h"
#include "cairn.h"

namespace cairn {

// The text the window shows for an object's name: a name of more than 25 characters is cut to
// "..." and its tail from the first backslash among its last 25 characters.
std::string ShortenedName(const std::string& name);

class CairnStatus final : public ComObject<CairnStatus, DualInterface<ICairnStatus>> {
 public:
  // Every method but Initialize updates the window only while it exists; the counts change
  // either way.
  // SetMax: the upper bound of the progress bar (which takes 16 bits of it).
  STDMETHODIMP SetMax(int max) override;
  // DisableStop: disables the Stop button and stops the animation.
  STDMETHODIMP DisableStop() override;
  // Destroy: ends the window's thread, which ends the window.
  STDMETHODIMP Destroy() override;
  // Dismiss: S_OK when the window is to go by itself at the end (auto-dismiss), S_FALSE when it
  // is to stay until the user dismisses it.
  STDMETHODIMP Dismiss() override;
  // GetCurrent: the count of objects processed.
  STDMETHODIMP GetCurrent(int* current) override;
  // Continue: S_OK until the user presses Stop, S_FALSE after.
  STDMETHODIMP Continue() override;
  // SetProcessing: shows the name of the object being examined (ShortenedName).
  STDMETHODIMP SetProcessing(BSTR file) override;
  // IncrementProgress: one more object processed; the bar steps while within its bound.
  STDMETHODIMP IncrementProgress() override;
  STDMETHODIMP IncrementChanged() override;
  // IncrementDeleted: one more object deleted; while the window is up it also moves the bar and
  // counts as processed.
  STDMETHODIMP IncrementDeleted() override;
  STDMETHODIMP IncrementAdded() override;
  // Initialize: the owner window (null for none) and the wanted auto-dismiss state; starts the
  // window's thread and waits a little for the window. E_FAIL when the thread cannot be
  // started, E_UNEXPECTED when it was started before.
  STDMETHODIMP Initialize(LONG* window, LONG autoDismiss) override;

 private:
  friend ComObject;
  CairnStatus();
  ~CairnStatus() = default;

  static DWORD WINAPI ThreadMain(void* self);
  // On the window's thread: the dialog and its message loop, until a quit message comes.
  void RunWindow();
  // Writes a control of the dialog, when there is one, with a synchronous message.
  void Show(int control, const std::wstring& text) const;
  void Show(int control, LONG count) const;
  // One step of the progress bar while count is within the maximum.
  void Step(LONG count) const;

  StatusState state_;
  HWND owner_ = nullptr;
  HMODULE module_ = nullptr;  // the engine, kept loaded by the window's thread
  Handle thread_;
  Handle created_;            // set once the window's thread has made the dialog or failed to
};

}  // namespace cairn
