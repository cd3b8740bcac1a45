#include "DateText.h"

#include "AnsiText.h"
#include "resource.h"

namespace cairn {
namespace shell {

std::string LongDateTime(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME parts;
  char date[128], clock[64];
  const std::string format = ShellString(IDS_DATE_FORMAT);
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts) ||
      GetDateFormatA(LOCALE_USER_DEFAULT, 0, &parts, format.empty() ? nullptr : format.c_str(), date, sizeof date) == 0 ||
      GetTimeFormatA(LOCALE_USER_DEFAULT, LOCALE_NOUSEROVERRIDE, &parts, nullptr, clock, sizeof clock) == 0)
    return std::string();
  return std::string(date) + " " + clock;
}

}  // namespace shell
}  // namespace cairn
