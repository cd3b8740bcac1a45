#include "ShellModule.h"

namespace cairn {
namespace shell {
namespace {

HINSTANCE g_instance = nullptr;
LONG g_locks = 0;

class ClassFactory final : public ComClass<ClassFactory, IClassFactory> {
 public:
  void SetClass(const ShellClass& entry) { entry_ = &entry; }

  // CreateInstance: a new object of the class; CLASS_E_NOAGGREGATION with an outer object.
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return entry_->create(iid, object);
  }
  // LockServer: TRUE keeps the module loaded until a matching FALSE.
  STDMETHODIMP LockServer(BOOL lock) override {
    lock ? ShellModule::Lock() : ShellModule::Unlock();
    return S_OK;
  }

 private:
  const ShellClass* entry_ = nullptr;
};

}  // namespace

void ShellModule::Attach(HINSTANCE instance) { g_instance = instance; }
HINSTANCE ShellModule::Instance() { return g_instance; }

std::wstring ShellModule::Path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(g_instance, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void ShellModule::Lock() { InterlockedIncrement(&g_locks); }
void ShellModule::Unlock() { InterlockedDecrement(&g_locks); }
bool ShellModule::IsLocked() { return InterlockedCompareExchange(&g_locks, 0, 0) != 0; }

std::string ShellModule::String(UINT id) {
  char text[1024];
  const int n = LoadStringA(g_instance, id, text, sizeof text);
  return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

HRESULT GetShellClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  size_t count = 0;
  const ShellClass* classes = ShellClasses(&count);
  for (size_t i = 0; i < count; ++i) {
    if (!IsEqualCLSID(*classes[i].clsid, clsid)) continue;
    ClassFactory* factory = new (std::nothrow) ClassFactory();
    if (factory == nullptr) return E_OUTOFMEMORY;
    factory->SetClass(classes[i]);
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace shell
}  // namespace cairn
