#include "Module.h"

#include <oleauto.h>

#include "ComPtr.h"

namespace cairn {
namespace {

HINSTANCE g_instance = nullptr;
// The module's type library, loaded on first use and kept until the module is unloaded.
ITypeLib* g_typeLib = nullptr;

}  // namespace

void Module::Attach(HINSTANCE instance) { g_instance = instance; }

void Module::Detach(bool processExiting) {
  // At process exit other libraries may already be gone: leave the type library alone then.
  if (!processExiting && g_typeLib != nullptr) g_typeLib->Release();
  g_typeLib = nullptr;
}

HINSTANCE Module::Instance() { return g_instance; }

std::wstring Module::Path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_instance, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HRESULT Module::TypeLib(ITypeLib** lib) {
  if (lib == nullptr) return E_POINTER;
  *lib = nullptr;
  if (g_typeLib == nullptr) {
    ITypeLib* loaded = nullptr;
    HRESULT hr = LoadTypeLibEx(Path().c_str(), REGKIND_NONE, &loaded);
    if (FAILED(hr)) return hr;
    // Apartment objects may be created on several threads; keep the first library loaded.
    if (InterlockedCompareExchangePointer(reinterpret_cast<void**>(&g_typeLib), loaded, nullptr) != nullptr)
      loaded->Release();
  }
  g_typeLib->AddRef();
  *lib = g_typeLib;
  return S_OK;
}

HRESULT Module::TypeInfo(REFGUID guid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ComPtr<ITypeLib> lib;
  HRESULT hr = TypeLib(lib.Out());
  return FAILED(hr) ? hr : lib->GetTypeInfoOfGuid(guid, info);
}

std::wstring Module::String(UINT id) {
  const wchar_t* text = nullptr;
  // With a zero length, LoadString returns a read-only pointer to the resource itself.
  int n = LoadStringW(g_instance, id, reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 && text != nullptr ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

}  // namespace cairn
