// Item pictures: the icon object's extraction for each kind of location, and the view's icon
// cache, which extracts each distinct icon once and keeps its two image lists in step.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <map>
#include <string>

#include "CairnIcon.h"
#include "ComPtr.h"
#include "IconCache.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

ComPtr<IExtractIconA> IconFor(const char* name, long attributes, long snapshot) {
  ComPtr<ICairnIcon> icon;
  EXPECT_EQ(S_OK, CairnIcon::Create(IID_ICairnIcon, icon.OutVoid()));
  if (!icon) return {};
  icon->Initialize(const_cast<char*>(name), attributes, snapshot);
  ComPtr<IExtractIconA> extract;
  icon->QueryInterface(IID_IExtractIconA, extract.OutVoid());
  return extract;
}

// Extracts both sizes of a location; true when Extract answered S_OK with a large icon.
bool ExtractBoth(IExtractIconA* extract, int open, bool* hasSmall) {
  char location[MAX_PATH] = "";
  int index = -1;
  UINT flags = 0;
  if (extract->GetIconLocation(open ? GIL_OPENICON : 0, location, MAX_PATH, &index, &flags) != S_OK) return false;
  HICON large = nullptr, small = nullptr;
  const HRESULT hr = extract->Extract(location, static_cast<UINT>(index), &large, &small, MAKELONG(32, 16));
  *hasSmall = small != nullptr;
  if (large != nullptr) DestroyIcon(large);
  if (small != nullptr) DestroyIcon(small);
  return hr == S_OK && large != nullptr;
}

TEST(CairnIconTest, EveryKindOfItemGetsBothPicturesOpenAndClosed) {
  struct Case {
    const char* name;
    long attributes;
    long snapshot;
  } cases[] = {{"Snapshot;2", FILE_ATTRIBUTE_DIRECTORY, 1},
               {"C:\\data\\Letters", FILE_ATTRIBUTE_DIRECTORY, 0},
               {"C:\\data\\plan.txt", FILE_ATTRIBUTE_ARCHIVE, 0},
               {"C:\\data\\odd.qqqzz", FILE_ATTRIBUTE_ARCHIVE, 0}};
  for (const Case& c : cases) {
    ComPtr<IExtractIconA> extract = IconFor(c.name, c.attributes, c.snapshot);
    ASSERT_TRUE(extract);
    for (int open : {0, 1}) {
      bool hasSmall = false;
      EXPECT_TRUE(ExtractBoth(extract.Get(), open, &hasSmall)) << c.name << " open " << open;
      EXPECT_TRUE(hasSmall) << c.name << " open " << open;
    }
  }
  // An index beyond the open icon, or a location of no kind, gives nothing.
  ComPtr<IExtractIconA> extract = IconFor("C:\\data\\Letters", FILE_ATTRIBUTE_DIRECTORY, 0);
  HICON large = nullptr, small = nullptr;
  EXPECT_EQ(S_FALSE, extract->Extract("DIRECTO::FOLDER", 2, &large, &small, MAKELONG(32, 16)));
  EXPECT_EQ(S_FALSE, extract->Extract("ELSEWHERE::", 0, &large, &small, MAKELONG(32, 16)));
  EXPECT_EQ(nullptr, large);
}

// An icon handler that counts its extractions and names the location its folder gave it.
class CountingIcon final : public IExtractIconA {
 public:
  CountingIcon(std::string location, UINT flags, int* extractions)
      : location_(std::move(location)), flags_(flags), extractions_(extractions) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = (iid == IID_IUnknown || iid == IID_IExtractIconA) ? this : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = --references_;
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP GetIconLocation(UINT, LPSTR file, UINT size, int* index, UINT* flags) override {
    lstrcpynA(file, location_.c_str(), static_cast<int>(size));
    *index = 0;
    *flags = flags_;
    return S_OK;
  }
  STDMETHODIMP Extract(LPCSTR, UINT, HICON* large, HICON* small, UINT) override {
    ++*extractions_;
    *large = LoadIconW(nullptr, IDI_APPLICATION);
    *small = LoadIconW(nullptr, IDI_APPLICATION);
    return S_OK;
  }

 private:
  std::string location_;
  UINT flags_;
  int* extractions_;
  ULONG references_ = 1;
};

// A folder whose items are one byte each: the byte picks the location of the item's icon;
// "?" gives no handler at all.
class IconFolder final : public IShellFolder {
 public:
  std::map<char, std::string> locations;
  int extractions = 0;
  UINT flags = GIL_NOTFILENAME | GIL_PERCLASS;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = (iid == IID_IUnknown || iid == IID_IShellFolder) ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
  STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return E_NOTIMPL; }
  STDMETHODIMP CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override { return E_NOTIMPL; }
  STDMETHODIMP GetUIObjectOf(HWND, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, UINT*,
                             void** object) override {
    *object = nullptr;
    const char key = static_cast<char>(items[0]->mkid.abID[0]);
    if (count != 1 || iid != IID_IExtractIconA || key == '?') return E_NOINTERFACE;
    *object = static_cast<IExtractIconA*>(new CountingIcon(locations[key], flags, &extractions));
    return S_OK;
  }
  STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override { return E_NOTIMPL; }
  STDMETHODIMP SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override { return E_NOTIMPL; }
};

struct OneByteItem {
  USHORT size = 3;
  BYTE key;
  USHORT end = 0;
  explicit OneByteItem(char k) : key(static_cast<BYTE>(k)) {}
  LPCITEMIDLIST List() const { return reinterpret_cast<LPCITEMIDLIST>(this); }
};

class IconCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    keys_ = CreateWindowExA(0, "LISTBOX", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, keys_);
    ASSERT_TRUE(cache_.Create(keys_));
  }
  void TearDown() override { DestroyWindow(keys_); }
  int Index(char key) {
    const OneByteItem item(key);
    return cache_.IndexOf(&folder_, item.List());
  }

  HWND keys_ = nullptr;
  IconCache cache_;
  IconFolder folder_;
};

TEST_F(IconCacheTest, EachDistinctIconIsExtractedOnceAndKeptInBothLists) {
  folder_.locations = {{'a', "OBJECTS::.TXT"}, {'b', "OBJECTS::.TXT"}, {'c', "DIRECTO::FOLDER"}};
  const int first = Index('a');
  EXPECT_EQ(first, Index('b'));
  EXPECT_EQ(1, folder_.extractions);
  const int folder = Index('c');
  EXPECT_NE(first, folder);
  EXPECT_EQ(2, folder_.extractions);
  EXPECT_EQ(folder, Index('c'));
  EXPECT_EQ(2, folder_.extractions);
  EXPECT_EQ(2, ImageList_GetImageCount(cache_.Large()));
  EXPECT_EQ(2, ImageList_GetImageCount(cache_.Small()));

  // The keys name the location, the index and the flags.
  const LRESULT found = SendMessageA(keys_, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>("\"DIRECTO::FOLDER\" 0 0000000c"));
  ASSERT_NE(LB_ERR, found);
  EXPECT_EQ(folder, SendMessageA(keys_, LB_GETITEMDATA, found, 0));

  // No handler: no image.
  EXPECT_EQ(-1, Index('?'));
}

TEST_F(IconCacheTest, IconsThatMayNotBeCachedAreExtractedEachTime) {
  folder_.flags |= GIL_DONTCACHE;
  folder_.locations = {{'a', "OBJECTS::.TXT"}};
  Index('a');
  Index('a');
  EXPECT_EQ(2, folder_.extractions);
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
