#include "Server.h"

#include <objbase.h>
#include <oleauto.h>

#include <string>

#include "ClassFactory.h"
#include "ComPtr.h"
#include "Module.h"
#include "RegKey.h"

namespace cairn {
namespace {

// The placeholders every row may use; a class's own are added for its rows.
Placeholders ServerPlaceholders(const ServerDescription& server, const std::wstring& modulePath) {
  Placeholders values = server.placeholders;
  values.Set(L"MODULE", modulePath);
  values.Set(L"PREFIX", server.progIdPrefix);
  values.Set(L"LIBID", GuidText(server.libraryId));
  values.Set(L"VERSION", std::to_wstring(server.libraryMajor) + L"." + std::to_wstring(server.libraryMinor));
  values.Set(L"PLATFORM", sizeof(void*) == 8 ? L"win64" : L"win32");
  return values;
}

void SetClass(Placeholders* values, const ClassEntry& entry) {
  values->Set(L"CLSID", GuidText(*entry.clsid));
  values->Set(L"NAME", entry.name);
  values->Set(L"DESCRIPTION", entry.description);
  values->Set(L"CLSIDDESCRIPTION", entry.clsidDescription);
}

HRESULT UnregisterTypeLibrary(const ServerDescription& server) {
  // A library that is not (or no longer) registered needs no unregistering.
  RegKey library;
  if (library.Open(HKEY_CLASSES_ROOT, (L"TypeLib\\" + GuidText(server.libraryId)).c_str(), KEY_READ) != ERROR_SUCCESS)
    return S_OK;
  return UnRegisterTypeLib(server.libraryId, server.libraryMajor, server.libraryMinor, server.libraryLocale,
                           sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}

}  // namespace

BOOL ServerDllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    Module::Attach(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    Module::Detach(reserved != nullptr);
  }
  return TRUE;
}

HRESULT ServerCanUnloadNow() { return Module::IsLocked() ? S_FALSE : S_OK; }

HRESULT ServerGetClassObject(const ClassTable& classes, REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const ClassEntry* entry = classes.Find(clsid);
  if (entry == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  ClassFactory* factory = ClassFactory::New(*entry);
  if (factory == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(iid, object);
  factory->Release();
  return hr;
}

HRESULT ServerRegister(const ServerDescription& server) {
  const std::wstring modulePath = Module::Path();
  if (modulePath.empty()) return E_FAIL;
  Placeholders values = ServerPlaceholders(server, modulePath);
  RegistryJournal written;
  HRESULT hr = S_OK;
  for (size_t i = 0; i < server.classes.count && SUCCEEDED(hr); ++i) {
    SetClass(&values, server.classes.entries[i]);
    hr = WriteRegistryRows(server.classRows, values, &written);
  }
  bool libraryRegistered = false;
  if (SUCCEEDED(hr)) {
    ComPtr<ITypeLib> typeLib;
    hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, typeLib.Out());
    if (SUCCEEDED(hr)) hr = RegisterTypeLib(typeLib.Get(), const_cast<LPOLESTR>(modulePath.c_str()), nullptr);
    libraryRegistered = SUCCEEDED(hr);
  }
  if (SUCCEEDED(hr)) hr = WriteRegistryRows(server.serverRows, values, &written);
  if (FAILED(hr)) {
    if (libraryRegistered) UnregisterTypeLibrary(server);
    written.Undo();
  }
  return hr;
}

HRESULT ServerUnregister(const ServerDescription& server) {
  Placeholders values = ServerPlaceholders(server, Module::Path());
  HRESULT result = RemoveRegistryRows(server.serverRows, values);
  for (size_t i = server.classes.count; i-- > 0;) {
    SetClass(&values, server.classes.entries[i]);
    const HRESULT hr = RemoveRegistryRows(server.classRows, values);
    if (SUCCEEDED(result)) result = hr;
  }
  const HRESULT hr = UnregisterTypeLibrary(server);
  return SUCCEEDED(result) ? hr : result;
}

void RunWithCom(HRESULT(STDAPICALLTYPE* step)()) {
  if (SUCCEEDED(CoInitialize(nullptr))) {
    step();
    CoUninitialize();
  }
}

}  // namespace cairn
