// The base of every COM class of a server: reference counting that keeps the module loaded,
// QueryInterface answered from a table made of the class's interfaces, and creation for a
// class table.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <objidl.h>

#include <new>
#include <type_traits>
#include <utility>

#include "Module.h"

namespace cairn {

// Reference counting for an object that keeps the module loaded while it lives.
class RefCount {
 public:
  ULONG Increment() { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
  ULONG Decrement() { return static_cast<ULONG>(InterlockedDecrement(&count_)); }

 private:
  ModuleLock lock_;
  LONG count_ = 1;  // objects are created with one reference
};

namespace detail {

// The interface a base class implements: the class itself, or its Interface type when it is an
// implementation such as DualInterface<I>.
template <class Base, class = void>
struct InterfaceOf {
  using Type = Base;
};
template <class Base>
struct InterfaceOf<Base, std::void_t<typename Base::Interface>> {
  using Type = typename Base::Interface;
};

struct InterfaceEntry {
  const IID* iid;  // null: an entry that answers nothing
  void* (*cast)(void* object);
};

template <class Derived, class I>
void* CastTo(void* object) {
  return static_cast<I*>(static_cast<Derived*>(object));
}

// The entry that answers Base's identifier with the first of the interfaces derived from Base.
template <class Derived, class Base, class... Bases>
struct FirstDerived {
  static InterfaceEntry Entry() { return {nullptr, nullptr}; }
};
template <class Derived, class Base, class First, class... Rest>
struct FirstDerived<Derived, Base, First, Rest...> {
  static InterfaceEntry Entry() {
    using I = typename InterfaceOf<First>::Type;
    if constexpr (std::is_base_of<Base, I>::value && !std::is_same<Base, I>::value)
      return {&__uuidof(Base), &CastTo<Derived, I>};
    else
      return FirstDerived<Derived, Base, Rest...>::Entry();
  }
};

template <class First, class... Rest>
struct FirstOf {
  using Type = typename InterfaceOf<First>::Type;
};

}  // namespace detail

// ComObject<Derived, Interfaces...>: Derived implements every interface of the list (an
// implementation such as DualInterface<I> stands for I). QueryInterface answers IUnknown with the
// first interface, each interface's own identifier, and IDispatch, IPersist and
// ISequentialStream with the first interface derived from them. The object is created with one
// reference and deleted at its last Release through Derived::OnLastRelease, which a class may hide to
// do its own last steps.
template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  // A new object made with the arguments, asked for iid; with no arguments, the class table's
  // creation function.
  template <class... Args>
  static HRESULT Create(REFIID iid, void** object, Args&&... args) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    Derived* created = New(std::forward<Args>(args)...);
    if (created == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
  }

  // A new object made with the arguments, with one reference for the caller; null when out of
  // memory.
  template <class... Args>
  static Derived* New(Args&&... args) {
    return new (std::nothrow) Derived(std::forward<Args>(args)...);
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    // Made at each call: a static table would need a guard of the C++ run time.
    const detail::InterfaceEntry table[] = {
        {&IID_IUnknown, &detail::CastTo<Derived, typename detail::FirstOf<Interfaces...>::Type>},
        {&__uuidof(typename detail::InterfaceOf<Interfaces>::Type),
         &detail::CastTo<Derived, typename detail::InterfaceOf<Interfaces>::Type>}...,
        detail::FirstDerived<Derived, IDispatch, Interfaces...>::Entry(),
        detail::FirstDerived<Derived, IPersist, Interfaces...>::Entry(),
        detail::FirstDerived<Derived, ISequentialStream, Interfaces...>::Entry(),
    };
    for (const detail::InterfaceEntry& entry : table)
      if (entry.iid != nullptr && IsEqualIID(*entry.iid, iid)) {
        *object = entry.cast(static_cast<Derived*>(this));
        AddRef();
        return S_OK;
      }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = refs_.Decrement();
    if (n == 0) Derived::OnLastRelease(static_cast<Derived*>(this));
    return n;
  }

 protected:
  ComObject() = default;
  ~ComObject() = default;
  // Called at the last Release; a class with last steps declares its own.
  static void OnLastRelease(Derived* object) { delete object; }

 private:
  RefCount refs_;
};

}  // namespace cairn
