// An archive file's Settings page (dialog 605): how many snapshots the archive holds and when the
// last was made, its options and its include and exclude lists, written back when the page is
// left or applied. With it, where the Task Scheduler offers one, the schedule page of the
// archive's Autosnap job. Together they are the pages of an archive file's properties.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <string>

namespace cairn {
namespace shell {

struct SettingsPages {
  HPROPSHEETPAGE settings = nullptr;
  HPROPSHEETPAGE schedule = nullptr;  // null where the scheduler offers none
};

// The Settings page of the archive and the schedule page of its Autosnap job, made when missing.
// E_OUTOFMEMORY, or E_FAIL when the Settings page cannot be made; the schedule page may be missing.
HRESULT CreateSettingsPages(const std::string& archivePath, SettingsPages* pages);

// Offers the archive's pages to a sheet being built, through its add-page function: the Settings
// page, then the schedule page when there is one. A page the sheet refuses is destroyed. E_FAIL
// for an empty path, when the Settings page cannot be made or is refused, or when the schedule
// page is refused.
HRESULT AddSettingsPages(const std::string& archivePath, LPFNADDPROPSHEETPAGE add, LPARAM parameter);

}  // namespace shell
}  // namespace cairn
