// The standard exports of an in-process server, as functions of its description: the class
// table, the type library and the registration rows. A server's own exports call these.
#pragma once

#include <windows.h>

#include "ClassTable.h"
#include "Registration.h"

namespace cairn {

struct ServerDescription {
  const ClassTable& classes;
  const GUID& libraryId;     // %LIBID%
  WORD libraryMajor;         // %VERSION% is "major.minor"
  WORD libraryMinor;
  LCID libraryLocale;        // the locale the type library registers under
  const wchar_t* progIdPrefix;  // %PREFIX%, e.g. "Cairn."
  RegistryRows classRows;    // written once per class, with its %CLSID%, %NAME% and descriptions
  RegistryRows serverRows;   // written once, after the type library is registered
  Placeholders placeholders;  // the server's own further values for its rows
};

// DllMain: the module's state on process attach and detach; no thread notifications.
BOOL ServerDllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// DllCanUnloadNow: S_OK when no object of the module is alive and no class factory is locked.
HRESULT ServerCanUnloadNow();

// DllGetClassObject: the class factory of a class in the table; CLASS_E_CLASSNOTAVAILABLE for
// any other class.
HRESULT ServerGetClassObject(const ClassTable& classes, REFCLSID clsid, REFIID iid, void** object);

// DllRegisterServer: the class rows of every class, the type library (from the module's file),
// then the server rows. When a step fails, what was written is undone and the failure returned.
HRESULT ServerRegister(const ServerDescription& server);

// DllUnregisterServer: removes the rows (the server's first, then each class's, the last class
// first) and unregisters the type library when it is registered.
HRESULT ServerUnregister(const ServerDescription& server);

// For rundll32 entry points: runs step on a thread that has not initialised COM.
void RunWithCom(HRESULT(STDAPICALLTYPE* step)());

}  // namespace cairn
