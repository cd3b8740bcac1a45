// The nsx12 module: its instance, its lock count, its strings, and the small COM plumbing of its
// classes (reference counting that holds the module, QueryInterface over a list of interfaces,
// the class table and its factory).
#pragma once

#include <windows.h>
#include <objidl.h>
#include <unknwn.h>

#include <new>
#include <string>
#include <type_traits>

namespace cairn {
namespace shell {

class ShellModule {
 public:
  static void Attach(HINSTANCE instance);
  static HINSTANCE Instance();
  // Full path of the module's file.
  static std::wstring Path();
  // Every live object and every factory lock holds one lock on the module.
  static void Lock();
  static void Unlock();
  static bool IsLocked();
  // A string of the string table, ANSI as the extension shows it; empty when it cannot be loaded.
  static std::string String(UINT id);
};

// A COM object answering IUnknown and the listed interfaces (the first one stands for
// IUnknown; IPersist is answered by the first listed interface derived from it). Objects are
// created with one reference and hold the module while they live.
template <class Derived, class First, class... Rest>
class ComClass : public First, public Rest... {
 public:
  ComClass() { ShellModule::Lock(); }
  ComClass(const ComClass&) = delete;
  ComClass& operator=(const ComClass&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == __uuidof(First))
      *object = static_cast<First*>(this);
    else
      (void)((iid == __uuidof(Rest) && (*object = static_cast<Rest*>(this), true)) || ...);
    if (*object == nullptr && iid == IID_IPersist) (void)(AnswerPersist<Rest>(object) || ...);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = static_cast<ULONG>(InterlockedDecrement(&refs_));
    if (n == 0) delete this;
    return n;
  }

  // For the class table: a new object, asked for iid.
  static HRESULT Create(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    Derived* created = new (std::nothrow) Derived();
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
  }

 protected:
  virtual ~ComClass() { ShellModule::Unlock(); }

 private:
  template <class I>
  bool AnswerPersist(void** object) {
    if constexpr (std::is_base_of<IPersist, I>::value) {
      *object = static_cast<IPersist*>(static_cast<I*>(this));
      return true;
    }
    return false;
  }

  LONG refs_ = 1;
};

// One class of the module's class table.
struct ShellClass {
  const CLSID* clsid;
  const wchar_t* name;  // ProgIDs are "Nsx12." + name (+ ".1")
  HRESULT (*create)(REFIID iid, void** object);
};

// The classes built so far, in the order of the registration scripts.
const ShellClass* ShellClasses(size_t* count);

// The class factory of a class of the table; CLASS_E_CLASSNOTAVAILABLE for any other class.
HRESULT GetShellClassObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace shell
}  // namespace cairn
