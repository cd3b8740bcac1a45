// Whether the welcome wizard is shown: the RunWizard setting of the archive folder's class, and
// the process-wide gate that lets it start at most once in a process.
//
// Registration writes RunWizard = 1 for the machine (HKCR\CLSID\{CairnFolder}\Options). A user's
// own choice is kept under that user's classes (HKCU\Software\Classes\CLSID\{CairnFolder}\Options),
// which a user who is not an administrator can write and which the system's merged view of the
// classes puts over the machine's: the user's value, where there is one, decides.
#pragma once

#include <windows.h>

#include <atomic>

namespace cairn {
namespace shell {

// The RunWizard value that decides: the user's where it exists, else the machine's. False when it
// is missing, not 4 bytes long, or 0.
bool RunWizardSet();

// Records the user's choice not to see the wizard again: RunWizard = 0 (REG_DWORD) under the
// user's classes.
HRESULT TurnWizardOff();

// At most one wizard per gate: the process has one (ProcessWizardGate), a test may make others.
class WizardGate {
 public:
  // True once, the first time it is asked while RunWizardSet holds; false ever after, and
  // false while the setting says no.
  bool ShouldRun();

 private:
  std::atomic<bool> started_{false};
};

WizardGate& ProcessWizardGate();

}  // namespace shell
}  // namespace cairn
