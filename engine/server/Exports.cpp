// The engine's six exports and its entry point, and the registry entries it writes.
#include <windows.h>
#include <objbase.h>

#include "EngineClasses.h"
#include "Module.h"
#include "Server.h"
#include "cairn.h"
#ifdef CAIRN_TEST_HOOKS
#include "TestHooks.h"
#endif

using namespace cairn;

namespace {

constexpr RegistryRoot kRoot = RegistryRoot::kClassesRoot;

// Each class: its ProgIDs, and its class identifier key, replaced whole so that nothing of an
// older registration stays.
const RegistryRow kClassRows[] = {
    {kRoot, L"%PREFIX%%NAME%.1", KeyMode::kCreate, ValueKind::kString, nullptr, L"%DESCRIPTION%", 0},
    {kRoot, L"%PREFIX%%NAME%.1\\CLSID", KeyMode::kCreate, ValueKind::kString, nullptr, L"%CLSID%", 0},
    {kRoot, L"%PREFIX%%NAME%", KeyMode::kCreate, ValueKind::kString, nullptr, L"%DESCRIPTION%", 0},
    {kRoot, L"%PREFIX%%NAME%\\CLSID", KeyMode::kCreate, ValueKind::kString, nullptr, L"%CLSID%", 0},
    {kRoot, L"%PREFIX%%NAME%\\CurVer", KeyMode::kCreate, ValueKind::kString, nullptr, L"%PREFIX%%NAME%.1", 0},
    {kRoot, L"CLSID\\%CLSID%", KeyMode::kReplaceWhole, ValueKind::kString, nullptr, L"%CLSIDDESCRIPTION%", 0},
    {kRoot, L"CLSID\\%CLSID%\\ProgID", KeyMode::kCreate, ValueKind::kString, nullptr, L"%PREFIX%%NAME%.1", 0},
    {kRoot, L"CLSID\\%CLSID%\\VersionIndependentProgID", KeyMode::kCreate, ValueKind::kString, nullptr,
     L"%PREFIX%%NAME%", 0},
    {kRoot, L"CLSID\\%CLSID%\\Programmable", KeyMode::kCreate, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"CLSID\\%CLSID%\\InprocServer32", KeyMode::kCreate, ValueKind::kString, nullptr, L"%MODULE%", 0},
    {kRoot, L"CLSID\\%CLSID%\\InprocServer32", KeyMode::kCreate, ValueKind::kString, L"ThreadingModel",
     L"Apartment", 0},
    {kRoot, L"CLSID\\%CLSID%\\TypeLib", KeyMode::kCreate, ValueKind::kString, nullptr, L"%LIBID%", 0},
};

// The library's locale is 0x409, so it is registered under that locale only; some type-library
// marshallers look under the neutral locale alone, and cross-process calls then fail. Name the
// module there as well.
const RegistryRow kServerRows[] = {
    {kRoot, L"TypeLib\\%LIBID%\\%VERSION%\\0", KeyMode::kCreate, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"TypeLib\\%LIBID%\\%VERSION%\\0\\%PLATFORM%", KeyMode::kCreate, ValueKind::kString, nullptr,
     L"%MODULE%", 0},
};

const ServerDescription& Engine() {
  static const ServerDescription server = {
      EngineClasses(), LIBID_CAIRNLib, 1, 0, 0x409, L"Cairn.",
      {kClassRows, sizeof kClassRows / sizeof kClassRows[0]},
      {kServerRows, sizeof kServerRows / sizeof kServerRows[0]},
      {},
  };
  return server;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  const BOOL result = ServerDllMain(instance, reason, reserved);
#ifdef CAIRN_TEST_HOOKS
  if (reason == DLL_PROCESS_ATTACH) InstallTestHooks();
#endif
  return result;
}

STDAPI DllCanUnloadNow() { return ServerCanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return ServerGetClassObject(EngineClasses(), clsid, iid, object);
}

STDAPI DllRegisterServer() { return ServerRegister(Engine()); }

STDAPI DllUnregisterServer() { return ServerUnregister(Engine()); }

// For rundll32: registers the engine from a thread that has not initialised COM.
extern "C" void CALLBACK DllRegister(HWND, HINSTANCE, LPSTR, int) { RunWithCom(&DllRegisterServer); }

extern "C" void CALLBACK DllUnregister(HWND, HINSTANCE, LPSTR, int) { RunWithCom(&DllUnregisterServer); }
