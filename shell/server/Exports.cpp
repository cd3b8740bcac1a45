// The server exports of nsx12 and its entry point.
#include <windows.h>
#include <objbase.h>

#include "Module.h"
#include "ShellRegistration.h"
#include "Server.h"
#include "ShellClasses.h"

using namespace cairn;
using namespace cairn::shell;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return ServerDllMain(instance, reason, reserved);
}

STDAPI DllCanUnloadNow() { return ServerCanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return ServerGetClassObject(ShellClasses(), clsid, iid, object);
}

STDAPI DllRegisterServer() { return RegisterShellServer(); }

// Removes what it can and answers S_OK whatever remained, as uninstallers expect of it.
STDAPI DllUnregisterServer() {
  UnregisterShellServer();
  return S_OK;
}

// For rundll32: registration from a thread that has not initialised COM.
extern "C" void CALLBACK DllRegister(HWND, HINSTANCE, LPSTR, int) { RunWithCom(&DllRegisterServer); }

extern "C" void CALLBACK DllUnregister(HWND, HINSTANCE, LPSTR, int) { RunWithCom(&DllUnregisterServer); }
