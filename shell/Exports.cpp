// The server exports of nsx12 and its entry point.
#include <windows.h>
#include <objbase.h>

#include "Registration.h"
#include "ShellModule.h"

using namespace cairn::shell;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ShellModule::Attach(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

// S_OK when no object of the module is alive and no class factory is locked.
STDAPI DllCanUnloadNow() { return ShellModule::IsLocked() ? S_FALSE : S_OK; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) { return GetShellClassObject(clsid, iid, object); }

STDAPI DllRegisterServer() { return RegisterShellServer(ShellModule::Path().c_str()); }

// Always S_OK: whatever of ours is found is removed.
STDAPI DllUnregisterServer() { return UnregisterShellServer(); }

// For rundll32: registration from a thread that has not initialised COM.
extern "C" void CALLBACK DllRegister(HWND, HINSTANCE, LPSTR, int) {
  if (SUCCEEDED(CoInitialize(nullptr))) {
    DllRegisterServer();
    CoUninitialize();
  }
}

extern "C" void CALLBACK DllUnregister(HWND, HINSTANCE, LPSTR, int) {
  if (SUCCEEDED(CoInitialize(nullptr))) {
    DllUnregisterServer();
    CoUninitialize();
  }
}
