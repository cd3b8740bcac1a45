// The archive options that change how snapshots find changes. 0x10: a file whose size,
// last-write time and attributes are those of its newest revision is unchanged and is not read,
// a compound document tested as a whole file; anything else is compared by content as without
// the option. 0x20: an insertion wider than the probe window leaves one Deletion behind.
#include "SnapshotFixture.h"

#include <cstring>

namespace cairn {
namespace {

using testing::SnapshotTest;

// A file's last-write time exactly (the library's file times may round it).
FILETIME Modified(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  return data.ftLastWriteTime;
}
void SetModified(const std::wstring& path, FILETIME time) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
  CloseHandle(file);
}
FILETIME HourLater(FILETIME time) {
  const uint64_t t = (static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) + 36000000000ull;
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

TEST_F(SnapshotTest, WithTimeAndSizeAFileThatKeepsThemIsNotRead) {
  ASSERT_EQ(admin_->SetOptions(0x10), S_OK);
  Write("a.txt", "first");
  Write("b.txt", "other");
  ASSERT_EQ(Snapshot({Path()}), S_OK) << Log();
  const FILETIME written = Modified(Path("a.txt"));

  // New bytes of the same size under the old time: not read, so no change.
  Write("a.txt", "FIRST");
  SetModified(Path("a.txt"), written);
  EXPECT_EQ(Snapshot({}), S_FALSE) << Log();
  // A new time with the same bytes is compared, and is no change either.
  Write("b.txt", "other");
  SetModified(Path("b.txt"), HourLater(written));
  EXPECT_EQ(Snapshot({}), S_FALSE) << Log();
  // A new size is a change; without the option the edit under the old time is found too.
  Write("b.txt", "other, longer");
  LONG number = 0;
  ASSERT_EQ(Snapshot({}, {}, &number), S_OK) << Log();
  EXPECT_EQ(Tree(number)[L"b.txt"], "other, longer");
  EXPECT_EQ(Tree(number)[L"a.txt"], "first");
  ASSERT_EQ(admin_->SetOptions(0), S_OK);
  ASSERT_EQ(Snapshot({}, {}, &number), S_OK) << Log();
  EXPECT_EQ(Tree(number)[L"a.txt"], "FIRST");
}

TEST_F(SnapshotTest, WithTimeAndSizeACompoundDocumentIsTestedAsAWholeFile) {
  ASSERT_EQ(admin_->SetOptions(0x10), S_OK);
  const std::wstring path = Path("doc.ole");
  auto writeDocument = [&](const char* body) {
    ComPtr<IStorage> document;
    ComPtr<IStream> stream;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, document.Out()), S_OK);
    ASSERT_EQ(document->CreateStream(L"Contents", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), S_OK);
    ULONG n = 0;
    stream->Write(body, static_cast<ULONG>(std::strlen(body)), &n);
  };
  writeDocument("first body");
  ASSERT_EQ(Snapshot({Path()}), S_OK) << Log();
  const FILETIME written = Modified(path);
  writeDocument("FIRST BODY");
  SetModified(path, written);
  EXPECT_EQ(Snapshot({}), S_FALSE) << Log();
  EXPECT_EQ(Tree(1)[L"doc.ole\\Contents"], "first body");
  SetModified(path, HourLater(written));
  LONG number = 0;
  ASSERT_EQ(Snapshot({}, {}, &number), S_OK) << Log();
  EXPECT_EQ(Tree(number)[L"doc.ole\\Contents"], "FIRST BODY");
}

TEST_F(SnapshotTest, FindingMovedDataLeavesOneDeletionForAWideInsertion) {
  std::string content;
  for (int i = 0; content.size() < 300000; ++i) content += "line " + std::to_string(i * 7919 % 100003) + "\n";
  std::string inserted = content;
  std::string wide;
  for (int i = 0; wide.size() < 20000; ++i) wide += "inserted " + std::to_string(i) + "\n";
  inserted.insert(150001, wide);
  for (LONG options : {0x01, 0x21}) {
    SCOPED_TRACE(options);
    archive_ = testing::LoadArchive(dir_.Path("moved" + std::to_string(options) + ".crn"));
    ASSERT_TRUE(archive_);
    ASSERT_EQ(archive_.As(&admin_), S_OK);
    ASSERT_EQ(admin_->SetOptions(options), S_OK);
    Write("big.txt", content);
    ASSERT_EQ(Snapshot({Path("big.txt")}), S_OK) << Log();
    Write("big.txt", inserted);
    ASSERT_EQ(Snapshot({}), S_OK) << Log();
    // Snapshot 1's revision now holds the differences back from snapshot 2's content.
    ComPtr<IEnumCairnObjects> objects = TopLevelObjects(2);
    ComPtr<ICairnObject> object;
    ComPtr<IEnumCairnRevisions> revisions;
    ComPtr<ICairnRevision> oldest;
    ASSERT_EQ(objects->Next(0, object.Out()), S_OK);
    ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
    ASSERT_EQ(revisions->Next(0, oldest.Out()), S_OK);
    long insertions = 0, deletions = 0, changes = 0;
    ASSERT_EQ(oldest->GetChanges(&insertions, &deletions, &changes), S_OK);
    if (options & 0x20) {
      EXPECT_EQ(insertions + deletions + changes, 1);
      EXPECT_EQ(deletions, 1);
    } else {
      EXPECT_GT(changes, 100) << "past the window the rest of the file becomes Changes";
    }
    const std::map<std::wstring, std::string> first = Tree(1), second = Tree(2);
    EXPECT_TRUE(first.at(L"big.txt") == content);
    EXPECT_TRUE(second.at(L"big.txt") == inserted);
  }
}

}  // namespace
}  // namespace cairn
