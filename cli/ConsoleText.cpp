#include "ConsoleText.h"

namespace cairn {
namespace cn {
namespace {

std::string Narrow(const wchar_t* text, UINT codePage) {
  int n = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

}  // namespace

std::string Utf8(const wchar_t* text) { return Narrow(text, CP_UTF8); }

std::wstring Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
  out.resize(out.size() - 1);
  return out;
}

std::string Console(const std::string& utf8) { return Console(Wide(utf8).c_str()); }

std::string Console(const wchar_t* text) { return Narrow(text ? text : L"", CP_ACP); }

std::string LocalDateTime(const FILETIME& time) {
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &parts)) return std::string();
  wchar_t date[128];
  wchar_t clock[128];
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &parts, nullptr, date, 128) == 0 ||
      GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, clock, 128) == 0)
    return std::string();
  return Console((std::wstring(date) + L" " + clock).c_str());
}

}  // namespace cn
}  // namespace cairn
