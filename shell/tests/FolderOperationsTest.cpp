// The archive operations of a level, which the folder and the view's workers hold as values: the
// shared archive object, deleting, opening a read-only copy (through the folder, which removes
// it), extracting, and snapshots from lists.
#include <objbase.h>

#include <algorithm>
#include <utility>

#include "AnsiText.h"
#include "ArchiveAccess.h"
#include "ArchiveOperations.h"
#include "CairnFolder.h"
#include "FileList.h"
#include "GlobalMemory.h"
#include "Pidl.h"
#include "RestoreWriter.h"
#include "ShellTestSupport.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

std::vector<uint8_t> NamedItem(const std::string& name) { return BuildItem(ItemFields{0x10}, name); }

// The stored names of a level's items.
std::vector<std::string> Names(const std::vector<uint8_t>& items) {
  std::vector<std::string> names;
  const std::vector<uint8_t> list = ListOf({items});
  if (const std::optional<std::vector<Item>> read = ReadItems(reinterpret_cast<LPCITEMIDLIST>(list.data()), 1000))
    for (const Item& item : *read) names.emplace_back(item.name);
  return names;
}

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
  EXPECT_FALSE(list.Clone());
  EXPECT_EQ(S_OK, list.SetPidl(reinterpret_cast<LPCITEMIDLIST>(empty.data())));
  EXPECT_EQ(nullptr, list.Get());
  EXPECT_EQ(S_OK, list.Concat(reinterpret_cast<LPCITEMIDLIST>(a.data())));
  const CPidl first = list;  // a value: later changes leave the copy alone
  EXPECT_EQ(S_OK, list.Concat(reinterpret_cast<LPCITEMIDLIST>(b.data())));
  const IdList clone = list.Clone();
  const std::optional<std::vector<Item>> items = ReadItems(clone.Get());
  ASSERT_TRUE(items);
  ASSERT_EQ(3u, items->size());
  EXPECT_EQ("C:\\x\\y", (*items)[2].name);
  EXPECT_EQ(1u, ReadItems(first.Get())->size());
  EXPECT_EQ(S_OK, list.SetPidl(reinterpret_cast<LPCITEMIDLIST>(a.data())));
  EXPECT_EQ(1u, ReadItems(list.Get())->size());
  const std::vector<uint8_t> broken = {0x05, 0x00, 0x00, 0x00};
  EXPECT_EQ(E_INVALIDARG, list.SetPidl(reinterpret_cast<LPCITEMIDLIST>(broken.data())));
  EXPECT_EQ(nullptr, list.Get());
}

TEST_F(FolderOperationsTest, DeletingSnapshotsReportsTheLastDeletion) {
  const ArchiveOperations root(archive_, {});
  EXPECT_FALSE(root.DeleteItems({}, nullptr));
  EXPECT_TRUE(root.DeleteItems({"Nothing;9", "Snapshot;1"}, nullptr));
  EXPECT_FALSE(root.DeleteItems({"Snapshot;2", "Nothing;9"}, nullptr));
  EXPECT_TRUE(root.LevelItems().empty());  // both snapshots are gone
}

TEST_F(FolderOperationsTest, DeletingObjectsMakesASnapshotWithoutThem) {
  EXPECT_TRUE(ArchiveOperations(archive_, {"Snapshot;2"}).DeleteItems({data_}, nullptr));
  const std::vector<std::string> snapshots = Names(ArchiveOperations(archive_, {}).LevelItems());
  ASSERT_EQ(3u, snapshots.size());
  EXPECT_TRUE(ArchiveOperations(archive_, {snapshots.back()}).LevelItems().empty());
}

TEST_F(FolderOperationsTest, AnItemShownTwiceReplacesItsReadOnlyCopy) {
  // An association of our own opens the copy with a program that ends at once.
  const Association association(".cairntest", "cmd.exe /c exit");

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string copy = std::string(temp) + "report;2.cairntest";
  {
    // A folder of this executable's own copy of the class, reached as the view reaches it.
    ComPtr<ICairnFolder> folder;
    ASSERT_EQ(S_OK, CCairnFolder::Create(IID_ICairnFolder, folder.OutVoid()));
    std::vector<uint8_t> subPath = ListOf({NamedItem("Snapshot;2"), NamedItem(data_), NamedItem(data_ + "\\docs")});
    ASSERT_EQ(S_OK, folder->FolderInitialize(const_cast<char*>(archive_.c_str()), reinterpret_cast<_ITEM*>(subPath.data())));
    ComPtr<IArchiveFolder> inDocs;
    ASSERT_EQ(S_OK, folder.As(&inDocs));
    const std::vector<uint8_t> report = ListOf({NamedItem(data_ + "\\docs\\report.cairntest")});
    const auto item = reinterpret_cast<LPCITEMIDLIST>(report.data());
    EXPECT_EQ(S_OK, inDocs->DisplayItem(nullptr, item));
    EXPECT_EQ(S_OK, inDocs->DisplayItem(nullptr, item));
    EXPECT_EQ("second report, longer", ReadText(copy));
    EXPECT_TRUE(GetFileAttributesA(copy.c_str()) & FILE_ATTRIBUTE_READONLY);
    const std::vector<uint8_t> missing = ListOf({NamedItem("no such item")});
    EXPECT_EQ(E_FAIL, inDocs->DisplayItem(nullptr, reinterpret_cast<LPCITEMIDLIST>(missing.data())));
  }
  // The folder removes its copies when it goes.
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(copy.c_str()));
}

TEST_F(FolderOperationsTest, TheLogIsShownFromATemporaryTextFileThatWaitsForASlowViewer) {
  // Text files open, for this test, with a viewer that starts two seconds late and keeps a copy of
  // what it was given.
  const std::string copy = Path("log-copy.txt");
  const Association association(".txt", "cmd.exe /c ping -n 3 127.0.0.1 >nul & copy \"%1\" \"" + copy + "\"");
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string log = std::string(temp) + "Log1.txt";
  ArchiveOperations(archive_, {}).ShowArchiveLog(nullptr);
  for (const DWORD start = GetTickCount(); !ReadText(copy).size() && GetTickCount() - start < 60000;) Sleep(100);
  EXPECT_NE(std::string::npos, ReadText(copy).find("Snapshot;2")) << ReadText(copy);
  // The file waits for the next show, which writes it anew.
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(log.c_str()));
  ASSERT_EQ(1u, RunCn("/c /a \"" + data_ + "\\notes.cairntest\" \"" + Path("other.crn") + "\"", Path("")));
  ASSERT_TRUE(DeleteFileA(copy.c_str()));
  ArchiveOperations(Path("other.crn"), {}).ShowArchiveLog(nullptr);
  EXPECT_EQ(std::string::npos, ReadText(log).find("Snapshot;2"));
  for (const DWORD start = GetTickCount(); !ReadText(copy).size() && GetTickCount() - start < 60000;) Sleep(100);
  EXPECT_NE(std::string::npos, ReadText(copy).find("Snapshot;1")) << ReadText(copy);
}

TEST_F(FolderOperationsTest, ExtractingWritesTheTreeAndKeepsNewerFilesWhenAsked) {
  const ArchiveOperations inSnapshot(archive_, {"Snapshot;2"});
  ComPtr<ICairnObject> data = inSnapshot.FindObject(data_);
  ASSERT_TRUE(data);
  const std::string target = Path("out\\restored");
  EXPECT_TRUE(inSnapshot.ExtractObject(data.Get(), target, ExtractOptions{true, true, true}));
  EXPECT_EQ("second report, longer", ReadText(target + "\\docs\\report.cairntest"));
  EXPECT_EQ("deep", ReadText(target + "\\docs\\sub\\deep.bin"));
  EXPECT_EQ("hidden", ReadText(target + "\\hidden.bin"));
  // The restored time is the stored one, which is older than a file written now.
  ASSERT_TRUE(WriteText(target + "\\notes.cairntest", "edited since"));
  EXPECT_TRUE(inSnapshot.ExtractObject(data.Get(), target, ExtractOptions{true, false, true}));
  EXPECT_EQ("edited since", ReadText(target + "\\notes.cairntest"));
  EXPECT_EQ("second report, longer", ReadText(target + "\\docs\\report.cairntest"));
  EXPECT_TRUE(inSnapshot.ExtractObject(data.Get(), target, ExtractOptions{true, true, false}));
  EXPECT_EQ("notes", ReadText(target + "\\notes.cairntest"));
}

// The restore writer cn and the extension share, with each one's rules, where a file stands in
// the place of a folder to be written.
TEST_F(FolderOperationsTest, AFolderThatCannotBeMadeEndsCnsRestoreAndIsPassedOverByTheExtensions) {
  ComPtr<ICairnObject> data = ArchiveOperations(archive_, {"Snapshot;2"}).FindObject(data_);
  ComPtr<ICairnRevision> revision;
  ASSERT_TRUE(data && LatestRevision(data.Get(), &revision) == S_OK);
  const std::string target = Path("out");
  ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
  ASSERT_TRUE(WriteText(target + "\\docs", "in the way"));
  std::vector<std::pair<RestoreEvent, std::wstring>> events;
  const auto record = [&events](RestoreEvent event, const std::wstring& subject) { events.emplace_back(event, subject); };

  // cn's rules: the folder that cannot be made ends the object, and is named.
  EXPECT_FALSE(RestoreWriter(RestoreOptions{}, record).WriteObject(revision.Get(), FromAnsi(data_), FromAnsi(target)));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(RestoreEvent::kFolderNotMade, events.back().first);
  EXPECT_EQ(FromAnsi(target + "\\docs"), events.back().second);

  // The extension's: it is passed over, and everything beside it written.
  events.clear();
  RestoreOptions extension;
  extension.skipFolderNotMade = true;
  EXPECT_TRUE(RestoreWriter(extension, record).WriteObject(revision.Get(), FromAnsi(data_), FromAnsi(target)));
  const auto seen = [&events](RestoreEvent event, const std::string& path) {
    return std::count(events.begin(), events.end(), std::make_pair(event, FromAnsi(path)));
  };
  EXPECT_EQ(1, seen(RestoreEvent::kFolderSkipped, target + "\\docs"));
  EXPECT_EQ(1, seen(RestoreEvent::kWritten, target + "\\notes.cairntest"));
  EXPECT_EQ("notes", ReadText(target + "\\notes.cairntest"));
  EXPECT_EQ("in the way", ReadText(target + "\\docs"));
}

TEST_F(FolderOperationsTest, SnapshotsFromListsRecordWhereAddedItemsLie) {
  const std::string extra = Path("extra");
  ASSERT_TRUE(CreateDirectoryA(extra.c_str(), nullptr));
  ASSERT_TRUE(WriteText(extra + "\\one.bin", "one"));
  const ArchiveOperations root(archive_, {});
  // The data folder has gone: its link does not lead anywhere new, and the snapshot goes ahead.
  ASSERT_TRUE(MoveFileA(data_.c_str(), Path("moved").c_str()));
  EXPECT_TRUE(root.CreateSnapshotFromLists({FromAnsi(extra)}, {}, nullptr));
  EXPECT_EQ((std::vector<std::string>{extra}), Names(ArchiveOperations(archive_, {"Snapshot;3"}).LevelItems()));

  // The link to the added folder lies in the named stream of its file name.
  ComPtr<ICairnArchive> archive = root.ArchiveToRead();
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
  const ArchiveOperations inDocs(archive_, {"Snapshot;2", data_, data_ + "\\docs"});
  EXPECT_EQ(data_ + "\\docs", inDocs.CurrentFolderName());
  EXPECT_EQ("", ArchiveOperations(archive_, {"Snapshot;2"}).CurrentFolderName());
  std::vector<int32_t> numbers;
  for (const std::vector<uint8_t>& item : inDocs.RevisionItems(data_ + "\\docs\\report.cairntest"))
    numbers.push_back(ReadItem(item.data(), item.size())->fields.revision);
  EXPECT_EQ((std::vector<int32_t>{1, 2}), numbers);

  // A drop of one file makes a snapshot that adds it; a drop without files makes none.
  const std::string dropped = Path("dropped.bin");
  ASSERT_TRUE(WriteText(dropped, "dropped"));
  auto drop = [](const std::string& files) {
    GlobalMemory memory(GlobalAlloc(GHND, sizeof(DROPFILES) + files.size() + 2));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory.Get()));
    header->pFiles = sizeof(DROPFILES);
    memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), files.data(), files.size());
    GlobalUnlock(memory.Get());
    return memory;
  };
  const ArchiveOperations root(archive_, {});
  const GlobalMemory none = drop("");
  EXPECT_EQ(std::vector<std::wstring>{}, DroppedPaths(none.Get()));
  EXPECT_FALSE(root.AddFiles({}, nullptr));
  const GlobalMemory one = drop(dropped + std::string(1, '\0'));
  EXPECT_EQ((std::vector<std::wstring>{FromAnsi(dropped)}), DroppedPaths(one.Get()));
  EXPECT_TRUE(root.AddFiles(*DroppedPaths(one.Get()), nullptr));
  EXPECT_TRUE(ArchiveOperations(archive_, {"Snapshot;3"}).FindObject(dropped));
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
