#include "StoredText.h"

#include "ArchiveHeap.h"

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

void Append(char32_t c, std::string* text) {
  if (c < 0x80) {
    *text += static_cast<char>(c);
  } else if (c < 0x800) {
    *text += static_cast<char>(0xC0 | c >> 6);
    *text += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *text += static_cast<char>(0xE0 | c >> 12);
    *text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *text += static_cast<char>(0xF0 | c >> 18);
    *text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    *text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The characters of UTF-8 text; overlong forms, surrogates and cut sequences are U+FFFD.
std::u32string DecodeUtf8(const std::string& text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;  // 0: no lead byte
    if (lead < 0x80)
      length = 1;
    else if (lead >= 0xC2 && lead < 0xE0)
      length = 2;
    else if (lead >= 0xE0 && lead < 0xF0)
      length = 3;
    else if (lead >= 0xF0 && lead < 0xF5)
      length = 4;
    char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    size_t n = 1;
    while (length > 1 && n < length && i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
      c = c << 6 | (static_cast<unsigned char>(text[i + n++]) & 0x3F);
    const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    const bool sound = length == 1 || (length > 1 && n == length && c >= least && c <= 0x10FFFF &&
                                       (c < 0xD800 || c > 0xDFFF));
    out += sound ? c : U'\uFFFD';
    i += n;
  }
  return out;
}

}  // namespace

StoredText StoredText::Of(const ArchiveHeap& heap) {
  return StoredText((heap.HeaderField(header::kOptions) & options::kUtf8Names) != 0);
}

std::string StoredText::Utf8(const std::string& stored) const {
  std::string text;
  text.reserve(stored.size());
  if (utf8_)
    for (char32_t c : DecodeUtf8(stored)) Append(c, &text);
  else
    for (unsigned char byte : stored) Append(CodePoint(byte), &text);
  return text;
}

std::wstring StoredText::Wide(const std::string& stored) const {
  std::wstring text;
  if (utf8_)
    for (char32_t c : DecodeUtf8(stored)) text += static_cast<wchar_t>(c);
  else
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
