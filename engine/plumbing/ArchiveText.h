// The archive's name rules and the conversions between the wide strings of the interfaces and
// the byte strings of the archive and of the portable core's file paths (UTF-8). An archive
// stores its names (objects', snapshots' and comments') in the system code page, or in UTF-8
// when its options have kUtf8Names; NameCodec is the one place that knows which.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstdint>
#include <string>

namespace cairn {

class ArchiveHeap;

// Longest name the archive stores, in bytes: conversion buffers hold 260 with the terminator.
constexpr size_t kMaxNameLength = 259;

inline std::string Narrow(const wchar_t* text, UINT codePage) {
  if (text == nullptr || *text == 0) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

inline std::string ToUtf8(const wchar_t* text) { return Narrow(text, CP_UTF8); }

// The stored names of one archive and their wide forms.
class NameCodec {
 public:
  // The code page's names (an archive without kUtf8Names, and the filter lists of every archive).
  static NameCodec Ansi() { return NameCodec(false); }
  static NameCodec Utf8() { return NameCodec(true); }
  static NameCodec ForOptions(uint32_t options);
  // The codec of the archive's header options.
  static NameCodec Of(const ArchiveHeap& heap);

  bool IsUtf8() const { return utf8_; }
  // The stored form of text; characters it cannot hold are replaced (see Holds).
  std::string Store(const wchar_t* text) const;
  std::wstring Read(const std::string& stored) const;
  // A BSTR of a stored string; null when out of memory.
  BSTR ToBstr(const std::string& stored) const;
  // An interface string as the archive stores it, cut to the longest name it keeps (never inside
  // a character).
  std::string FromBstr(BSTR text) const;
  // Whether text survives the conversion: stored without a replacement character or a best-fit
  // look-alike (which would name another file). In UTF-8 every well-formed name does.
  bool Holds(const wchar_t* text) const;
  // Whether two stored texts are the same, letter case counting, by the system's comparison of
  // the characters they stand for.
  bool SameText(const std::string& a, const std::string& b) const;
  // Names compared as the file system does, letter case ignored: code-page names by the system's
  // rules, UTF-8 names character by character.
  bool SameName(const std::string& a, const std::string& b) const;
  // The sort key of name for SameName's comparison, or empty when the system cannot make one.
  std::string NameKey(const std::string& name) const;

 private:
  explicit NameCodec(bool utf8) : utf8_(utf8) {}
  bool utf8_;
};

// The string at offset, in the archive's names, as a BSTR into *out: an empty string for offset
// 0, E_FAIL when the string is damaged, E_OUTOFMEMORY when no BSTR can be made.
HRESULT StringToBstr(ArchiveHeap& heap, uint32_t offset, BSTR* out);

}  // namespace cairn
