#include "SettingsPage.h"

#include <objbase.h>

#include <cstdio>
#include <new>
#include <vector>

#include "AnsiText.h"
#include "ArchiveSettings.h"
#include "AutosnapJob.h"
#include "ComApartment.h"
#include "DialogBase.h"
#include "Module.h"
#include "SettingsResource.h"
#include "TimeText.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// The drop-down's entries, sorted: "Exclude" first.
constexpr int kShowExclude = 0;
constexpr int kShowInclude = 1;
constexpr int kMaxPattern = 260;

// The settings object: one per Settings page, from its making until the sheet lets the page go.
class SettingsPage final : public DialogBase {
 public:
  explicit SettingsPage(const std::string& archivePath) : archive_(archivePath, {}), job_(archivePath) {}
  SettingsPage(const SettingsPage&) = delete;
  SettingsPage& operator=(const SettingsPage&) = delete;

  const AutosnapJob& Job() const { return job_; }

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Open();
  void OnCommand(UINT id, UINT code);
  // Writes everything back; the answer to the sheet's notice.
  LRESULT Write();
  std::vector<std::string>& ShownList() {
    const bool include = SendDlgItemMessageA(Window(), IDC_SETTINGS_LIST_KIND, CB_GETCURSEL, 0, 0) == kShowInclude;
    return include ? settings_.include : settings_.exclude;
  }
  void FillPatterns();
  void Check(int id, bool on) { CheckDlgButton(Window(), id, on ? BST_CHECKED : BST_UNCHECKED); }
  bool Checked(int id) const { return IsDlgButtonChecked(Window(), id) == BST_CHECKED; }
  void Enable(int id, bool on) { EnableWindow(GetDlgItem(Window(), id), on); }
  void Changed() { PropSheet_Changed(GetParent(Window()), Window()); }
  // The setting a check box that changes nothing else stands for.
  bool* BoxSetting(UINT id) {
    switch (id) {
      case IDC_SETTINGS_MODIFIED_TIME: return &settings_.modifiedTime;
      case IDC_SETTINGS_MOVED_DATA: return &settings_.findMovedData;
      case IDC_SETTINGS_UTF8_NAMES: return &settings_.utf8Names;
      default: return &settings_.autoDismiss;
    }
  }

  ModuleLock lock_;  // the host's sheet runs this module's code until it lets the page go
  ArchiveOperations archive_;
  AutosnapJob job_;
  ArchiveSettings settings_;
};

INT_PTR SettingsPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Open();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY: {
      const UINT code = reinterpret_cast<NMHDR*>(lParam)->code;
      if (code != PSN_KILLACTIVE && code != PSN_APPLY) return FALSE;
      // Leaving the page (for the schedule page too) writes as applying does.
      return Answer(Write());
    }
    default:
      return FALSE;
  }
}

void SettingsPage::Open() {
  // COM for the reading, on the page's thread and for as long as it reads; the page holds no
  // interface between its messages.
  {
    const ComApartment com;
    settings_ = ReadArchiveSettings(archive_);
  }
  char text[400];
  std::snprintf(text, sizeof text, ShellString(IDS_SNAPSHOTS_CONTAINED).c_str(), settings_.snapshots);
  SetDlgItemTextA(Window(), IDC_SETTINGS_COUNT, text);
  const std::string last = settings_.hasLastSnapshot ? LongDateTime(settings_.lastSnapshot) : std::string(" - ");
  std::snprintf(text, sizeof text, ShellString(IDS_LAST_SNAPSHOT_CREATED).c_str(), last.c_str());
  SetDlgItemTextA(Window(), IDC_SETTINGS_LAST, text);

  Check(IDC_SETTINGS_COMPRESS, settings_.compress);
  Check(settings_.optimiseForSpace ? IDC_SETTINGS_SPACE : IDC_SETTINGS_SPEED, true);
  Enable(IDC_SETTINGS_SPEED, settings_.compress);
  Enable(IDC_SETTINGS_SPACE, settings_.compress);
  Check(IDC_SETTINGS_MODIFIED_TIME, settings_.modifiedTime);
  Check(IDC_SETTINGS_MOVED_DATA, settings_.findMovedData);
  Check(IDC_SETTINGS_UTF8_NAMES, settings_.utf8Names);
  // An archive never changes its names' encoding once it holds a snapshot.
  Enable(IDC_SETTINGS_UTF8_NAMES, settings_.optionsRead && settings_.snapshots == 0);
  Check(IDC_SETTINGS_SHOW_ACTIVITY, settings_.showActivity);
  Check(IDC_SETTINGS_AUTO_DISMISS, settings_.autoDismiss);
  Enable(IDC_SETTINGS_AUTO_DISMISS, settings_.showActivity);

  SetDlgItemTextA(Window(), IDC_SETTINGS_PATTERN, "");
  SendDlgItemMessageA(Window(), IDC_SETTINGS_PATTERN, EM_LIMITTEXT, kMaxPattern, 0);
  for (UINT id : {IDS_INCLUDE, IDS_EXCLUDE})
    SendDlgItemMessageA(Window(), IDC_SETTINGS_LIST_KIND, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(ShellString(id).c_str()));
  // The exclude list first; the include list when only it has patterns.
  const int shown = settings_.exclude.empty() && !settings_.include.empty() ? kShowInclude : kShowExclude;
  SendDlgItemMessageA(Window(), IDC_SETTINGS_LIST_KIND, CB_SETCURSEL, shown, 0);
  FillPatterns();
}

void SettingsPage::FillPatterns() {
  Enable(IDC_SETTINGS_REMOVE, false);
  SendDlgItemMessageA(Window(), IDC_SETTINGS_PATTERNS, LB_RESETCONTENT, 0, 0);
  for (const std::string& pattern : ShownList())
    SendDlgItemMessageA(Window(), IDC_SETTINGS_PATTERNS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pattern.c_str()));
}

void SettingsPage::OnCommand(UINT id, UINT code) {
  switch (id) {
    case IDC_SETTINGS_COMPRESS:
      settings_.compress = Checked(id);
      Enable(IDC_SETTINGS_SPEED, settings_.compress);
      Enable(IDC_SETTINGS_SPACE, settings_.compress);
      Changed();
      break;
    case IDC_SETTINGS_SPEED:
    case IDC_SETTINGS_SPACE:
      settings_.optimiseForSpace = Checked(IDC_SETTINGS_SPACE);
      Changed();
      break;
    case IDC_SETTINGS_SHOW_ACTIVITY:
      settings_.showActivity = Checked(id);
      Enable(IDC_SETTINGS_AUTO_DISMISS, settings_.showActivity);
      Changed();
      break;
    case IDC_SETTINGS_MODIFIED_TIME:
    case IDC_SETTINGS_MOVED_DATA:
    case IDC_SETTINGS_UTF8_NAMES:
    case IDC_SETTINGS_AUTO_DISMISS:
      *BoxSetting(id) = Checked(id);
      Changed();
      break;
    case IDC_SETTINGS_LIST_KIND:
      if (code == CBN_SELCHANGE) FillPatterns();
      break;
    case IDC_SETTINGS_PATTERNS:
      if (code == LBN_SELCHANGE)
        Enable(IDC_SETTINGS_REMOVE, SendDlgItemMessageA(Window(), id, LB_GETCURSEL, 0, 0) != LB_ERR);
      break;
    case IDC_SETTINGS_ADD: {
      char pattern[kMaxPattern + 1] = "";
      GetDlgItemTextA(Window(), IDC_SETTINGS_PATTERN, pattern, sizeof pattern);
      if (pattern[0] == 0) break;
      SetDlgItemTextA(Window(), IDC_SETTINGS_PATTERN, "");
      // No test for duplicates or for the pattern's form: the engine reads what it is given.
      ShownList().push_back(pattern);
      FillPatterns();
      Changed();
      break;
    }
    case IDC_SETTINGS_REMOVE: {
      const LRESULT row = SendDlgItemMessageA(Window(), IDC_SETTINGS_PATTERNS, LB_GETCURSEL, 0, 0);
      const LRESULT length =
          row == LB_ERR ? LB_ERR : SendDlgItemMessageA(Window(), IDC_SETTINGS_PATTERNS, LB_GETTEXTLEN, row, 0);
      if (length == LB_ERR) break;
      std::string text(static_cast<size_t>(length) + 1, '\0');
      SendDlgItemMessageA(Window(), IDC_SETTINGS_PATTERNS, LB_GETTEXT, row, reinterpret_cast<LPARAM>(&text[0]));
      text.resize(static_cast<size_t>(length));
      std::vector<std::string>& list = ShownList();
      for (auto at = list.begin(); at != list.end(); ++at) {
        if (*at != text) continue;
        list.erase(at);  // the first copy only
        FillPatterns();
        Changed();
        break;
      }
      break;
    }
    default:
      break;
  }
}

LRESULT SettingsPage::Write() {
  SettingsWritten written;
  {
    const ComApartment com;
    written = WriteArchiveSettings(archive_, settings_);
  }
  if (written == SettingsWritten::kWritten) {
    PropSheet_UnChanged(GetParent(Window()), Window());
    return PSNRET_NOERROR;
  }
  // The sheet stays open with the changes, and says why they were not saved.
  UINT why = IDS_SETTINGS_FAILED;
  switch (written) {
    case SettingsWritten::kBusy: why = IDS_SETTINGS_BUSY; break;
    case SettingsWritten::kDenied: why = IDS_SETTINGS_DENIED; break;
    case SettingsWritten::kGone: why = IDS_SETTINGS_GONE; break;
    default: break;
  }
  MessageBoxA(GetParent(Window()), ShellString(why).c_str(), ShellString(IDS_SETTINGS_NOT_SAVED).c_str(),
              MB_OK | MB_ICONEXCLAMATION);
  return PSNRET_INVALID;
}

}  // namespace

HRESULT CreateSettingsPages(const std::string& archivePath, SettingsPages* pages) {
  *pages = SettingsPages();
  const ComApartment com;  // for the scheduler, while the pages are made
  auto* settings = new (std::nothrow) SettingsPage(archivePath);
  if (settings == nullptr) return E_OUTOFMEMORY;
  PROPSHEETPAGEA page = {};
  page.dwSize = PROPSHEETPAGEA_V2_SIZE;
  // The object goes when the sheet lets its page go, shown or not.
  page.dwFlags = PSP_USECALLBACK;
  page.hInstance = Module::Instance();
  page.pszTemplate = MAKEINTRESOURCEA(IDD_SETTINGS);
  page.pfnDlgProc = &DialogBase::PageProc;
  page.lParam = settings->Parameter();
  page.pfnCallback = &DialogBase::DeleteWithPage;
  pages->settings = CreatePropertySheetPageA(&page);
  if (pages->settings == nullptr) {
    delete settings;
    return E_FAIL;
  }
  pages->schedule = settings->Job().SchedulePage();
  return S_OK;
}

HRESULT AddSettingsPages(const std::string& archivePath, LPFNADDPROPSHEETPAGE add, LPARAM parameter) {
  if (archivePath.empty() || add == nullptr) return E_FAIL;
  SettingsPages pages;
  const HRESULT hr = CreateSettingsPages(archivePath, &pages);
  if (FAILED(hr)) return hr;
  const bool accepted = add(pages.settings, parameter) != FALSE;
  if (!accepted) DestroyPropertySheetPage(pages.settings);
  if (pages.schedule != nullptr && !add(pages.schedule, parameter)) {
    DestroyPropertySheetPage(pages.schedule);
    return E_FAIL;
  }
  return accepted ? S_OK : E_FAIL;
}

}  // namespace shell
}  // namespace cairn
