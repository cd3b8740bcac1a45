#include "StoredText.h"

namespace cairn {
namespace crn {
namespace {

// Code page 1252 from 0x80 to 0x9F; 0 where it has no character (kept as the byte's value).
const char32_t kHigh[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
                            0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

char32_t CodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0) return kHigh[byte - 0x80];
  return byte;
}

}  // namespace

std::string ToUtf8(const std::string& stored) {
  std::string text;
  text.reserve(stored.size());
  for (unsigned char byte : stored) {
    const char32_t c = CodePoint(byte);
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xE0 | c >> 12);
      text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

std::wstring ToWide(const std::string& stored) {
  std::wstring text;
  for (unsigned char byte : stored) text += static_cast<wchar_t>(CodePoint(byte));
  return text;
}

bool ToTimespec(uint64_t fileTime, timespec* time) {
  constexpr uint64_t kTicks = 10000000u, kTo1970 = 11644473600ull * kTicks;
  if (fileTime < kTo1970) return false;
  const uint64_t since = fileTime - kTo1970;
  time->tv_sec = static_cast<time_t>(since / kTicks);
  time->tv_nsec = static_cast<long>(since % kTicks * 100);
  return true;
}

std::string FormatLocal(uint64_t fileTime) {
  timespec time{};
  std::tm local{};
  if (!ToTimespec(fileTime, &time) || localtime_r(&time.tv_sec, &local) == nullptr) return "-";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

}  // namespace crn
}  // namespace cairn
