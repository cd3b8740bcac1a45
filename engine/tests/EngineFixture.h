// Shared helpers of the engine's tests.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {
namespace testing {

// The engine, loaded and registered by the test program before any test runs.
extern HMODULE g_engine;

// Calls one of the engine's argument-free exports (DllRegisterServer, DllCanUnloadNow, ...).
HRESULT CallEngine(const char* exportName);

// A wide path from a UTF-8 one.
inline std::wstring Wide(const std::string& utf8) {
  std::wstring out(utf8.size(), L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0],
                              static_cast<int>(out.size()));
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

}  // namespace testing
}  // namespace cairn
