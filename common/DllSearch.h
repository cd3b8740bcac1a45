// Where a program may load DLLs from. The self-extracting launcher arrives as a mail attachment
// or in a downloads folder, beside whatever else lies there: no DLL may ever come from its own
// folder. Built as the launcher is built: without exceptions or the C++ run time.
#pragma once

#include <windows.h>

namespace cairn {

// Limits the DLL search of the process to the system directory. Call before anything else;
// everything the launcher imports directly is a known system DLL that never comes from its folder.
void RestrictDllSearch();

// A DLL of the system directory, loaded by its full path there; null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The address of a function of a system DLL as type F; null when either is missing.
template <class F>
F SystemFunction(const wchar_t* dll, const char* function) {
  HMODULE module = LoadSystemLibrary(dll);
  return module != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, function)))
                           : nullptr;
}

}  // namespace cairn
