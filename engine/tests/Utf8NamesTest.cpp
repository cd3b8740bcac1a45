// Archives whose names are UTF-8: names outside every code page are archived and read back as
// they are, stored as UTF-8 bytes and told apart character by character; the encoding can be
// chosen only before the first snapshot.
#include "SnapshotFixture.h"

#include "ArchiveHeap.h"
#include "ArchiveRecords.h"
#include "PlatformFile.h"

namespace cairn {
namespace {

using testing::SnapshotTest;
namespace fs = std::filesystem;

constexpr LONG kUtf8Names = 0x40;
const char* const kNames[] = {"na\xC3\xAFve caf\xC3\xA9.txt", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt",
                              "emoji \xF0\x9F\x98\x80.txt"};

std::wstring Wide(const std::string& utf8) { return fs::u8path(utf8).wstring(); }

TEST_F(SnapshotTest, WithUtf8NamesEveryNameIsArchivedAndReadBackAsItIs) {
  ASSERT_EQ(admin_->SetOptions(kUtf8Names), S_OK);
  for (const char* name : kNames) Write(std::string("sub\\") + name, name);
  // U+00CA and U+00DA: letters whose UTF-8 bytes a code page's letter case would fold together.
  Write("\xC3\x8A.txt", "E circumflex");
  Write("\xC3\x9A.txt", "U acute");
  ASSERT_EQ(Snapshot({Path()}, {}, nullptr, L"Week \U0001F600"), S_OK) << Log();
  std::map<std::wstring, std::string> tree = Tree(1);
  for (const char* name : kNames) EXPECT_EQ(tree[L"sub\\" + Wide(name)], name) << name;
  EXPECT_EQ(tree[Wide("\xC3\x8A.txt")], "E circumflex");
  EXPECT_EQ(tree[Wide("\xC3\x9A.txt")], "U acute");
  EXPECT_EQ(tree.size(), 7u);

  // The snapshot's name and comment, and a lookup by an object's wide name.
  ComPtr<IEnumSnapShots> snapshots;
  ComPtr<ICairnSnapShot> snapshot;
  ASSERT_EQ(archive_->EnumSnapShots(0, snapshots.Out()), S_OK);
  ASSERT_EQ(snapshots->Last(1, snapshot.Out()), S_OK);
  Bstr text;
  ASSERT_EQ(snapshot->GetName(text.Out()), S_OK);
  EXPECT_EQ(text.Text(), L"Week \U0001F600;1");
  const Bstr comment(L"caf\u00E9 \u65E5\u672C \U0001F600");
  ASSERT_EQ(snapshot->SetComment(comment.Get()), S_OK);
  ASSERT_EQ(snapshot->GetComment(text.Out()), S_OK);
  EXPECT_EQ(text.Text(), comment.Text());
  ComPtr<IEnumCairnObjects> objects;
  ComPtr<ICairnObject> object;
  ASSERT_EQ(snapshot->EnumCairnObjects(0, objects.Out()), S_OK);
  const Bstr wanted(Path().c_str());
  EXPECT_EQ(objects->NextByName(wanted.Get(), object.Out()), S_OK);

  // Unchanged files stay unchanged: every name is found again.
  EXPECT_EQ(Snapshot({}), S_FALSE) << Log();

  // The bytes stored are the names' UTF-8.
  admin_.Reset();
  snapshot.Reset();
  object.Reset();
  objects.Reset();
  snapshots.Reset();
  archive_.Reset();
  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), dir_.Path("snapshots.crn"), false, false, &heap), S_OK);
  const SnapshotRecord first(*heap, heap->HeaderField(header::kSnapshotList));
  std::string stored;
  ASSERT_EQ(ReadString(*heap, first.Name(), &stored), S_OK);
  EXPECT_EQ(stored, "Week \xF0\x9F\x98\x80;1");
  ASSERT_EQ(ReadString(*heap, ObjectRecord(*heap, ListNode(*heap, first.Entries()).Object()).Name(), &stored), S_OK);
  EXPECT_EQ(stored, fs::path(Path()).u8string());
}

TEST_F(SnapshotTest, TheNamesEncodingIsChosenOnlyBeforeTheFirstSnapshot) {
  ASSERT_EQ(admin_->SetOptions(kUtf8Names | 0x01), S_OK);
  ASSERT_EQ(admin_->SetOptions(0x01), S_OK);  // no snapshot yet: still free to change
  Write(kNames[1], "x");
  ASSERT_EQ(Snapshot({Path()}), S_OK) << Log();
  EXPECT_EQ(Tree(1).count(L"."), 1u);
  EXPECT_EQ(Tree(1).count(Wide(kNames[1])), 0u) << "without the bit the code page decides";

  LONG options = 0;
  EXPECT_EQ(admin_->SetOptions(kUtf8Names | 0x01), E_INVALIDARG);
  ASSERT_EQ(admin_->GetOptions(&options), S_OK);
  EXPECT_EQ(options, 0x01);
  EXPECT_EQ(admin_->SetOptions(0x03), S_OK) << "other bits stay free";
  // Deleted, the snapshot's names are still stored in their encoding.
  const Bstr name(L"Snapshot;1");
  ASSERT_EQ(archive_->DeleteSnapShot(name.Get()), S_OK);
  EXPECT_EQ(admin_->SetOptions(kUtf8Names), E_INVALIDARG);
  ASSERT_EQ(admin_->GetOptions(&options), S_OK);
  EXPECT_EQ(options, 0x03);
}

TEST_F(SnapshotTest, WithUtf8NamesANameWithALoneSurrogateIsLeftOutAndSaidSo) {
  ASSERT_EQ(admin_->SetOptions(kUtf8Names), S_OK);
  Write("kept.txt", "kept");
  const std::wstring lone = Path() + L"\\x\xD800.txt";
  ASSERT_EQ(Snapshot({Path("kept.txt"), lone}), S_OK) << Log();
  EXPECT_EQ(Tree(1).size(), 1u);
  // Logged as missing under the name as stored, the surrogate replaced.
  EXPECT_NE(Log().find("x\xEF\xBF\xBD.txt"), std::string::npos) << Log();
}

}  // namespace
}  // namespace cairn
