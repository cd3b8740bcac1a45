#include "TimeText.h"

#include <windows.h>

#include "AnsiText.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

bool LocalTime(uint64_t stamp, SYSTEMTIME* parts) {
  FILETIME time{static_cast<DWORD>(stamp), static_cast<DWORD>(stamp >> 32)}, local;
  return stamp != 0 && FileTimeToLocalFileTime(&time, &local) && FileTimeToSystemTime(&local, parts);
}

}  // namespace

std::string DateTime(uint64_t stamp) {
  SYSTEMTIME parts;
  char date[64], clock[64];
  if (!LocalTime(stamp, &parts) || GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &parts, nullptr, date, 64) == 0 ||
      GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, clock, 64) == 0)
    return std::string();
  return std::string(date) + " " + clock;
}

std::string LongDateTime(uint64_t stamp) {
  SYSTEMTIME parts;
  char date[128], clock[64];
  const std::string format = ShellString(IDS_DATE_FORMAT);
  if (!LocalTime(stamp, &parts) ||
      GetDateFormatA(LOCALE_USER_DEFAULT, 0, &parts, format.c_str(), date, sizeof date) == 0 ||
      GetTimeFormatA(LOCALE_USER_DEFAULT, LOCALE_NOUSEROVERRIDE, &parts, nullptr, clock, sizeof clock) == 0)
    return std::string();
  return std::string(date) + " " + clock;
}

}  // namespace shell
}  // namespace cairn
