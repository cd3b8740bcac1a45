// The folder's archive operations that the extension's other objects call: the shared archive
// object, deleting, opening a read-only copy, extracting, and snapshots from lists.
#include <objbase.h>

#include "CairnFolder.h"
#include "Pidl.h"
#include "ShellTestSupport.h"
#include "ShellText.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

// A folder of this executable's own copy of the class, so that its operations can be called.
class Folder {
 public:
  Folder(const std::string& archive, const std::vector<uint8_t>& subPath) {
    EXPECT_EQ(S_OK, CCairnFolder::Create(IID_ICairnFolder, interface_.OutVoid()));
    const std::vector<uint8_t> empty = ListOf({});
    const auto& path = subPath.empty() ? empty : subPath;
    EXPECT_EQ(S_OK, interface_->FolderInitialize(const_cast<char*>(archive.c_str()),
                                                 reinterpret_cast<_ITEM*>(const_cast<uint8_t*>(path.data()))));
  }
  CCairnFolder* operator->() const { return CCairnFolder::From(interface_.Get()); }
  void Release() { interface_.Reset(); }

 private:
  ComPtr<ICairnFolder> interface_;
};

std::vector<uint8_t> NamedItem(const std::string& name) { return BuildItem(ItemFields{0x10}, name); }

Item ItemOf(const std::vector<uint8_t>& bytes) { return *ReadItem(bytes.data(), bytes.size()); }

std::string ReadText(const std::string& path) { return cairn::testing::ReadFileBytes(path); }

// Files with the extension open with the command while this lives (the test prefix has no
// associations of its own for them).
class Association {
 public:
  Association(const std::string& extension, const std::string& command) : extension_(extension) {
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, extension.c_str(), REG_SZ, kClass, 0));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, (std::string(kClass) + "\\shell\\open\\command").c_str(),
                                          REG_SZ, command.c_str(), 0));
  }
  ~Association() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kClass);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kClass);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, extension_.c_str());
  }
  Association(const Association&) = delete;
  Association& operator=(const Association&) = delete;

 private:
  static constexpr char kClass[] = "CairnTestFile";
  std::string extension_;
};

class FolderOperationsTest : public ArchiveTest {};

TEST(PidlTest, CopiesConcatenationsAndClones) {
  const std::vector<uint8_t> a = ListOf({NamedItem("Snapshot;1")}), b = ListOf({NamedItem("C:\\x"), NamedItem("C:\\x\\y")});
  const std::vector<uint8_t> empty = ListOf({});
  CPidl list;
  EXPECT_EQ(S_OK, list.SetPidl(nullptr));
  EXPECT_EQ(nullptr, list.Get());
  EXPECT_EQ(nullptr, list.Clone());
  EXPECT_EQ(S_OK, list.SetPidl(reinterpret_cast<LPCITEMIDLIST>(empty.data())));
  EXPECT_EQ(nullptr, list.Get());
  EXPECT_EQ(S_OK, list.Concat(reinterpret_cast<LPCITEMIDLIST>(a.data())));
  EXPECT_EQ(S_OK, list.Concat(reinterpret_cast<LPCITEMIDLIST>(b.data())));
  OwnedList clone(list.Clone());
  const std::optional<std::vector<Item>> items = ReadItems(clone.list);
  ASSERT_TRUE(items);
  ASSERT_EQ(3u, items->size());
  EXPECT_EQ("C:\\x\\y", (*items)[2].name);
  EXPECT_EQ(S_OK, list.SetPidl(reinterpret_cast<LPCITEMIDLIST>(a.data())));
  EXPECT_EQ(1u, ReadItems(list.Get())->size());
}

TEST_F(FolderOperationsTest, FoldersShareTheRunningArchiveObject) {
  ComPtr<ICairnArchive> first = GetArchive(archive_);
  ComPtr<ICairnArchive> second = GetArchive(archive_);
  ASSERT_TRUE(first && second);
  ComPtr<IUnknown> a, b;
  first.As(&a);
  second.As(&b);
  EXPECT_EQ(a.Get(), b.Get());
  // A change made through one folder shows in the other at once.
  Folder one(archive_, {}), two(archive_, {});
  const auto snapshot = NamedItem("Snapshot;1");
  EXPECT_TRUE(one->SetSnapshotComment(ItemOf(snapshot), "kept"));
  std::string comment;
  EXPECT_TRUE(two->SnapshotComment(ItemOf(snapshot), &comment));
  EXPECT_EQ("kept", comment);
  two->BuildContents();
  EXPECT_EQ(std::optional<std::string_view>("kept"), FirstItem(two->Contents())->second);
}

TEST_F(FolderOperationsTest, DeletingSnapshotsReportsTheLastDeletion) {
  Folder root(archive_, {});
  const auto missing = NamedItem("Nothing;9"), first = NamedItem("Snapshot;1"), second = NamedItem("Snapshot;2");
  const Item failsThenSucceeds[] = {ItemOf(missing), ItemOf(first)};
  EXPECT_TRUE(root->DeleteItems(failsThenSucceeds, 2, nullptr));
  const Item succeedsThenFails[] = {ItemOf(second), ItemOf(missing)};
  EXPECT_FALSE(root->DeleteItems(succeedsThenFails, 2, nullptr));
  root->BuildContents();
  EXPECT_EQ(nullptr, root->Contents());  // both snapshots are gone
}

TEST_F(FolderOperationsTest, DeletingObjectsMakesASnapshotWithoutThem) {
  Folder inSnapshot(archive_, ListOf({NamedItem("Snapshot;2")}));
  const auto data = NamedItem(data_);
  const Item items[] = {ItemOf(data)};
  EXPECT_TRUE(inSnapshot->DeleteItems(items, 1, nullptr));
  Folder root(archive_, {});
  root->BuildContents();
  const std::optional<std::vector<Item>> snapshots = ReadItems(root->Contents());
  ASSERT_TRUE(snapshots);
  ASSERT_EQ(3u, snapshots->size());
  Folder third(archive_, ListOf({NamedItem(std::string(snapshots->back().name))}));
  third->BuildContents();
  EXPECT_TRUE(ReadItems(third->Contents()) == std::nullopt || ReadItems(third->Contents())->empty());
}

TEST_F(FolderOperationsTest, AnItemShownTwiceReplacesItsReadOnlyCopy) {
  // An association of our own opens the copy with a program that ends at once.
  const Association association(".cairntest", "cmd.exe /c exit");

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string copy = std::string(temp) + "report;2.cairntest";
  {
    Folder inDocs(archive_, ListOf({NamedItem("Snapshot;2"), NamedItem(data_), NamedItem(data_ + "\\docs")}));
    const auto report = NamedItem(data_ + "\\docs\\report.cairntest");
    EXPECT_TRUE(inDocs->DisplayItem(nullptr, ItemOf(report)));
    EXPECT_TRUE(inDocs->DisplayItem(nullptr, ItemOf(report)));
    EXPECT_EQ("second report, longer", ReadText(copy));
    EXPECT_TRUE(GetFileAttributesA(copy.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(inDocs->DisplayItem(nullptr, ItemOf(NamedItem("no such item"))));
    inDocs.Release();
  }
  // The folder removes its copies when it goes.
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(copy.c_str()));
}

TEST_F(FolderOperationsTest, TheLogIsShownFromATemporaryTextFileThatIsRemovedAfterwards) {
  // Text files open, for this test, with a command that keeps a copy of what it was given.
  const std::string copy = Path("log-copy.txt");
  const Association association(".txt", "cmd.exe /c copy \"%1\" \"" + copy + "\"");
  Folder root(archive_, {});
  root->ShowArchiveLog(nullptr);
  for (int i = 0; i < 50 && GetFileAttributesA(copy.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  EXPECT_NE(std::string::npos, ReadText(copy).find("Snapshot;2")) << ReadText(copy);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((std::string(temp) + "Log1.txt").c_str()));
}

TEST_F(FolderOperationsTest, ExtractingWritesTheTreeAndKeepsNewerFilesWhenAsked) {
  Folder inSnapshot(archive_, ListOf({NamedItem("Snapshot;2")}));
  ComPtr<ICairnObject> data = inSnapshot->FindObject(ItemOf(NamedItem(data_)));
  ASSERT_TRUE(data);
  const std::string target = Path("out\\restored");
  EXPECT_TRUE(inSnapshot->ExtractObject(data.Get(), target, false, true, true, true));
  EXPECT_EQ("second report, longer", ReadText(target + "\\docs\\report.cairntest"));
  EXPECT_EQ("deep", ReadText(target + "\\docs\\sub\\deep.bin"));
  EXPECT_EQ("hidden", ReadText(target + "\\hidden.bin"));
  // The restored time is the stored one, which is older than a file written now.
  ASSERT_TRUE(WriteText(target + "\\notes.cairntest", "edited since"));
  EXPECT_TRUE(inSnapshot->ExtractObject(data.Get(), target, false, true, false, true));
  EXPECT_EQ("edited since", ReadText(target + "\\notes.cairntest"));
  EXPECT_EQ("second report, longer", ReadText(target + "\\docs\\report.cairntest"));
  EXPECT_TRUE(inSnapshot->ExtractObject(data.Get(), target, false, true, true, false));
  EXPECT_EQ("notes", ReadText(target + "\\notes.cairntest"));
}

TEST_F(FolderOperationsTest, SnapshotsFromListsRecordWhereAddedItemsLie) {
  const std::string extra = Path("extra");
  ASSERT_TRUE(CreateDirectoryA(extra.c_str(), nullptr));
  ASSERT_TRUE(WriteText(extra + "\\one.bin", "one"));
  Folder root(archive_, {});
  SAFEARRAY* add = SafeArrayCreateVector(VT_BSTR, 0, 1);
  SAFEARRAY* none = SafeArrayCreateVector(VT_BSTR, 0, 0);
  LONG index = 0;
  BSTR path = SysAllocString(FromAnsi(extra).c_str());
  SafeArrayPutElement(add, &index, path);
  SysFreeString(path);
  // The data folder has gone: its link does not lead anywhere new, and the snapshot goes ahead.
  ASSERT_TRUE(MoveFileA(data_.c_str(), Path("moved").c_str()));
  EXPECT_TRUE(root->CreateSnapshotFromLists(add, none, nullptr));
  SafeArrayDestroy(add);
  SafeArrayDestroy(none);

  Folder third(archive_, ListOf({NamedItem("Snapshot;3")}));
  third->BuildContents();
  const std::optional<std::vector<Item>> objects = ReadItems(third->Contents());
  ASSERT_TRUE(objects);
  std::vector<std::string> names;
  for (const Item& item : *objects) names.emplace_back(item.name);
  EXPECT_EQ((std::vector<std::string>{extra}), names);

  // The link to the added folder lies in the named stream of its file name.
  ComPtr<ICairnArchive> archive = GetArchive(archive_);
  ComPtr<ICairnArchiveAdmin> admin;
  ASSERT_TRUE(archive && SUCCEEDED(archive.As(&admin)));
  ComPtr<IStream> stream;
  BSTR name = SysAllocString(L"extra");
  ASSERT_EQ(S_OK, admin->GetStream(name, stream.Out()));
  SysFreeString(name);
  ComPtr<IPersistStream> link;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStream, link.OutVoid()));
  ASSERT_EQ(S_OK, link->Load(stream.Get()));
  ComPtr<IShellLinkA> shellLink;
  ASSERT_EQ(S_OK, link.As(&shellLink));
  char target[MAX_PATH] = {};
  ASSERT_EQ(S_OK, shellLink->GetPath(target, MAX_PATH, nullptr, 0));
  EXPECT_EQ(extra, target);
}

TEST_F(FolderOperationsTest, RevisionListsFolderNamesAndDroppedFiles) {
  Folder inDocs(archive_, ListOf({NamedItem("Snapshot;2"), NamedItem(data_), NamedItem(data_ + "\\docs")}));
  EXPECT_EQ(data_ + "\\docs", inDocs->CurrentFolderName());
  EXPECT_EQ("", Folder(archive_, ListOf({NamedItem("Snapshot;2")}))->CurrentFolderName());
  std::vector<LPITEMIDLIST> revisions = inDocs->RevisionList(ItemOf(NamedItem(data_ + "\\docs\\report.cairntest")));
  std::vector<int32_t> numbers;
  for (LPITEMIDLIST list : revisions) {
    numbers.push_back(OwnedList(list).Read().fields.revision);
  }
  EXPECT_EQ((std::vector<int32_t>{1, 2}), numbers);

  // A drop of one file makes a snapshot that adds it; a drop without files makes none.
  const std::string dropped = Path("dropped.bin");
  ASSERT_TRUE(WriteText(dropped, "dropped"));
  auto drop = [](const std::string& files) {
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + files.size() + 2);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), files.data(), files.size());
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
  };
  Folder root(archive_, {});
  HDROP none = drop("");
  EXPECT_FALSE(root->AddDroppedFiles(none, nullptr));
  GlobalFree(none);
  HDROP one = drop(dropped + std::string(1, '\0'));
  EXPECT_TRUE(root->AddDroppedFiles(one, nullptr));
  GlobalFree(one);
  Folder third(archive_, ListOf({NamedItem("Snapshot;3")}));
  EXPECT_TRUE(third->FindObject(ItemOf(NamedItem(dropped))));
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
