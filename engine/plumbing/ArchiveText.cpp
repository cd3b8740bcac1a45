#include "ArchiveText.h"

#include <algorithm>

#include "ArchiveRecords.h"

namespace cairn {
namespace {

std::wstring Widen(const std::string& text, UINT codePage, DWORD flags) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  int n = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), length, &out[0], n);
  return out;
}

// The longest start of a UTF-8 text of at most limit bytes that ends between characters.
size_t Utf8Cut(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

}  // namespace

NameCodec NameCodec::ForOptions(uint32_t options) { return NameCodec((options & options::kUtf8Names) != 0); }

NameCodec NameCodec::Of(const ArchiveHeap& heap) { return ForOptions(heap.HeaderField(header::kOptions)); }

std::string NameCodec::Store(const wchar_t* text) const { return Narrow(text, utf8_ ? CP_UTF8 : CP_ACP); }

// Code-page names are read as precomposed characters; UTF-8 takes no such flag.
std::wstring NameCodec::Read(const std::string& stored) const {
  return utf8_ ? Widen(stored, CP_UTF8, 0) : Widen(stored, CP_ACP, MB_PRECOMPOSED);
}

BSTR NameCodec::ToBstr(const std::string& stored) const {
  const std::wstring text = Read(stored);
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::string NameCodec::FromBstr(BSTR text) const {
  std::string out = Store(text);
  out.resize(utf8_ ? Utf8Cut(out, kMaxNameLength) : std::min(out.size(), kMaxNameLength));
  return out;
}

bool NameCodec::Holds(const wchar_t* text) const {
  if (text == nullptr || *text == 0) return true;
  if (utf8_) return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr) > 0;
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lost);
  return n > 0 && !lost;
}

bool NameCodec::SameText(const std::string& a, const std::string& b) const {
  if (!utf8_) return lstrcmpA(a.c_str(), b.c_str()) == 0;
  return lstrcmpW(Read(a).c_str(), Read(b).c_str()) == 0;
}

bool NameCodec::SameName(const std::string& a, const std::string& b) const {
  if (utf8_) return NameKey(a) == NameKey(b);
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

// UTF-8 names are compared as the file system compares them: character by character with letter
// case folded, so that names a locale's sort weighs alike (a hyphen, an unsorted symbol) stay
// apart. The key is the folded characters' bytes with the terminator, so an empty name has one.
std::string NameCodec::NameKey(const std::string& name) const {
  if (utf8_) {
    const std::wstring text = Read(name);
    std::wstring folded(text.size(), L'\0');
    const int length = static_cast<int>(text.size());
    if (length > 0 &&
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), length, &folded[0], length) != length)
      return std::string();
    return std::string(reinterpret_cast<const char*>(folded.c_str()), (folded.size() + 1) * sizeof(wchar_t));
  }
  constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  const int length = static_cast<int>(name.size());
  // Most names' keys fit this; a longer one is measured first.
  char buffer[512];
  int size = LCMapStringA(LOCALE_SYSTEM_DEFAULT, kFlags, name.data(), length, buffer, sizeof buffer);
  if (size > 0) return std::string(buffer, static_cast<size_t>(size));
  size = LCMapStringA(LOCALE_SYSTEM_DEFAULT, kFlags, name.data(), length, nullptr, 0);
  if (size <= 0) return std::string();
  std::string key(static_cast<size_t>(size), '\0');
  if (LCMapStringA(LOCALE_SYSTEM_DEFAULT, kFlags, name.data(), length, &key[0], size) != size) return std::string();
  return key;
}

HRESULT StringToBstr(ArchiveHeap& heap, uint32_t offset, BSTR* out) {
  *out = nullptr;
  std::string text;
  if (offset != 0 && FAILED(ReadString(heap, offset, &text))) return E_FAIL;
  *out = NameCodec::Of(heap).ToBstr(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace cairn
