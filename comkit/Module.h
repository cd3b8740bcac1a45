// The state of the module (DLL or program) that links this library: its instance, its lock
// count, and its embedded type library. Each module has its own.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace cairn {

class Module {
 public:
  // Called from DllMain.
  static void Attach(HINSTANCE instance);
  static void Detach(bool processExiting);

  static HINSTANCE Instance();
  // Full path of the module's file.
  static std::wstring Path();

  // Every live object and every factory lock holds one lock on the module. (Inline: a module that
  // links only the toolkit's headers counts its objects too.)
  static void Lock() { InterlockedIncrement(&locks_); }
  static void Unlock() { InterlockedDecrement(&locks_); }
  static bool IsLocked() { return InterlockedCompareExchange(&locks_, 0, 0) != 0; }

  // Type information for one of the module's interfaces or classes, from the type library
  // built into the module (loaded once, on first use).
  static HRESULT TypeInfo(REFGUID guid, ITypeInfo** info);
  static HRESULT TypeLib(ITypeLib** lib);

  // A string from the module's string table; empty when it cannot be loaded.
  static std::wstring String(UINT id);

 private:
  static inline LONG locks_ = 0;
};

// Holds a lock on the module for as long as it lives.
class ModuleLock {
 public:
  ModuleLock() { Module::Lock(); }
  ~ModuleLock() { Module::Unlock(); }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;
};

}  // namespace cairn
