// The type library as clients and the engine's IDispatch see it: the library, the classes in
// class-table order with their default interfaces, and every engine method's slot, dispatch
// identifier and signature.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Bstr.h"
#include "HResultAssert.h"
#include "cairn.h"

namespace {

using cairn::Bstr;

template <class T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

struct Attr {
  ITypeInfo* info;
  TYPEATTR* a = nullptr;
  explicit Attr(ITypeInfo* i) : info(i) {
    HRESULT hr = info->GetTypeAttr(&a);
    EXPECT_EQ(hr, S_OK) << std::hex << hr;
  }
  ~Attr() {
    if (a) info->ReleaseTypeAttr(a);
  }
  TYPEATTR* operator->() const { return a; }
};

std::string Narrow(BSTR s) {
  std::string r;
  for (const OLECHAR* c = s; c && *c; ++c) r += *c < 0x80 ? static_cast<char>(*c) : '?';
  return r;
}

std::string Hex(long v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(v));
  return buf;
}

// Name and help string of a type (MEMBERID_NIL) or of one of its members.
void Documentation(ITypeInfo* info, MEMBERID id, std::string* name, std::string* doc) {
  Bstr n, d;
  EXPECT_HR(S_OK, info->GetDocumentation(id, n.Out(), d.Out(), nullptr, nullptr));
  if (name) *name = Narrow(n.Get());
  if (doc) *doc = Narrow(d.Get());
}

std::string TypeName(ITypeInfo* info, const TYPEDESC& t) {
  switch (t.vt) {
    case VT_I4: return "long";
    case VT_UI4: return "unsigned long";
    case VT_INT: return "int";
    case VT_BSTR: return "BSTR";
    case VT_HRESULT: return "HRESULT";
    case VT_PTR: return TypeName(info, *t.lptdesc) + "*";
    case VT_SAFEARRAY: return "SAFEARRAY(" + TypeName(info, *t.lptdesc) + ")";
    case VT_USERDEFINED: {
      Ref<ITypeInfo> ref;
      HRESULT hr = info->GetRefTypeInfo(t.hreftype, &ref);
      if (hr != S_OK) return "<bad reference " + Hex(hr) + ">";
      std::string name;
      Documentation(ref.p, MEMBERID_NIL, &name, nullptr);
      return name;
    }
    default: return "<vt " + std::to_string(t.vt) + ">";
  }
}

// One method as written in the interface definition, e.g.
// "GetObject([in] BSTR Name, [out] ICairnObject** IObjectPtr, [in] long Create)".
std::string Signature(ITypeInfo* info, const FUNCDESC& f) {
  BSTR names[32] = {};
  UINT count = 0;
  HRESULT hr = info->GetNames(f.memid, names, 32, &count);
  EXPECT_EQ(hr, S_OK) << std::hex << hr;
  EXPECT_EQ(count, static_cast<UINT>(f.cParams) + 1) << "names of " << Narrow(names[0]);
  std::string s = Narrow(names[0]) + "(";
  for (SHORT i = 0; i < f.cParams; ++i) {
    const ELEMDESC& p = f.lprgelemdescParam[i];
    const USHORT dir = p.paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT);
    if (i) s += ", ";
    s += dir == PARAMFLAG_FIN ? "[in] " : dir == PARAMFLAG_FOUT ? "[out] " : dir ? "[in, out] " : "[] ";
    s += TypeName(info, p.tdesc) + " " + (i + 1u < count ? Narrow(names[i + 1]) : "?");
  }
  for (BSTR n : names) SysFreeString(n);
  return s + ")";
}

std::string Guid(REFGUID g) {
  OLECHAR text[40];
  StringFromGUID2(g, text, 40);
  return Narrow(text);
}

class TypeLibTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    lib_ = Load(L"cairn.tlb");
  }
  static void TearDownTestSuite() {
    if (lib_) lib_->Release();
    lib_ = nullptr;
  }

  // Loads a file beside the test executable; an empty name loads the executable itself.
  static ITypeLib* Load(const std::wstring& name) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    if (!name.empty()) p = p.substr(0, p.find_last_of(L"\\/") + 1) + name;
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(p.c_str(), REGKIND_NONE, &lib);
    EXPECT_EQ(hr, S_OK) << std::hex << hr;
    return lib;
  }

  void SetUp() override { ASSERT_NE(lib_, nullptr); }

  static ITypeLib* lib_;
};

ITypeLib* TypeLibTest::lib_ = nullptr;

TEST_F(TypeLibTest, LibraryAttributes) {
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib_->GetLibAttr(&attr);
  ASSERT_EQ(hr, S_OK) << std::hex << hr;
  EXPECT_EQ(Guid(attr->guid), Guid(LIBID_CAIRNLib));
  EXPECT_EQ(attr->lcid, 0x409u);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  lib_->ReleaseTLibAttr(attr);

  Bstr name, doc;
  ASSERT_HR(S_OK, lib_->GetDocumentation(-1, name.Out(), doc.Out(), nullptr, nullptr));
  EXPECT_EQ(Narrow(name.Get()), "CAIRNLib");
  EXPECT_EQ(Narrow(doc.Get()), "cairn 1.0 Type Library");
}

TEST_F(TypeLibTest, LoadsFromATypeLibResource) {
  Ref<ITypeLib> embedded;
  embedded.p = Load(L"");
  ASSERT_NE(embedded.p, nullptr);
  TLIBATTR* attr = nullptr;
  HRESULT hr = embedded->GetLibAttr(&attr);
  ASSERT_EQ(hr, S_OK) << std::hex << hr;
  EXPECT_EQ(Guid(attr->guid), Guid(LIBID_CAIRNLib));
  embedded->ReleaseTLibAttr(attr);
  EXPECT_EQ(embedded->GetTypeInfoCount(), lib_->GetTypeInfoCount());
}

// IStream and IStorage bring the platform records they use into the library.
TEST_F(TypeLibTest, DescribesThePlatformRecordsOfStreams) {
  std::vector<std::string> records;
  for (UINT i = 0; i < lib_->GetTypeInfoCount(); ++i) {
    TYPEKIND kind;
    ASSERT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK);
    if (kind != TKIND_RECORD) continue;
    Bstr name;
    ASSERT_HR(S_OK, lib_->GetDocumentation(i, name.Out(), nullptr, nullptr, nullptr));
    records.push_back(Narrow(name.Get()));
  }
  for (const char* expected : {"tagSTATSTG", "_FILETIME", "_LARGE_INTEGER", "_ULARGE_INTEGER"})
    EXPECT_NE(std::find(records.begin(), records.end(), expected), records.end()) << expected;
}

struct ClassCase {
  const char* name;
  const CLSID* clsid;
  const char* doc;
  std::vector<const IID*> interfaces;  // the first is the default
};

const std::vector<ClassCase>& Classes() {
  static const std::vector<ClassCase> classes = {
      {"CairnArchive", &CLSID_CairnArchive, "CairnArchive Class",
       {&IID_ICairnArchive, &IID_ICairnArchiveAdmin, &IID_ICairnArchiveFilter, &IID_IPersistFile,
        &IID_ICairnArchiveCheck}},
      {"EnumSnapShots", &CLSID_EnumSnapShots, "EnumSnapShots Class", {&IID_IEnumSnapShots}},
      {"CairnSnapShot", &CLSID_CairnSnapShot, "CairnSnapShot Class", {&IID_ICairnSnapShot}},
      {"CairnObject", &CLSID_CairnObject, "CairnObject Class", {&IID_ICairnObject}},
      {"EnumCairnObjects", &CLSID_EnumCairnObjects, "EnumObjects Class", {&IID_IEnumCairnObjects}},
      {"Stream", &CLSID_Stream, "Stream Class", {&IID_IStream}},
      {"Storage", &CLSID_Storage, "Storage Class", {&IID_IStorage}},
      {"CairnRevision", &CLSID_CairnRevision, "CairnRevision Class", {&IID_ICairnRevision}},
      {"EnumCairnRevisions", &CLSID_EnumCairnRevisions, "EnumCairnRevisions Class",
       {&IID_IEnumCairnRevisions}},
      {"CairnStatus", &CLSID_CairnStatus, "CairnStatus Class", {&IID_ICairnStatus}},
  };
  return classes;
}

TEST_F(TypeLibTest, ClassesAppearInClassTableOrder) {
  std::vector<std::string> found, expected;
  for (UINT i = 0; i < lib_->GetTypeInfoCount(); ++i) {
    TYPEKIND kind;
    ASSERT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK);
    if (kind != TKIND_COCLASS) continue;
    Bstr name;
    ASSERT_HR(S_OK, lib_->GetDocumentation(i, name.Out(), nullptr, nullptr, nullptr));
    found.push_back(Narrow(name.Get()));
  }
  for (const ClassCase& c : Classes()) expected.push_back(c.name);
  EXPECT_EQ(found, expected);
}

TEST_F(TypeLibTest, ClassesAndTheirInterfaces) {
  for (const ClassCase& c : Classes()) {
    SCOPED_TRACE(c.name);
    Ref<ITypeInfo> info;
    HRESULT hr = lib_->GetTypeInfoOfGuid(*c.clsid, &info);
    ASSERT_EQ(hr, S_OK) << std::hex << hr;
    std::string name, doc;
    Documentation(info.p, MEMBERID_NIL, &name, &doc);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(doc, c.doc);

    Attr attr(info.p);
    ASSERT_NE(attr.a, nullptr);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE) << std::hex << attr->wTypeFlags;
    ASSERT_EQ(attr->cImplTypes, c.interfaces.size());
    for (UINT i = 0; i < c.interfaces.size(); ++i) {
      SCOPED_TRACE("interface " + std::to_string(i));
      INT flags = 0;
      hr = info->GetImplTypeFlags(i, &flags);
      ASSERT_EQ(hr, S_OK) << std::hex << hr;
      EXPECT_EQ(flags & IMPLTYPEFLAG_FDEFAULT, i == 0 ? IMPLTYPEFLAG_FDEFAULT : 0) << flags;
      HREFTYPE href = 0;
      Ref<ITypeInfo> ref;
      ASSERT_EQ(info->GetRefTypeOfImplType(i, &href), S_OK);
      hr = info->GetRefTypeInfo(href, &ref);
      ASSERT_EQ(hr, S_OK) << std::hex << hr;
      Attr refAttr(ref.p);
      ASSERT_NE(refAttr.a, nullptr);
      EXPECT_EQ(Guid(refAttr->guid), Guid(*c.interfaces[i]));
    }
  }
}

struct InterfaceCase {
  const char* name;
  const IID* iid;
  MEMBERID firstId;
  std::vector<std::string> methods;  // in slot order from slot 7
};

const std::vector<InterfaceCase>& Interfaces() {
  static const std::vector<InterfaceCase> interfaces = {
      {"ICairnArchive", &IID_ICairnArchive, 1,
       {"EnumSnapShots([in] unsigned long Flags, [out] IEnumSnapShots** EnumPtrPtr)",
        "CreateSnapShot([in] BSTR SnapShotName, [in] SAFEARRAY(BSTR) AddObjects, "
        "[in] SAFEARRAY(BSTR) DeleteObjects, [out] ICairnSnapShot** SnapShotPtrPtr)",
        "DeleteSnapShot([in] BSTR SnapShotName)"}},
      {"ICairnArchiveAdmin", &IID_ICairnArchiveAdmin, 1,
       {"GetStream([in] BSTR Name, [out] IStream** IStreamPtr)",
        "CommitStream([in] BSTR Name, [in] IStream* IStreamPtr)",
        "GetObject([in] BSTR Name, [out] ICairnObject** IObjectPtr, [in] long Create)",
        "GetLogStream([out] IStream** IStreamPtr)",
        "CommitLogStream([in] IStream* IStreamPtr)",
        "InterpretLogStream([out] IStream** IStreamPtr)",
        "SetOptions([in] long Options)",
        "GetOptions([out] long* Options)",
        "GetArchiveDetails([out] long* Free, [out] long* Largest, [out] long* Smallest, "
        "[out] long* Segments)"}},
      {"ICairnArchiveFilter", &IID_ICairnArchiveFilter, 1,
       {"GetExclList([out] BSTR* ExclList)",
        "GetInclList([out] BSTR* InclList)",
        "SetInclList([in] BSTR InclList)",
        "SetExclList([in] BSTR ExclList)",
        "NotFiltered([in] BSTR FileName)"}},
      {"IEnumSnapShots", &IID_IEnumSnapShots, 1,
       {"Clone([out] IEnumSnapShots** EnumPtrPtr)",
        "Reset()",
        "Skip([in] unsigned long Num)",
        "Next([in] unsigned long Flags, [out] ICairnSnapShot** SnapShotPtrPtr)",
        "Last([in] unsigned long Flags, [out] ICairnSnapShot** SnapShotPtrPtr)",
        "NextByName([in] BSTR Name, [out] ICairnSnapShot** SnapShotPtrPtr)",
        "Set([in] ICairnSnapShot* SnapShotPtrPtr)",
        "Prev([in] unsigned long Flags, [out] ICairnSnapShot** SnapShotPtrPtr)",
        "Initialize([in] ICairnArchive* IArchive)"}},
      {"ICairnSnapShot", &IID_ICairnSnapShot, 1,
       {"GetSnapShot([out] long* SnapShotPtr)",
        "GetName([out] BSTR* Name)",
        "SetName([in] BSTR Name)",
        "SetComment([in] BSTR Comment)",
        "GetComment([out] BSTR* Comment)",
        "EnumCairnObjects([in] unsigned long Flags, [out] IEnumCairnObjects** EnumPtrPtr)",
        "GetCreationTime([out] unsigned long* High, [out] unsigned long* Low)",
        "GetOptions([out] long* Options)"}},
      {"IEnumCairnObjects", &IID_IEnumCairnObjects, 1,
       {"Clone([out] IEnumCairnObjects** EnumPtrPtr)",
        "Reset()",
        "Skip([in] unsigned long Num)",
        "Next([in] unsigned long Flag, [out] ICairnObject** ObjectPtrPtr)",
        "Last([in] unsigned long Flag, [out] ICairnObject** ObjectPtrPtr)",
        "NextByName([in] BSTR Name, [out] ICairnObject** RevisionPtrPtr)"}},
      {"ICairnObject", &IID_ICairnObject, 1,
       {"GetName([out] BSTR* Name)",
        "EnumCairnRevisions([in] unsigned long Flags, [out] IEnumCairnRevisions** EnumPtrPtr)"}},
      {"IEnumCairnRevisions", &IID_IEnumCairnRevisions, 1,
       {"Clone([out] IEnumCairnRevisions** EnumPtrPtr)",
        "Reset()",
        "Skip([in] unsigned long Num)",
        "Next([in] unsigned long Flags, [out] ICairnRevision** RevisionPtrPtr)",
        "Last([in] unsigned long Flags, [out] ICairnRevision** RevisionPtrPtr)"}},
      {"ICairnRevision", &IID_ICairnRevision, 1,
       {"GetContents([out] IStream** IStreamPtr)",
        "GetRevision([out] long* RevisionPtr)",
        "GetChanges([out] long* Insertions, [out] long* Deletions, [out] long* Changes)",
        "EnumCairnObjects([in] unsigned long Flags, [out] IEnumCairnObjects** EnumPtrPtr)",
        "GetAsAt([out] unsigned long* High, [out] unsigned long* Low)"}},
      {"ICairnStatus", &IID_ICairnStatus, 0x60020000,
       {"SetMax([in] int Max)",
        "DisableStop()",
        "Destroy()",
        "Dismiss()",
        "GetCurrent([out] int* Current)",
        "Continue()",
        "SetProcessing([in] BSTR File)",
        "IncrementProgress()",
        "IncrementChanged()",
        "IncrementDeleted()",
        "IncrementAdded()",
        "Initialize([in] long* Window, [in] long AutoDismiss)"}},
      {"ICairnArchiveCheck", &IID_ICairnArchiveCheck, 1,
       {"Check([in] ICairnCheckProgress* Progress, [out] SAFEARRAY(BSTR)* Damage, "
        "[out] unsigned long* Objects, [out] unsigned long* Revisions)"}},
  };
  return interfaces;
}

TEST_F(TypeLibTest, InterfacesAreDualWithTheirMethodsInSlotOrder) {
  for (const InterfaceCase& c : Interfaces()) {
    SCOPED_TRACE(c.name);
    // The library answers a dual interface's identifier with its dispatch view.
    Ref<ITypeInfo> dispatch;
    HRESULT hr = lib_->GetTypeInfoOfGuid(*c.iid, &dispatch);
    ASSERT_EQ(hr, S_OK) << std::hex << hr;
    std::string name, doc;
    Documentation(dispatch.p, MEMBERID_NIL, &name, &doc);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(doc, std::string(c.name) + " Interface");
    {
      Attr attr(dispatch.p);
      ASSERT_NE(attr.a, nullptr);
      EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
      const WORD dual = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
      EXPECT_EQ(attr->wTypeFlags & dual, dual) << std::hex << attr->wTypeFlags;
    }

    // Its vtable view: IDispatch's seven slots, then the methods.
    HREFTYPE href = 0;
    hr = dispatch->GetRefTypeOfImplType(-1, &href);
    ASSERT_EQ(hr, S_OK) << std::hex << hr;
    Ref<ITypeInfo> vtable;
    hr = dispatch->GetRefTypeInfo(href, &vtable);
    ASSERT_EQ(hr, S_OK) << std::hex << hr;
    Attr attr(vtable.p);
    ASSERT_NE(attr.a, nullptr);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(Guid(attr->guid), Guid(*c.iid));
    const WORD automation = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(attr->wTypeFlags & automation, automation) << std::hex << attr->wTypeFlags;
    ASSERT_EQ(attr->cImplTypes, 1);
    Ref<ITypeInfo> base;
    ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &href), S_OK);
    ASSERT_EQ(vtable->GetRefTypeInfo(href, &base), S_OK);
    EXPECT_EQ(Guid(Attr(base.p)->guid), Guid(IID_IDispatch));

    ASSERT_EQ(attr->cFuncs, c.methods.size());
    for (UINT i = 0; i < c.methods.size(); ++i) {
      FUNCDESC* f = nullptr;
      hr = vtable->GetFuncDesc(i, &f);
      ASSERT_EQ(hr, S_OK) << std::hex << hr;
      const std::string signature = Signature(vtable.p, *f);
      SCOPED_TRACE(signature);
      EXPECT_EQ(signature, c.methods[i]);
      EXPECT_EQ(Hex(f->memid), Hex(c.firstId + static_cast<MEMBERID>(i)));
      EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
      EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
      EXPECT_EQ(f->invkind, INVOKE_FUNC);
      EXPECT_EQ(f->callconv, CC_STDCALL);
      EXPECT_EQ(TypeName(vtable.p, f->elemdescFunc.tdesc), "HRESULT");
      std::string methodDoc;
      Documentation(vtable.p, f->memid, nullptr, &methodDoc);
      EXPECT_EQ(methodDoc, "method " + signature.substr(0, signature.find('(')));
      vtable->ReleaseFuncDesc(f);
    }
  }
}

// A dispatch identifier names the same method for IDispatch callers as in the vtable.
TEST_F(TypeLibTest, NamesResolveToTheirDispatchIdentifiers) {
  for (const InterfaceCase& c : Interfaces()) {
    SCOPED_TRACE(c.name);
    Ref<ITypeInfo> dispatch;
    ASSERT_EQ(lib_->GetTypeInfoOfGuid(*c.iid, &dispatch), S_OK);
    for (UINT i = 0; i < c.methods.size(); ++i) {
      std::wstring method;
      for (char ch : c.methods[i].substr(0, c.methods[i].find('('))) method += ch;
      LPOLESTR names[] = {&method[0]};
      MEMBERID id = 0;
      HRESULT hr = dispatch->GetIDsOfNames(names, 1, &id);
      EXPECT_EQ(hr, S_OK) << std::hex << hr << " for " << c.methods[i];
      EXPECT_EQ(Hex(id), Hex(c.firstId + static_cast<MEMBERID>(i))) << c.methods[i];
    }
  }
}

}  // namespace
