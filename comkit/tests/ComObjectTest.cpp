// ComObject's interface table, reference counting and module lock, and ClassFactory on top.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>

#include "ClassFactory.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "HResultAssert.h"
#include "Module.h"

namespace cairn {
namespace {

int g_destroyed = 0;

class Thing final : public ComObject<Thing, IPersistFile, IClassFactory> {
 public:
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP LockServer(BOOL) override { return E_NOTIMPL; }

 private:
  friend ComObject;
  Thing() = default;
  ~Thing() { ++g_destroyed; }
};

TEST(ComObjectTest, AnswersItsInterfacesTheirBasesAndOneIdentity) {
  ComPtr<IPersistFile> file;
  ASSERT_HR(S_OK, Thing::Create(IID_IPersistFile, file.OutVoid()));
  EXPECT_TRUE(Module::IsLocked()) << "a live object holds the module";

  ComPtr<IUnknown> identity, again;
  ComPtr<IPersist> persist;
  ComPtr<IClassFactory> factory;
  ASSERT_HR(S_OK, file.As(&identity));
  ASSERT_HR(S_OK, file.As(&persist));
  ASSERT_HR(S_OK, file.As(&factory));
  ASSERT_HR(S_OK, factory.As(&again));
  EXPECT_EQ(identity.Get(), again.Get()) << "IUnknown is the same from every interface";
  EXPECT_EQ(static_cast<IPersist*>(file.Get()), persist.Get());

  void* out = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_HR(E_NOINTERFACE, file->QueryInterface(IID_IStream, &out));
  EXPECT_EQ(out, nullptr);
  EXPECT_HR(E_POINTER, file->QueryInterface(IID_IUnknown, nullptr));
}

TEST(ComObjectTest, TheLastReleaseDeletesTheObjectAndFreesTheModule) {
  g_destroyed = 0;
  IPersistFile* file = nullptr;
  ASSERT_HR(S_OK, Thing::Create(IID_IPersistFile, reinterpret_cast<void**>(&file)));
  EXPECT_EQ(file->AddRef(), 2u);
  EXPECT_EQ(file->Release(), 1u);
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(file->Release(), 0u);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_FALSE(Module::IsLocked());

  void* out = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_HR(E_NOINTERFACE, Thing::Create(IID_IStream, &out));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(g_destroyed, 2) << "an object nobody asked for is not kept";
  EXPECT_FALSE(Module::IsLocked());
}

// An object whose constructor takes what it needs.
class Named final : public ComObject<Named, IPersist> {
 public:
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = clsid_;
    return S_OK;
  }

 private:
  friend ComObject;
  Named(const CLSID& clsid, int* destroyed) : clsid_(clsid), destroyed_(destroyed) {}
  ~Named() { ++*destroyed_; }
  CLSID clsid_;
  int* destroyed_;
};

TEST(ComObjectTest, ObjectsAreMadeWithTheirConstructorsArguments) {
  const CLSID clsid = {0x6f0d3c41, 0x8b2e, 0x4a57, {0x91, 0x0c, 0x5e, 0x2a, 0x77, 0x3d, 0x60, 0x18}};
  int destroyed = 0;
  ComPtr<IPersist> asked;
  ASSERT_HR(S_OK, Named::Create(IID_IPersist, asked.OutVoid(), clsid, &destroyed));
  CLSID got = {};
  EXPECT_HR(S_OK, asked->GetClassID(&got));
  EXPECT_TRUE(IsEqualCLSID(clsid, got));
  asked.Reset();
  EXPECT_EQ(destroyed, 1);

  ComPtr<Named> made = ComPtr<Named>::Adopt(Named::New(clsid, &destroyed));
  ASSERT_TRUE(made);
  EXPECT_EQ(made->AddRef(), 2u) << "New gives one reference to the caller";
  made->Release();
  made.Reset();
  EXPECT_EQ(destroyed, 2);
  EXPECT_FALSE(Module::IsLocked());
}

TEST(ComObjectTest, AFactoryCreatesItsClassAndLocksTheModule) {
  const CLSID clsid = {0x1c5a8e07, 0x2f3b, 0x4d8e, {0x9a, 0x61, 0x3b, 0x7c, 0x0e, 0x44, 0x19, 0xd2}};
  const ClassEntry entry = {&clsid, L"Thing", L"Thing", L"Thing", &Thing::Create};
  ComPtr<IClassFactory> factory = ComPtr<IClassFactory>::Adopt(ClassFactory::New(entry));
  ASSERT_TRUE(factory);
  ComPtr<IPersist> made;
  EXPECT_HR(S_OK, factory->CreateInstance(nullptr, IID_IPersist, made.OutVoid()));
  EXPECT_TRUE(made);
  made.Reset();
  void* out = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_HR(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory.Get(), IID_IUnknown, &out));
  EXPECT_EQ(out, nullptr);

  EXPECT_HR(S_OK, factory->LockServer(TRUE));
  factory.Reset();
  EXPECT_TRUE(Module::IsLocked()) << "a lock outlives the factory";
  Module::Unlock();
  EXPECT_FALSE(Module::IsLocked());
}

}  // namespace
}  // namespace cairn
