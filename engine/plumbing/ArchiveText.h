// The archive's name rules and the conversions between the wide strings of the interfaces and
// the byte strings of the archive (ANSI, system code page) and of the portable core's file paths
// (UTF-8).
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstdint>
#include <string>

namespace cairn {

class ArchiveHeap;

// Longest name the archive stores: conversion buffers hold 260 characters with the terminator.
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

inline std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

// A BSTR of an archive string (ANSI, precomposed characters); null when out of memory.
inline BSTR AnsiToBstr(const std::string& text) {
  int n = text.empty() ? 0 : MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (out != nullptr && n > 0)
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.data(), static_cast<int>(text.size()), out, n);
  return out;
}

// An interface string as the archive stores it: ANSI, cut to the longest name it keeps.
inline std::string BstrToArchive(BSTR text) {
  std::string out = Narrow(text, CP_ACP);
  if (out.size() > kMaxNameLength) out.resize(kMaxNameLength);
  return out;
}

// The string at offset as a BSTR into *out: an empty string for offset 0, E_FAIL when the
// string is damaged, E_OUTOFMEMORY when no BSTR can be made.
HRESULT StringToBstr(ArchiveHeap& heap, uint32_t offset, BSTR* out);

// Whether a name survives the archive's conversion to the system code page: converted without a
// replacement character or a best-fit look-alike (which would name another file).
inline bool FitsCodePage(const wchar_t* text) {
  if (text == nullptr || *text == 0) return true;
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lost);
  return n > 0 && !lost;
}

inline std::string ToUtf8(const wchar_t* text) { return Narrow(text, CP_UTF8); }
inline std::string ToAnsi(const wchar_t* text) { return Narrow(text, CP_ACP); }
inline std::wstring FromAnsi(const std::string& text) { return Widen(text, CP_ACP); }

}  // namespace cairn
