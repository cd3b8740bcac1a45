// The engine as a registered server: the registry entries it writes and removes, its class
// factories, its unload test and IDispatch through the type library.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <map>
#include <string>

#include "ComPtr.h"
#include "EngineFixture.h"
#include "cairn.h"

namespace cairn {
namespace {

using testing::CallEngine;

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// Every value and subkey below HKCR\path as "subkey|value=data" lines; "" when the key is missing.
std::wstring Dump(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
  std::wstring out = L"[" + path + L"]\n";
  wchar_t name[256], data[1024];
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 256, dataSize = sizeof data, type = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) !=
        ERROR_SUCCESS)
      break;
    out += std::wstring(name) + L"=" + (type == REG_SZ ? std::wstring(data) : L"<not a string>") + L"\n";
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.push_back(name);
  }
  RegCloseKey(key);
  for (const std::wstring& sub : subkeys) out += Dump(path + L"\\" + sub);
  return out;
}

std::wstring EnginePath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(testing::g_engine, path, MAX_PATH);
  return path;
}

struct ClassExpectation {
  const CLSID* clsid;
  const wchar_t* name;
  const wchar_t* description;
  const wchar_t* clsidDescription;
};

// The classes built so far; each joins when it is built.
const ClassExpectation kClasses[] = {
    {&CLSID_CairnArchive, L"CairnArchive", L"CairnArchive Class", L"CairnArchive Class"},
    {&CLSID_EnumSnapShots, L"EnumSnapShots", L"EnumSnapShots Class", L"EnumSnapShots Class"},
    {&CLSID_CairnSnapShot, L"CairnSnapShot", L"CairnSnapShot Class", L"CairnSnapShot Class"},
    {&CLSID_CairnObject, L"CairnObject", L"CairnObject Class", L"CairnObject Class"},
    {&CLSID_EnumCairnObjects, L"EnumCairnObjects", L"EnumCairnObjects Class", L"EnumObjects Class"},
    {&CLSID_Stream, L"Stream", L"Stream Class", L"Stream Class"},
    {&CLSID_Storage, L"Storage", L"Storage Class", L"Storage Class"},
    {&CLSID_CairnRevision, L"CairnRevision", L"CairnRevision Class", L"CairnRevision Class"},
    {&CLSID_EnumCairnRevisions, L"EnumCairnRevisions", L"EnumCairnRevisions Class", L"EnumCairnRevisions Class"},
    {&CLSID_CairnStatus, L"CairnStatus", L"CairnStatus Class", L"CairnStatus Class"},
};

// What the registry must hold for one class, key by key, in Dump's form.
std::wstring Expected(const ClassExpectation& c) {
  const std::wstring clsid = GuidText(*c.clsid), progId = std::wstring(L"Cairn.") + c.name;
  return L"[" + progId + L".1]\n=" + c.description + L"\n[" + progId + L".1\\CLSID]\n=" + clsid + L"\n" +
         L"[" + progId + L"]\n=" + c.description + L"\n[" + progId + L"\\CLSID]\n=" + clsid + L"\n[" + progId +
         L"\\CurVer]\n=" + progId + L".1\n" +
         L"[CLSID\\" + clsid + L"]\n=" + c.clsidDescription + L"\n" +
         L"[CLSID\\" + clsid + L"\\InprocServer32]\n=" + EnginePath() + L"\nThreadingModel=Apartment\n" +
         L"[CLSID\\" + clsid + L"\\ProgID]\n=" + progId + L".1\n" +
         L"[CLSID\\" + clsid + L"\\Programmable]\n" +
         L"[CLSID\\" + clsid + L"\\TypeLib]\n=" + GuidText(LIBID_CAIRNLib) + L"\n" +
         L"[CLSID\\" + clsid + L"\\VersionIndependentProgID]\n=" + progId + L"\n";
}

std::wstring Actual(const ClassExpectation& c) {
  const std::wstring progId = std::wstring(L"Cairn.") + c.name;
  return Dump(progId + L".1") + Dump(progId) + Dump(L"CLSID\\" + GuidText(*c.clsid));
}

TEST(RegistrationTest, WritesExactlyTheClassEntries) {
  for (const ClassExpectation& c : kClasses) EXPECT_EQ(Actual(c), Expected(c)) << "class " << c.name;
  EXPECT_NE(Dump(L"TypeLib\\" + GuidText(LIBID_CAIRNLib) + L"\\1.0"), L"") << "type library registered";
}

TEST(RegistrationTest, RegisteringAgainReplacesTheClassKeyWhole) {
  const std::wstring clsidKey = L"CLSID\\" + GuidText(CLSID_CairnArchive);
  HKEY stray;
  ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, (clsidKey + L"\\Programmable\\Stray").c_str(), &stray), ERROR_SUCCESS);
  RegCloseKey(stray);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, clsidKey.c_str(), L"Stray", REG_SZ, L"x", 4), ERROR_SUCCESS);

  ASSERT_EQ(CallEngine("DllRegisterServer"), S_OK);
  ASSERT_EQ(CallEngine("DllRegisterServer"), S_OK);
  for (const ClassExpectation& c : kClasses) EXPECT_EQ(Actual(c), Expected(c)) << "class " << c.name;
}

TEST(RegistrationTest, UnregisterRemovesTheEntriesAndCreationFails) {
  ASSERT_EQ(CallEngine("DllUnregisterServer"), S_OK);
  for (const ClassExpectation& c : kClasses) EXPECT_EQ(Actual(c), L"") << "class " << c.name;
  EXPECT_NE(Dump(L"CLSID"), L"") << "the CLSID key itself stays";
  CLSID clsid;
  EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Cairn.CairnArchive", &clsid)));
  ComPtr<IUnknown> object;
  HRESULT hr = CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.OutVoid());
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG) << std::hex << hr;
  EXPECT_EQ(CallEngine("DllUnregisterServer"), S_OK) << "unregistering twice is harmless";

  // The rundll32 entry point registers again.
  auto entry = reinterpret_cast<void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int)>(
      reinterpret_cast<void*>(GetProcAddress(testing::g_engine, "DllRegister")));
  ASSERT_NE(entry, nullptr);
  entry(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
  ASSERT_EQ(CLSIDFromProgID(L"Cairn.CairnArchive.1", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_CairnArchive));
}

TEST(RegistrationTest, ExportsSitAtTheirOrdinals) {
  const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                         "DllUnregisterServer", "DllRegister", "DllUnregister"};
  for (int ordinal = 1; ordinal <= 6; ++ordinal)
    EXPECT_EQ(GetProcAddress(testing::g_engine, MAKEINTRESOURCEA(ordinal)),
              GetProcAddress(testing::g_engine, names[ordinal - 1]))
        << names[ordinal - 1];
}

TEST(ServerTest, ForeignClassIsNotAvailable) {
  auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(testing::g_engine, "DllGetClassObject")));
  ASSERT_NE(getClassObject, nullptr);
  const CLSID foreign = {0x1c5a8e07, 0x2f3b, 0x4d8e, {0x9a, 0x61, 0x3b, 0x7c, 0x0e, 0x44, 0x19, 0xd2}};
  void* object = reinterpret_cast<void*>(0xdeadbeef);
  HRESULT hr = getClassObject(foreign, IID_IClassFactory, &object);
  EXPECT_EQ(hr, CLASS_E_CLASSNOTAVAILABLE) << std::hex << hr;
  EXPECT_EQ(object, nullptr);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_CairnArchive, IID_IClassFactory, factory.OutVoid()), S_OK);
  ComPtr<IUnknown> outer;
  ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, outer.OutVoid()), S_OK);
  object = reinterpret_cast<void*>(0xdeadbeef);
  hr = factory->CreateInstance(outer.Get(), IID_IUnknown, &object);
  EXPECT_EQ(hr, CLASS_E_NOAGGREGATION) << std::hex << hr;
  EXPECT_EQ(object, nullptr);
}

TEST(ServerTest, CanUnloadNowFollowsLiveObjectsAndLocks) {
  ASSERT_EQ(CallEngine("DllCanUnloadNow"), S_OK) << "no object is alive between tests";
  ComPtr<ICairnArchive> archive;
  ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnArchive,
                             archive.OutVoid()),
            S_OK);
  EXPECT_EQ(CallEngine("DllCanUnloadNow"), S_FALSE);
  archive.Reset();
  EXPECT_EQ(CallEngine("DllCanUnloadNow"), S_OK);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_CairnArchive, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             factory.OutVoid()),
            S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(CallEngine("DllCanUnloadNow"), S_FALSE) << "a factory lock keeps the engine";
  ASSERT_EQ(CoGetClassObject(CLSID_CairnArchive, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             factory.OutVoid()),
            S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(CallEngine("DllCanUnloadNow"), S_OK);
}

TEST(ServerTest, DispatchReachesTheSameMethodsAsTheVtable) {
  ComPtr<ICairnArchiveAdmin> admin;
  ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnArchiveAdmin,
                             admin.OutVoid()),
            S_OK);
  // Before Load there is no archive: the call must reach the method to get its answer.
  DISPID ids[2] = {-1, -1};
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetOptions"), const_cast<LPOLESTR>(L"SetOptions")};
  ASSERT_EQ(admin->GetIDsOfNames(IID_NULL, &names[0], 1, 0x409, &ids[0]), S_OK);
  ASSERT_EQ(admin->GetIDsOfNames(IID_NULL, &names[1], 1, 0x409, &ids[1]), S_OK);
  EXPECT_EQ(ids[0], 8);
  EXPECT_EQ(ids[1], 7);
  LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMethod");
  DISPID id = 0;
  EXPECT_EQ(admin->GetIDsOfNames(IID_NULL, &unknown, 1, 0x409, &id), DISP_E_UNKNOWNNAME);

  UINT count = 0;
  EXPECT_EQ(admin->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(admin->GetTypeInfo(0, 0x409, info.Out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, IID_ICairnArchiveAdmin));
  info->ReleaseTypeAttr(attr);
  EXPECT_EQ(admin->GetTypeInfo(1, 0x409, info.Out()), DISP_E_BADINDEX);

  // ICairnArchive is the object's IDispatch.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(admin.As(&dispatch), S_OK);
  LPOLESTR deleteName = const_cast<LPOLESTR>(L"DeleteSnapShot");
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &deleteName, 1, 0x409, &id), S_OK);
  EXPECT_EQ(id, 3);
}

}  // namespace
}  // namespace cairn
