// The folder and its enumerator as Explorer uses them, against an archive cn made from a known
// tree, and the malformed item lists they must refuse.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "AnsiText.h"
#include "ArchiveFolder.h"
#include "ShellTestSupport.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

constexpr SHCONTF kAll = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;

std::string LastPart(std::string_view name) { return std::string(name.substr(name.find_last_of('\\') + 1)); }

std::vector<std::string> LastParts(const std::vector<std::string>& names) {
  std::vector<std::string> parts;
  for (const std::string& name : names) parts.push_back(LastPart(name));
  std::sort(parts.begin(), parts.end());
  return parts;
}

// A column's title (null item) or an item's cell as the folder gives them; "<hr>" when it fails.
std::string Detail(IArchiveFolder* folder, LPCITEMIDLIST item, UINT column, int* format = nullptr) {
  SHELLDETAILS details = {};
  details.cxChar = -1;
  const HRESULT hr = folder->GetDetailsOf(item, column, &details);
  char failed[16];
  std::snprintf(failed, sizeof failed, "<%08lx>", static_cast<unsigned long>(hr));
  if (FAILED(hr)) return failed;
  EXPECT_EQ(0, details.cxChar);
  if (format != nullptr) *format = details.fmt;
  wchar_t* text = nullptr;
  EXPECT_EQ(S_OK, StrRetToStrW(&details.str, item, &text));
  const std::string result = ToAnsi(text);
  CoTaskMemFree(text);
  return result;
}

class ShellFolderTest : public ArchiveTest {};

TEST_F(ShellFolderTest, TheExplorerWayInWalksEveryLevel) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  EXPECT_EQ((std::vector<std::string>{"Snapshot;1", "Snapshot;2"}), StoredNames(root.Get()));
  ComPtr<IPersist> persist;
  CLSID clsid{};
  ASSERT_EQ(S_OK, root.As(&persist));
  EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
  EXPECT_TRUE(IsEqualCLSID(CLSID_CairnFolder, clsid));

  OwnedList second = FindItem(root.Get(), "Snapshot;2");
  const Item snapshot = second.Read();
  EXPECT_EQ(2, snapshot.fields.revision);
  EXPECT_EQ(0x07000010u, snapshot.fields.attributes);  // folder, has subfolders, deletable, renamable
  EXPECT_EQ(56u + 10, snapshot.size);                  // no comment: no second string
  // The four forms of a root item's name.
  EXPECT_EQ("Snapshot;2", NameOf(root.Get(), second.Get(), SHGDN_NORMAL));
  EXPECT_EQ("Snapshot;2", NameOf(root.Get(), second.Get(), SHGDN_INFOLDER));
  EXPECT_EQ(archive_ + "\\Snapshot;2", NameOf(root.Get(), second.Get(), SHGDN_FORPARSING));
  EXPECT_EQ("archive.crn\\Snapshot;2", NameOf(root.Get(), second.Get(), SHGDN_INFOLDER | SHGDN_FORPARSING));
  EXPECT_EQ("<80070057>", NameOf(root.Get(), second.Get(), SHGDN_FOREDITING));
  SFGAOF attributes = ~0u;
  LPCITEMIDLIST asked = second.Get();
  EXPECT_EQ(S_OK, root->GetAttributesOf(1, &asked, &attributes));
  EXPECT_EQ(SFGAO_FOLDER | SFGAO_CANCOPY | SFGAO_HASSUBFOLDER | SFGAO_CANDELETE | SFGAO_CANRENAME, attributes);

  // Level 2: the top-level object, deletable in the latest snapshot, named with its revision.
  ComPtr<IShellFolder> inSnapshot = Bind(root.Get(), second.Get());
  ASSERT_TRUE(inSnapshot);
  ASSERT_EQ(std::vector<std::string>{data_}, StoredNames(inSnapshot.Get()));
  OwnedList data = FindItem(inSnapshot.Get(), "\\data");
  EXPECT_TRUE(data.Read().fields.attributes & kDeletableBit);
  EXPECT_TRUE(data.Read().fields.attributes & kHasSubfoldersBit);
  EXPECT_EQ("data;" + std::to_string(data.Read().fields.revision), NameOf(inSnapshot.Get(), data.Get(), SHGDN_NORMAL));
  EXPECT_EQ(archive_ + "\\Snapshot;2\\" + data_, NameOf(inSnapshot.Get(), data.Get(), SHGDN_FORPARSING));

  // Level 3: children (not deletable), with their revisions and the snapshot they were made in.
  ComPtr<IShellFolder> inData = Bind(inSnapshot.Get(), data.Get());
  ASSERT_TRUE(inData);
  EXPECT_EQ((std::vector<std::string>{"docs", "hidden.bin", "notes.cairntest", "system.bin"}),
            LastParts(StoredNames(inData.Get(), kAll)));
  OwnedList notes = FindItem(inData.Get(), "notes.cairntest");
  EXPECT_EQ(1, notes.Read().fields.revision);
  EXPECT_EQ(1, notes.Read().fields.lastSnapShotChanged);
  EXPECT_EQ(std::optional<std::string_view>("Snapshot;1"), notes.Read().second);
  EXPECT_EQ(5u, notes.Read().fields.itemSize);
  EXPECT_FALSE(notes.Read().fields.attributes & kDeletableBit);
  EXPECT_EQ("notes.cairntest;1", NameOf(inData.Get(), notes.Get(), SHGDN_INFOLDER));

  // Level 4, bound from level 2 with a two-level list: the changed file's second revision.
  OwnedList docs = FindItem(inData.Get(), "\\docs");
  std::vector<uint8_t> path = ListOf({std::vector<uint8_t>(data.Read().data, data.Read().data + data.Read().size),
                                      std::vector<uint8_t>(docs.Read().data, docs.Read().data + docs.Read().size)});
  ComPtr<IShellFolder> inDocs = Bind(inSnapshot.Get(), reinterpret_cast<LPCITEMIDLIST>(path.data()));
  ASSERT_TRUE(inDocs);
  OwnedList report = FindItem(inDocs.Get(), "report.cairntest");
  EXPECT_EQ(2, report.Read().fields.revision);
  EXPECT_EQ(2, report.Read().fields.lastSnapShotChanged);
  EXPECT_EQ(std::optional<std::string_view>("Snapshot;2"), report.Read().second);
  EXPECT_EQ(21u, report.Read().fields.itemSize);

  // Comparing: by name (column 0) and by size (column 2); the result's sign is in the low word.
  OwnedList sub = FindItem(inDocs.Get(), "\\sub");
  EXPECT_EQ(-1, static_cast<SHORT>(HRESULT_CODE(inDocs->CompareIDs(0, report.Get(), sub.Get()))));
  EXPECT_EQ(1, static_cast<SHORT>(HRESULT_CODE(inDocs->CompareIDs(0, sub.Get(), report.Get()))));
  EXPECT_EQ(0, static_cast<SHORT>(HRESULT_CODE(inDocs->CompareIDs(0, report.Get(), report.Get()))));
  EXPECT_EQ(3, static_cast<SHORT>(HRESULT_CODE(inDocs->CompareIDs(2, report.Get(), sub.Get()))));
}

TEST_F(ShellFolderTest, TheFolderGivesItsColumnsAndCells) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ComPtr<IArchiveFolder> rootDetails;
  ASSERT_TRUE(root && SUCCEEDED(root.As(&rootDetails)));
  int format = -1;
  EXPECT_EQ("Name", Detail(rootDetails.Get(), nullptr, 0, &format));
  EXPECT_EQ(LVCFMT_LEFT, format);
  EXPECT_EQ("Size", Detail(rootDetails.Get(), nullptr, 1, &format));
  EXPECT_EQ(LVCFMT_RIGHT, format);
  EXPECT_EQ("Comment", Detail(rootDetails.Get(), nullptr, 4));
  EXPECT_EQ("<80070057>", Detail(rootDetails.Get(), nullptr, 5));  // the root has five columns
  OwnedList first = FindItem(root.Get(), "Snapshot;1");
  EXPECT_EQ("Snapshot;1", Detail(rootDetails.Get(), first.Get(), 0));
  EXPECT_EQ("", Detail(rootDetails.Get(), first.Get(), 1));  // a snapshot is a folder: no size
  EXPECT_EQ("Archive snapshot", Detail(rootDetails.Get(), first.Get(), 2));

  ComPtr<IShellFolder> inSnapshot = Bind(root.Get(), first.Get());
  ComPtr<IShellFolder> inData = Bind(inSnapshot.Get(), FindItem(inSnapshot.Get(), "\\data").Get());
  ComPtr<IArchiveFolder> details;
  ASSERT_TRUE(inData && SUCCEEDED(inData.As(&details)));
  EXPECT_EQ("In Folder", Detail(details.Get(), nullptr, 1));
  EXPECT_EQ("Created in", Detail(details.Get(), nullptr, 5));
  EXPECT_EQ("<80070057>", Detail(details.Get(), nullptr, 6));
  OwnedList notes = FindItem(inData.Get(), "notes.cairntest");
  EXPECT_EQ(NameOf(inData.Get(), notes.Get(), SHGDN_INFOLDER), Detail(details.Get(), notes.Get(), 0));
  EXPECT_EQ(data_, Detail(details.Get(), notes.Get(), 1));
  EXPECT_EQ("1KB", Detail(details.Get(), notes.Get(), 2));
  EXPECT_EQ("Snapshot;1", Detail(details.Get(), notes.Get(), 5));
  EXPECT_EQ("<80070057>", Detail(details.Get(), notes.Get(), 6));

  // A malformed item is refused, and nothing is written for it.
  const std::vector<uint8_t> broken = {0x05, 0x00, 0x00, 0x00};
  const auto list = reinterpret_cast<LPCITEMIDLIST>(broken.data());
  SHELLDETAILS untouched = {};
  untouched.fmt = 77;
  EXPECT_EQ(E_INVALIDARG, details->GetDetailsOf(list, 0, &untouched));
  EXPECT_EQ(77, untouched.fmt);
  EXPECT_EQ(E_INVALIDARG, details->DisplayItem(nullptr, list));
}

TEST_F(ShellFolderTest, TypeNamesFallBackToTheExtensionWhereTheRegistryNamesNone) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ComPtr<IShellFolder> inSnapshot = Bind(root.Get(), FindItem(root.Get(), "Snapshot;2").Get());
  ComPtr<IShellFolder> inData = Bind(inSnapshot.Get(), FindItem(inSnapshot.Get(), "\\data").Get());
  ComPtr<IArchiveFolder> details;
  ASSERT_TRUE(inData && SUCCEEDED(inData.As(&details)));
  const OwnedList notes = FindItem(inData.Get(), "notes.cairntest");
  const auto type = [&] { return Detail(details.Get(), notes.Get(), 3); };
  EXPECT_EQ("CAIRNTEST File", type());
  // A key without a default value names no type: the extension's key, then the class's.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, ".cairntest", &key));
  RegCloseKey(key);
  EXPECT_EQ("CAIRNTEST File", type());
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, ".cairntest", REG_SZ, "CairnTestType", 0));
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, "CairnTestType", &key));
  RegCloseKey(key);
  EXPECT_EQ("CAIRNTEST File", type());
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, "CairnTestType", REG_SZ, "Cairn test document", 0));
  EXPECT_EQ("Cairn test document", type());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "CairnTestType");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, ".cairntest");
}

TEST_F(ShellFolderTest, TheEmptyListNamesTheFolderItself) {
  const std::vector<uint8_t> bytes = ListOf({});
  const auto empty = reinterpret_cast<LPCITEMIDLIST>(bytes.data());
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  EXPECT_EQ(archive_, NameOf(root.Get(), empty, SHGDN_FORPARSING));
  EXPECT_EQ("archive.crn", NameOf(root.Get(), empty, SHGDN_FORPARSING | SHGDN_INFOLDER));
  SHFILEINFOA info = {};
  ASSERT_TRUE(SHGetFileInfoA(archive_.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME));
  EXPECT_EQ(info.szDisplayName, NameOf(root.Get(), empty, SHGDN_NORMAL));
  EXPECT_EQ("<80070057>", NameOf(root.Get(), empty, SHGDN_FOREDITING));

  // Below the root, as the level above names it.
  const OwnedList snapshot = FindItem(root.Get(), "Snapshot;2");
  ComPtr<IShellFolder> inSnapshot = Bind(root.Get(), snapshot.Get());
  EXPECT_EQ(archive_ + "\\Snapshot;2", NameOf(inSnapshot.Get(), empty, SHGDN_FORPARSING | SHGDN_FORADDRESSBAR));
  EXPECT_EQ("Snapshot;2", NameOf(inSnapshot.Get(), empty, SHGDN_NORMAL));
  const OwnedList data = FindItem(inSnapshot.Get(), "\\data");
  ComPtr<IShellFolder> inData = Bind(inSnapshot.Get(), data.Get());
  EXPECT_EQ(NameOf(inSnapshot.Get(), data.Get(), SHGDN_INFOLDER), NameOf(inData.Get(), empty, SHGDN_INFOLDER));
  EXPECT_EQ(archive_ + "\\Snapshot;2", NameOf(inData.Get(), empty, SHGDN_FORPARSING));
}

TEST_F(ShellFolderTest, AViewAskedForOnAThreadWithoutComStartsComThereUntilTheFolderGoes) {
  IShellFolder* root = OpenArchiveFolder(archive_).Detach();
  ASSERT_NE(nullptr, root);
  HRESULT created = E_FAIL, afterwards = E_FAIL;
  std::thread([&] {
    ComPtr<IShellView> view;
    created = root->CreateViewObject(nullptr, IID_IShellView, view.OutVoid());
    view.Reset();
    EXPECT_EQ(0u, root->Release());
    // COM was ended with the folder: starting it again is a first start, not a second.
    afterwards = CoInitialize(nullptr);
    if (SUCCEEDED(afterwards)) CoUninitialize();
  }).join();
  EXPECT_EQ(S_OK, created);
  EXPECT_EQ(S_OK, afterwards);
}

TEST_F(ShellFolderTest, EnumerationFlagsFilterFoldersHiddenAndSystemItems) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  ComPtr<IShellFolder> inSnapshot = Bind(root.Get(), FindItem(root.Get(), "Snapshot;1").Get());
  ComPtr<IShellFolder> inData = Bind(inSnapshot.Get(), FindItem(inSnapshot.Get(), "\\data").Get());
  ASSERT_TRUE(inData);
  struct Case {
    SHCONTF flags;
    std::vector<std::string> names;
  } cases[] = {
      {SHCONTF_FOLDERS, {"docs"}},
      {SHCONTF_NONFOLDERS, {"notes.cairntest"}},
      {0, {"notes.cairntest"}},
      {SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, {"docs", "notes.cairntest"}},
      {SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, {"hidden.bin", "notes.cairntest", "system.bin"}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.names, LastParts(StoredNames(inData.Get(), c.flags))) << c.flags;
}

TEST_F(ShellFolderTest, AFolderListsAllOfItsChildrenHoweverMany) {
  const std::string many = Path("many");
  ASSERT_TRUE(CreateDirectoryA(many.c_str(), nullptr));
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(WriteText(many + "\\file" + std::to_string(i) + ".bin", "x"));
  ASSERT_EQ(1u, RunCn("/c /a \"" + many + "\" \"" + Path("many.crn") + "\"", Path("")));
  ComPtr<IShellFolder> root = OpenArchiveFolder(Path("many.crn"));
  ASSERT_TRUE(root);
  ComPtr<IShellFolder> inSnapshot = Bind(root.Get(), FindItem(root.Get(), "Snapshot;1").Get());
  ASSERT_TRUE(inSnapshot);
  ComPtr<IShellFolder> inMany = Bind(inSnapshot.Get(), FindItem(inSnapshot.Get(), "\\many").Get());
  ASSERT_TRUE(inMany);
  EXPECT_EQ(300u, StoredNames(inMany.Get(), kAll).size());
}

TEST_F(ShellFolderTest, TheEnumeratorReturnsOneItemPerCallAndStopsAtTheEnd) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  ComPtr<IEnumIDList> items;
  ASSERT_EQ(S_OK, root->EnumObjects(nullptr, SHCONTF_FOLDERS, items.Out()));
  LPITEMIDLIST got[3] = {reinterpret_cast<LPITEMIDLIST>(1), reinterpret_cast<LPITEMIDLIST>(1),
                         reinterpret_cast<LPITEMIDLIST>(1)};
  ULONG fetched = 99;
  EXPECT_EQ(S_OK, items->Next(3, got, &fetched));
  EXPECT_EQ(1u, fetched);
  OwnedList first(got[0]);
  EXPECT_EQ(reinterpret_cast<LPITEMIDLIST>(1), got[1]);  // one item only, whatever celt says
  EXPECT_EQ(S_OK, items->Skip(5));
  EXPECT_EQ(S_FALSE, items->Next(1, got, &fetched));
  EXPECT_EQ(nullptr, got[0]);
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(S_OK, items->Reset());
  EXPECT_EQ(S_OK, items->Next(1, got, nullptr));
  OwnedList again(got[0]);
  EXPECT_EQ(first.Read().name, again.Read().name);
  IEnumIDList* copy = reinterpret_cast<IEnumIDList*>(1);
  EXPECT_EQ(E_NOTIMPL, items->Clone(&copy));
  EXPECT_EQ(nullptr, copy);
}

TEST_F(ShellFolderTest, MissingSnapshotsAndEmptyArchivesListNothing) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  // A parsed name is not looked up; binding to a snapshot that no longer exists gives an empty folder.
  LPITEMIDLIST parsed = nullptr;
  ULONG eaten = 0, attributes = 0;
  wchar_t name[] = L"Snapshot;9";
  ASSERT_EQ(S_OK, root->ParseDisplayName(nullptr, nullptr, name, &eaten, &parsed, &attributes));
  OwnedList gone(parsed);
  EXPECT_EQ(10u, eaten);
  EXPECT_EQ(0xA0000177u, attributes);
  EXPECT_EQ(56u + 10, gone.Read().size);
  ComPtr<IShellFolder> empty = Bind(root.Get(), gone.Get());
  ASSERT_TRUE(empty);
  EXPECT_TRUE(StoredNames(empty.Get(), kAll).empty());

  ASSERT_EQ(0u, RunCn("/c \"" + Path("empty.crn") + "\"", Path("")));  // no snapshot to make
  ComPtr<IShellFolder> emptyRoot = OpenArchiveFolder(Path("empty.crn"));
  ASSERT_TRUE(emptyRoot);
  EXPECT_TRUE(StoredNames(emptyRoot.Get(), kAll).empty());
}

TEST_F(ShellFolderTest, RenamingKeepsTheSnapshotsOwnNumber) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList first = FindItem(root.Get(), "Snapshot;1");
  LPITEMIDLIST renamed = reinterpret_cast<LPITEMIDLIST>(1);
  EXPECT_EQ(S_OK, root->SetNameOf(nullptr, first.Get(), L"Before upgrade;7", SHGDN_NORMAL, &renamed));
  EXPECT_EQ(nullptr, renamed);
  EXPECT_EQ((std::vector<std::string>{"Before upgrade;1", "Snapshot;2"}), StoredNames(root.Get()));
  // The old name is gone: a rename of it fails, and its folder is empty.
  EXPECT_EQ(E_FAIL, root->SetNameOf(nullptr, first.Get(), L"Again", SHGDN_NORMAL, nullptr));
  ComPtr<IShellFolder> old = Bind(root.Get(), first.Get());
  EXPECT_TRUE(StoredNames(old.Get(), kAll).empty());
}

TEST_F(ShellFolderTest, UIObjectsCheckTheirItemCountsFirst) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  OwnedList a = FindItem(root.Get(), "Snapshot;1"), b = FindItem(root.Get(), "Snapshot;2");
  LPCITEMIDLIST two[] = {a.Get(), b.Get()};
  struct Case {
    REFIID iid;
    UINT count;
    HRESULT expected;
  } cases[] = {
      {IID_IExtractIconA, 2, E_INVALIDARG}, {IID_IExtractIconA, 1, S_OK},
      {IID_IDropTarget, 2, E_INVALIDARG},   {IID_IDropTarget, 0, E_INVALIDARG},
      {IID_IDropTarget, 1, S_OK},           {IID_IContextMenu, 0, E_INVALIDARG},
      {IID_IContextMenu, 2, S_OK},          {IID_IDataObject, 0, E_INVALIDARG},
      {IID_IDataObject, 2, S_OK},           {IID_IExtractIconW, 1, E_NOINTERFACE},
      {IID_IUnknown, 1, E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    void* object = reinterpret_cast<void*>(1);
    const HRESULT hr = root->GetUIObjectOf(nullptr, c.count, two, c.iid, nullptr, &object);
    EXPECT_EQ(c.expected, hr) << "count " << c.count << " got " << std::hex << hr;
    if (SUCCEEDED(hr))
      static_cast<IUnknown*>(object)->Release();
    else
      EXPECT_EQ(nullptr, object);
  }
  // The view, as a view or as a drop target, and the folder's own context menu are what the
  // folder makes for CreateViewObject.
  void* view = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, root->CreateViewObject(nullptr, IID_IPersist, &view));
  EXPECT_EQ(nullptr, view);
  EXPECT_EQ(S_OK, root->CreateViewObject(nullptr, IID_IDropTarget, &view));
  ASSERT_NE(nullptr, view);
  static_cast<IDropTarget*>(view)->Release();
  EXPECT_EQ(S_OK, root->CreateViewObject(nullptr, IID_IShellView, &view));
  ASSERT_NE(nullptr, view);
  static_cast<IShellView*>(view)->Release();
  EXPECT_EQ(S_OK, root->CreateViewObject(nullptr, IID_IContextMenu, &view));
  ASSERT_NE(nullptr, view);
  static_cast<IContextMenu*>(view)->Release();
}

TEST_F(ShellFolderTest, MalformedItemListsAreRefusedByEveryMethod) {
  ComPtr<IShellFolder> root = OpenArchiveFolder(archive_);
  ASSERT_TRUE(root);
  auto item = [](std::string_view name, std::optional<std::string_view> second = std::nullopt) {
    return BuildItem(ItemFields{0x10}, name, second);
  };
  auto withSize = [](std::vector<uint8_t> bytes, uint16_t size) {
    bytes[0] = static_cast<uint8_t>(size);
    bytes[1] = static_cast<uint8_t>(size >> 8);
    return bytes;
  };
  // "12345678" fills an item of 56 bytes without its NUL.
  std::vector<uint8_t> unterminatedName = withSize(item("12345678"), 56);
  unterminatedName.resize(56);
  std::vector<uint8_t> unterminatedSecond = item("a", std::string_view("comment"));
  std::fill(unterminatedSecond.begin() + 50, unterminatedSecond.end(), 'x');
  std::vector<std::vector<uint8_t>> deep(300, item("x"));
  std::vector<uint8_t> endless;
  for (const auto& level : deep) endless.insert(endless.end(), level.begin(), level.end());
  endless.resize(endless.size() + 2, 0);

  std::vector<std::vector<uint8_t>> lists = {
      ListOf({withSize(item("Snapshot;1"), 10)}),
      ListOf({withSize(item("Snapshot;1"), 55)}),
      ListOf({unterminatedName}),
      ListOf({unterminatedSecond}),
      ListOf({item("Snapshot;1"), withSize(item("x"), 3)}),
      endless,
  };
  for (auto& bytes : lists) {
    const bool contents = &bytes == &lists.back();  // 300 items: too deep for a path, not for contents
    bytes.resize(bytes.size() + 4096, 0);  // reads past the list's end would still find zeros
    auto list = reinterpret_cast<LPCITEMIDLIST>(bytes.data());
    SCOPED_TRACE(bytes.size());
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_INVALIDARG, root->BindToObject(list, nullptr, IID_IShellFolder, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_INVALIDARG, root->CompareIDs(0, list, list));
    STRRET name{};
    EXPECT_EQ(E_INVALIDARG, root->GetDisplayNameOf(list, SHGDN_NORMAL, &name));
    SFGAOF attributes = ~0u;
    EXPECT_EQ(E_INVALIDARG, root->GetAttributesOf(1, &list, &attributes));
    EXPECT_EQ(E_INVALIDARG, root->GetUIObjectOf(nullptr, 1, &list, IID_IExtractIconA, nullptr, &object));
    EXPECT_EQ(E_INVALIDARG, root->SetNameOf(nullptr, list, L"x", SHGDN_NORMAL, nullptr));

    ComPtr<ICairnFolder> folder;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnFolder, folder.OutVoid()));
    EXPECT_EQ(E_INVALIDARG, folder->FolderInitialize(const_cast<char*>(archive_.c_str()),
                                                     reinterpret_cast<_ITEM*>(bytes.data())));
    ComPtr<ICairnIDEnum> enumerator;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CairnIDEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnIDEnum,
                                     enumerator.OutVoid()));
    EXPECT_EQ(contents ? S_OK : E_INVALIDARG,
              enumerator->Initialize(reinterpret_cast<_ITEM*>(bytes.data()), SHCONTF_FOLDERS));
    ComPtr<IEnumIDList> items;
    ASSERT_EQ(S_OK, enumerator.As(&items));
    LPITEMIDLIST next = nullptr;
    if (contents) {
      EXPECT_EQ(S_OK, items->Skip(299));
      EXPECT_EQ(S_OK, items->Next(1, &next, nullptr));
      OwnedList last(next);
    }
    EXPECT_EQ(S_FALSE, items->Next(1, &next, nullptr));
  }
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
