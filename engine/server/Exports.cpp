// The engine's six exports and its entry point.
#include <windows.h>
#include <objbase.h>

#include "ClassFactory.h"
#include "ClassTable.h"
#include "Module.h"
#include "Registration.h"
#include "cairn.h"

using namespace cairn;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    Module::Attach(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    Module::Detach(reserved != nullptr);
  }
  return TRUE;
}

// S_OK when no engine object is alive and no class factory is locked.
STDAPI DllCanUnloadNow() { return Module::IsLocked() ? S_FALSE : S_OK; }

// The class factory of a class in the table; CLASS_E_CLASSNOTAVAILABLE for any other class.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const ClassEntry* entry = EngineClasses().Find(clsid);
  if (entry == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  ClassFactory* factory = new (std::nothrow) ClassFactory(*entry);
  if (factory == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(iid, object);
  factory->Release();
  return hr;
}

STDAPI DllRegisterServer() {
  return RegisterClasses(EngineClasses(), LIBID_CAIRNLib, Module::Path().c_str());
}

STDAPI DllUnregisterServer() { return UnregisterClasses(EngineClasses(), LIBID_CAIRNLib); }

// For rundll32: registers the engine from a thread that has not initialised COM.
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
