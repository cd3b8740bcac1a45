// The folder's restore operations, which the restore dialog runs: the chosen items of a level or a
// whole snapshot written to a target, and the latest snapshot written back where it came from,
// with their options and progress. Bytes and times are compared with the tree the test made.
#include <objbase.h>

#include <utility>
#include <vector>

#include "AnsiText.h"
#include "ArchiveOperations.h"
#include "Pidl.h"
#include "OfficeDocument.h"
#include "ShellTestSupport.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

std::string ReadText(const std::string& path) { return cairn::testing::ReadFileBytes(path); }

uint64_t WriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
}

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

constexpr ExtractOptions kAll{true, true, true};

class RestoreOperationsTest : public ArchiveTest {
 protected:
  // A new archive of one item, made by cn.
  std::string ArchiveOf(const std::string& item, const std::string& name) {
    const std::string archive = Path(name);
    EXPECT_EQ(1u, RunCn("/c /a \"" + item + "\" \"" + archive + "\"", Path("")));
    return archive;
  }
};

TEST_F(RestoreOperationsTest, ItemsGoToTheTargetItselfOrBelowItUnderTheirBaseNames) {
  const ArchiveOperations inData(archive_, {"Snapshot;2", data_});
  const std::string out = Path("out");
  // Two items into a folder: the folder, a "\" and each base name; the stored bytes and times.
  EXPECT_TRUE(inData.RestoreItems({data_ + "\\notes.cairntest", data_ + "\\hidden.bin"}, out, kAll));
  EXPECT_EQ("notes", ReadText(out + "\\notes.cairntest"));
  EXPECT_EQ("hidden", ReadText(out + "\\hidden.bin"));
  EXPECT_EQ(WriteTime(data_ + "\\notes.cairntest"), WriteTime(out + "\\notes.cairntest"));
  // One folder item is written under the target, with all below it; a drive's root takes no
  // second "\".
  EXPECT_TRUE(inData.RestoreItems({data_ + "\\docs"}, out + "\\", kAll));
  EXPECT_EQ("second report, longer", ReadText(out + "\\docs\\report.cairntest"));
  EXPECT_EQ("deep", ReadText(out + "\\docs\\sub\\deep.bin"));
  // One file item is written to the target path itself.
  EXPECT_TRUE(inData.RestoreItems({data_ + "\\notes.cairntest"}, out + "\\renamed.txt", kAll));
  EXPECT_EQ("notes", ReadText(out + "\\renamed.txt"));
  // The items go from the last to the first; the first that is not there ends the restore after
  // those before it were written.
  EXPECT_FALSE(inData.RestoreItems({data_ + "\\no such item", data_ + "\\system.bin"}, out, kAll));
  EXPECT_EQ("system", ReadText(out + "\\system.bin"));
  EXPECT_FALSE(inData.RestoreItems({}, out, kAll));
  EXPECT_FALSE(inData.RestoreItems({data_ + "\\notes.cairntest"}, "", kAll));
}

TEST_F(RestoreOperationsTest, OverwriteAndTimeOptions) {
  const ArchiveOperations inData(archive_, {"Snapshot;2", data_});
  const std::string notes = data_ + "\\notes.cairntest";
  const uint64_t stored = WriteTime(notes);
  // A newer file on disk stays when newer files are not to be overwritten, and the restore
  // succeeds.
  ASSERT_TRUE(WriteText(notes, "edited since"));
  EXPECT_TRUE(inData.RestoreItems({notes}, notes, ExtractOptions{true, false, true}));
  EXPECT_EQ("edited since", ReadText(notes));
  // With both on, it is replaced, and gets its stored time back.
  EXPECT_TRUE(inData.RestoreItems({notes}, notes, kAll));
  EXPECT_EQ("notes", ReadText(notes));
  EXPECT_EQ(stored, WriteTime(notes));
  // An older file stays when older files are not to be overwritten.
  const std::string old = Path("old.txt");
  ASSERT_TRUE(WriteText(old, "old"));
  FILETIME early{1, 0};
  {
    HANDLE file = CreateFileA(old.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFileTime(file, nullptr, nullptr, &early);
    CloseHandle(file);
  }
  EXPECT_TRUE(inData.RestoreItems({notes}, old, ExtractOptions{false, true, true}));
  EXPECT_EQ("old", ReadText(old));
  // Without the modification time the file keeps the time it was written. The file system's
  // clock may lag the system's by a tick: 50 ms are allowed (the stored time is seconds older).
  const uint64_t before = Now() - 500000;
  EXPECT_TRUE(inData.RestoreItems({notes}, old, ExtractOptions{true, true, false}));
  EXPECT_EQ("notes", ReadText(old));
  EXPECT_GE(WriteTime(old), before);
}

TEST_F(RestoreOperationsTest, SnapshotsAreWrittenWholeAndTheLatestGoesBackWhereItCameFrom) {
  const ArchiveOperations root(archive_, {});
  const std::string out = Path("out");
  std::vector<std::pair<size_t, size_t>> progress;
  const auto record = [&progress](size_t done, size_t total) { progress.emplace_back(done, total); };
  // A snapshot of one folder: the folder below the target, every file counted once.
  EXPECT_TRUE(root.RestoreItems({"Snapshot;1"}, out, kAll, record));
  EXPECT_EQ("first report", ReadText(out + "\\data\\docs\\report.cairntest"));
  EXPECT_EQ("system", ReadText(out + "\\data\\system.bin"));
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(std::make_pair(size_t{0}, size_t{5}), progress.front());
  EXPECT_EQ(std::make_pair(size_t{5}, size_t{5}), progress.back());
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1].first, progress[i].first);
  EXPECT_FALSE(root.RestoreItems({"Snapshot;9"}, out, kAll));

  // A snapshot whose only top-level object is a file: the file is the target itself.
  const std::string single = Path("single.txt");
  ASSERT_TRUE(WriteText(single, "single"));
  const ArchiveOperations singleRoot(ArchiveOf(single, "single.crn"), {});
  EXPECT_TRUE(singleRoot.RestoreItems({"Snapshot;1"}, out + "\\one.txt", kAll));
  EXPECT_EQ("single", ReadText(out + "\\one.txt"));

  // The latest snapshot, to a target or back to its own place.
  EXPECT_TRUE(root.RestoreLatestSnapshot(out + "\\latest", kAll));
  EXPECT_EQ("second report, longer", ReadText(out + "\\latest\\data\\docs\\report.cairntest"));
  ASSERT_TRUE(DeleteFileA((data_ + "\\docs\\sub\\deep.bin").c_str()));
  ASSERT_TRUE(WriteText(single, "changed"));
  EXPECT_TRUE(root.RestoreLatestSnapshot("", kAll));
  EXPECT_EQ("deep", ReadText(data_ + "\\docs\\sub\\deep.bin"));
  EXPECT_TRUE(singleRoot.RestoreLatestSnapshot("", kAll));
  EXPECT_EQ("single", ReadText(single));
  // An archive without snapshots restores nothing, successfully.
  ASSERT_TRUE(root.DeleteItems({"Snapshot;1", "Snapshot;2"}, nullptr));
  EXPECT_TRUE(root.RestoreLatestSnapshot(out + "\\none", kAll));
  EXPECT_FALSE(Exists(out + "\\none"));
}

TEST_F(RestoreOperationsTest, CompoundDocumentsAreRebuiltElementByElement) {
  const std::string document = Path("document.cairndoc");
  {
    ComPtr<IStorage> storage, inner;
    ComPtr<IStream> stream;
    ULONG written = 0;
    const DWORD mode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    ASSERT_EQ(S_OK, StgCreateDocfile(FromAnsi(document).c_str(), mode, 0, storage.Out()));
    ASSERT_EQ(S_OK, storage->CreateStream(L"Contents", mode, 0, 0, stream.Out()));
    ASSERT_EQ(S_OK, stream->Write("top level", 9, &written));
    ASSERT_EQ(S_OK, storage->CreateStorage(L"Parts", mode, 0, 0, inner.Out()));
    ASSERT_EQ(S_OK, inner->CreateStream(L"Inner", mode, 0, 0, stream.Out()));
    ASSERT_EQ(S_OK, stream->Write("deeper", 6, &written));
  }
  const ArchiveOperations root(ArchiveOf(document, "document.crn"), {});
  const std::string out = Path("restored.cairndoc");
  ASSERT_TRUE(root.RestoreItems({"Snapshot;1"}, out, kAll));
  ComPtr<IStorage> storage, inner;
  ComPtr<IStream> stream;
  char text[16] = {};
  ULONG read = 0;
  ASSERT_EQ(S_OK, StgOpenStorage(FromAnsi(out).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                 storage.Out()));
  ASSERT_EQ(S_OK, storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out()));
  ASSERT_EQ(S_OK, stream->Read(text, sizeof text, &read));
  EXPECT_EQ("top level", std::string(text, read));
  ASSERT_EQ(S_OK, storage->OpenStorage(L"Parts", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, inner.Out()));
  ASSERT_EQ(S_OK, inner->OpenStream(L"Inner", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out()));
  ASSERT_EQ(S_OK, stream->Read(text, sizeof text, &read));
  EXPECT_EQ("deeper", std::string(text, read));
}

// An office document's control-character and device-like element names are its own: each
// snapshot comes back element for element, to a target and back to its place.
TEST_F(RestoreOperationsTest, OfficeDocumentsComeBackFromEachSnapshot) {
  using cairn::testing::ReadDocumentElements;
  const std::string document = Path("report.doc");
  const std::wstring wide = FromAnsi(document);
  ASSERT_TRUE(cairn::testing::WriteOfficeDocument(wide, 1));
  const auto first = ReadDocumentElements(wide);
  const std::string archive = ArchiveOf(document, "office.crn");
  ASSERT_TRUE(cairn::testing::WriteOfficeDocument(wide, 2));
  const auto second = ReadDocumentElements(wide);
  ASSERT_EQ(1u, RunCn("/a \"" + document + "\" \"" + archive + "\"", Path("")));
  const ArchiveOperations root(archive, {});
  const std::string out = Path("restored.doc");
  ASSERT_TRUE(root.RestoreItems({"Snapshot;1"}, out, kAll));
  EXPECT_EQ(first, ReadDocumentElements(FromAnsi(out)));
  ASSERT_TRUE(root.RestoreItems({"Snapshot;2"}, out, kAll));
  EXPECT_EQ(second, ReadDocumentElements(FromAnsi(out)));
  ASSERT_TRUE(cairn::testing::WriteOfficeDocument(wide, 3));
  ASSERT_TRUE(root.RestoreLatestSnapshot("", kAll));
  EXPECT_EQ(second, ReadDocumentElements(wide));
}

TEST_F(RestoreOperationsTest, ATopLevelBaseNameThatCannotBeWrittenFailsItsObject) {
  // An object added as "folder\." is stored so; its base name "." would be the target itself.
  const std::string odd = Path("odd");
  ASSERT_TRUE(CreateDirectoryA(odd.c_str(), nullptr));
  ASSERT_TRUE(WriteText(odd + "\\inside.txt", "inside"));
  const ArchiveOperations root(archive_, {});
  ASSERT_TRUE(root.CreateSnapshotFromLists({FromAnsi(odd + "\\.")}, {}, nullptr));
  const std::vector<uint8_t> items = ArchiveOperations(archive_, {"Snapshot;3"}).LevelItems();
  const std::vector<uint8_t> list = ListOf({items});
  const std::optional<std::vector<Item>> stored = ReadItems(reinterpret_cast<LPCITEMIDLIST>(list.data()), 10);
  ASSERT_TRUE(stored && stored->size() == 2);
  ASSERT_TRUE(stored->front().name == odd + "\\." || stored->back().name == odd + "\\.");
  const std::string out = Path("out");
  EXPECT_FALSE(root.RestoreItems({"Snapshot;3"}, out, kAll));
  EXPECT_FALSE(Exists(out + "\\inside.txt"));
  EXPECT_FALSE(Exists(Path("inside.txt")));
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
