#include "WizardSetting.h"

#include <string>

#include "RegKey.h"
#include "Registration.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace {

constexpr wchar_t kValue[] = L"RunWizard";

std::wstring OptionsPath() { return L"CLSID\\" + GuidText(CLSID_CairnFolder) + L"\\Options"; }

// What the RunWizard value under root\path says, or that there is none.
enum class Found { kMissing, kOn, kOff };

Found ReadValue(HKEY root, const std::wstring& path) {
  RegKey key;
  if (key.Open(root, path.c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS) return Found::kMissing;
  DWORD value = 0, size = sizeof value;
  const LSTATUS status = RegQueryValueExW(key.Get(), kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  if (status == ERROR_FILE_NOT_FOUND) return Found::kMissing;
  // A value of another length (or one too long to read) counts as set to "no".
  return status == ERROR_SUCCESS && size == sizeof value && value != 0 ? Found::kOn : Found::kOff;
}

}  // namespace

bool RunWizardSet() {
  const std::wstring options = OptionsPath();
  const Found user = ReadValue(HKEY_CURRENT_USER, L"Software\\Classes\\" + options);
  if (user != Found::kMissing) return user == Found::kOn;
  // Read only: opening the machine's key for all access fails for a user who is not an
  // administrator, who would then never see the wizard.
  return ReadValue(HKEY_CLASSES_ROOT, options) == Found::kOn;
}

HRESULT TurnWizardOff() {
  RegKey key;
  LSTATUS status = key.Create(HKEY_CURRENT_USER, (L"Software\\Classes\\" + OptionsPath()).c_str());
  const DWORD off = 0;
  if (status == ERROR_SUCCESS)
    status = RegSetValueExW(key.Get(), kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
  return HRESULT_FROM_WIN32(status);
}

bool WizardGate::ShouldRun() {
  if (started_ || !RunWizardSet()) return false;
  return !started_.exchange(true);
}

WizardGate& ProcessWizardGate() {
  static WizardGate gate;
  return gate;
}

}  // namespace shell
}  // namespace cairn
