// Walking an archive's history through the engine: snapshot, object and revision enumerators,
// the as-at selection, names and comments of snapshots.
#include "EngineTestSupport.h"

#include <type_traits>

#include "ArchiveOpen.h"
#include "ArchiveRecords.h"

namespace cairn {
namespace {

using testing::LoadArchive;

// Three live snapshots, and an object whose revisions are stamped as at snapshots 1, 2 and 3
// reached as an entry of each.
class NavigationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("history.crn");
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path_, true, true, &heap), S_OK);
    testing::ArchiveBuilder b(*heap);
    const uint32_t file = b.Object("C:\\Data\\report.txt");
    const uint32_t folder = b.Object("C:\\Data");
    const uint32_t child = b.Object("C:\\Data\\sub");
    for (int32_t n = 1; n <= 3; ++n) {
      const uint32_t snapshot = b.Snapshot(n == 2 ? "Autosnap" : "Snapshot", 0x11);
      ASSERT_NE(snapshot, 0u);
      b.Revision(file, NumberedStamp(n), 0x20, 10 * n);
      b.Push(snapshot + 8, file);
      if (n == 1) {
        const uint32_t folderRevision = b.Revision(folder, NumberedStamp(1), kFolderAttribute, 0);
        b.Revision(child, NumberedStamp(1), kFolderAttribute, 0);
        b.Push(folderRevision + 12, child);
        b.Push(snapshot + 8, folder);
      }
    }
    heap.reset();
    archive_ = LoadArchive(path_);
    ASSERT_TRUE(archive_);
  }

  ComPtr<IEnumSnapShots> Snapshots() {
    ComPtr<IEnumSnapShots> snapshots;
    EXPECT_EQ(archive_->EnumSnapShots(0, snapshots.Out()), S_OK);
    return snapshots;
  }
  static LONG NumberOf(ICairnSnapShot* snapshot) {
    LONG number = -1;
    EXPECT_EQ(snapshot->GetSnapShot(&number), S_OK);
    return number;
  }
  // The revisions of the report file as seen from snapshot n.
  ComPtr<IEnumCairnRevisions> RevisionsAsAt(LONG n) {
    ComPtr<IEnumSnapShots> snapshots = Snapshots();
    ComPtr<ICairnSnapShot> snapshot;
    for (LONG i = 0; i < n; ++i) EXPECT_EQ(snapshots->Next(3, snapshot.Out()), S_OK);
    ComPtr<IEnumCairnObjects> objects;
    ComPtr<ICairnObject> object;
    ComPtr<IEnumCairnRevisions> revisions;
    EXPECT_EQ(snapshot->EnumCairnObjects(0, objects.Out()), S_OK);
    Bstr name(L"C:\\Data\\report.txt");
    EXPECT_EQ(objects->NextByName(name.Get(), object.Out()), S_OK);
    EXPECT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
    return revisions;
  }
  static LONG RevisionNumber(ICairnRevision* revision) {
    LONG number = -1;
    EXPECT_EQ(revision->GetRevision(&number), S_OK);
    return number;
  }

  // Walks the whole archive until an enumerator fails: it must fail with kCorruptArchive, again
  // when asked once more, and the log must name the module.
  void CheckDamageIsReported(const char* what, const char* module);

  testing::TempDir dir_;
  std::string path_;
  ComPtr<ICairnArchive> archive_;
};

TEST_F(NavigationTest, EmptyArchiveHasNoSnapshots) {
  ComPtr<ICairnArchive> empty = LoadArchive(dir_.Path("empty.crn"));
  ComPtr<IEnumSnapShots> snapshots;
  ASSERT_EQ(empty->EnumSnapShots(0, snapshots.Out()), S_OK);
  ComPtr<ICairnSnapShot> snapshot;
  EXPECT_EQ(snapshots->Next(3, snapshot.Out()), S_FALSE);
  EXPECT_FALSE(snapshot);
  EXPECT_EQ(snapshots->Last(3, snapshot.Out()), S_FALSE);
  EXPECT_EQ(snapshots->Prev(3, snapshot.Out()), S_FALSE);
  EXPECT_EQ(snapshots->Next(3, nullptr), E_POINTER);
}

TEST_F(NavigationTest, SnapshotWalksFollowTheFlags) {
  ComPtr<IEnumSnapShots> snapshots = Snapshots();
  ComPtr<ICairnSnapShot> snapshot;
  std::vector<LONG> seen;
  while (snapshots->Next(1, snapshot.Out()) == S_OK) seen.push_back(NumberOf(snapshot.Get()));
  EXPECT_EQ(seen, (std::vector<LONG>{1, 2, 3}));

  // Deleting the newest: Last(1) does not fall back to an older live snapshot.
  Bstr newest(L"Snapshot;3");
  ASSERT_EQ(archive_->DeleteSnapShot(newest.Get()), S_OK);
  EXPECT_EQ(snapshots->Last(1, snapshot.Out()), S_FALSE);
  EXPECT_FALSE(snapshot);
  ASSERT_EQ(snapshots->Last(3, snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 3);
  LONG flags = 0;
  EXPECT_EQ(snapshot->GetOptions(&flags), S_OK);
  EXPECT_EQ(flags, 0x12);
  ASSERT_EQ(snapshots->Last(2, snapshot.Out()), S_OK) << "2 selects deleted snapshots";

  snapshots->Reset();
  seen.clear();
  while (snapshots->Next(1, snapshot.Out()) == S_OK) seen.push_back(NumberOf(snapshot.Get()));
  EXPECT_EQ(seen, (std::vector<LONG>{1, 2}));

  snapshots->Reset();
  EXPECT_EQ(snapshots->Skip(1), S_OK);
  ASSERT_EQ(snapshots->Next(3, snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 2);
  EXPECT_EQ(snapshots->Skip(10), S_OK);
  EXPECT_EQ(snapshots->Next(3, snapshot.Out()), S_FALSE);
}

TEST_F(NavigationTest, PrevYieldsTheSameSnapshotTwice) {
  ComPtr<IEnumSnapShots> snapshots = Snapshots();
  ComPtr<ICairnSnapShot> snapshot;
  ASSERT_EQ(snapshots->Next(1, snapshot.Out()), S_OK);
  ASSERT_EQ(snapshots->Next(1, snapshot.Out()), S_OK);  // at 3 now
  ASSERT_EQ(snapshots->Prev(1, snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 2);
  ASSERT_EQ(snapshots->Prev(1, snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 2);

  // At the oldest, Prev yields the oldest itself.
  snapshots->Reset();
  ASSERT_EQ(snapshots->Prev(1, snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 1);

  // Set moves to a snapshot by its number.
  ComPtr<ICairnSnapShot> third;
  ASSERT_EQ(snapshots->Last(3, third.Out()), S_OK);
  snapshots->Reset();
  ASSERT_EQ(snapshots->Set(third.Get()), S_OK);
  ASSERT_EQ(snapshots->Next(3, snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 3);
}

TEST_F(NavigationTest, NextByNameMatchesTheStoredNameExactly) {
  ComPtr<IEnumSnapShots> snapshots = Snapshots();
  ComPtr<ICairnSnapShot> snapshot;
  Bstr lower(L"autosnap;2"), exact(L"Autosnap;2");
  EXPECT_EQ(snapshots->NextByName(lower.Get(), snapshot.Out()), S_FALSE);
  EXPECT_EQ(snapshots->Next(3, snapshot.Out()), S_FALSE) << "a failed search leaves the enumerator at the end";
  snapshots->Reset();
  ASSERT_EQ(snapshots->NextByName(exact.Get(), snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 2);
  Bstr name;
  ASSERT_EQ(snapshot->GetName(name.Out()), S_OK);
  EXPECT_EQ(name.Text(), L"Autosnap;2");
  ASSERT_EQ(snapshots->Next(3, snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 3) << "the walk goes on after the match";
}

TEST_F(NavigationTest, RevisionsAreSelectedAsAtTheView) {
  ComPtr<IEnumCairnRevisions> revisions = RevisionsAsAt(2);
  ComPtr<ICairnRevision> revision;
  ASSERT_EQ(revisions->Last(1, revision.Out()), S_OK);
  EXPECT_EQ(RevisionNumber(revision.Get()), 2);
  EXPECT_EQ(revisions->Next(1, revision.Out()), S_FALSE) << "Last leaves the enumerator past it";

  revisions->Reset();
  std::vector<LONG> asAt;
  while (revisions->Next(1, revision.Out()) == S_OK) asAt.push_back(RevisionNumber(revision.Get()));
  EXPECT_EQ(asAt, (std::vector<LONG>{1, 2}));

  revisions->Reset();
  ASSERT_EQ(revisions->Next(2, revision.Out()), S_OK);
  EXPECT_EQ(RevisionNumber(revision.Get()), 3);
  EXPECT_EQ(revisions->Next(2, revision.Out()), S_FALSE);

  for (ULONG flags : {0u, 3u}) {
    ASSERT_EQ(revisions->Last(flags, revision.Out()), S_OK);
    EXPECT_EQ(RevisionNumber(revision.Get()), 3) << "flags " << flags;
  }
  ASSERT_EQ(revisions->Last(2, revision.Out()), S_OK);
  EXPECT_EQ(RevisionNumber(revision.Get()), 3);

  ULONG high = 0, low = 0;
  EXPECT_EQ(revision->GetAsAt(&high, &low), S_OK);
  EXPECT_EQ(high, 0x7FFFFFFFu);
  EXPECT_EQ(low, 3u);

  // From the newest snapshot's view, as-at selects all three; from the oldest, one.
  ComPtr<IEnumCairnRevisions> oldest = RevisionsAsAt(1);
  ASSERT_EQ(oldest->Last(1, revision.Out()), S_OK);
  EXPECT_EQ(RevisionNumber(revision.Get()), 1);
  ASSERT_EQ(oldest->Next(2, revision.Out()), S_OK) << "Last(1) left it just past revision 1";
  EXPECT_EQ(RevisionNumber(revision.Get()), 2);
}

TEST_F(NavigationTest, FoldersListTheirChildrenWithTheParentsStamp) {
  ComPtr<IEnumSnapShots> snapshots = Snapshots();
  ComPtr<ICairnSnapShot> first;
  ASSERT_EQ(snapshots->Next(3, first.Out()), S_OK);
  ComPtr<IEnumCairnObjects> objects;
  ASSERT_EQ(first->EnumCairnObjects(0, objects.Out()), S_OK);
  ComPtr<ICairnObject> object;
  std::vector<std::wstring> names;
  while (objects->Next(0, object.Out()) == S_OK) names.push_back(testing::NameOf(object.Get()));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"C:\\Data", L"C:\\Data\\report.txt"}));

  ASSERT_EQ(objects->Last(0, object.Out()), S_OK);
  EXPECT_EQ(testing::NameOf(object.Get()), L"C:\\Data\\report.txt");
  EXPECT_EQ(objects->Next(0, object.Out()), S_FALSE);

  // The whole stored name is compared, not its last component.
  objects->Reset();
  Bstr shortName(L"report.txt"), folderName(L"C:\\Data");
  EXPECT_EQ(objects->NextByName(shortName.Get(), object.Out()), S_FALSE);
  objects->Reset();
  ASSERT_EQ(objects->NextByName(folderName.Get(), object.Out()), S_OK);
  ComPtr<IEnumCairnRevisions> revisions;
  ComPtr<ICairnRevision> revision;
  ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
  ASSERT_EQ(revisions->Last(1, revision.Out()), S_OK);
  ComPtr<IEnumCairnObjects> children;
  ASSERT_EQ(revision->EnumCairnObjects(0, children.Out()), S_OK);
  ComPtr<ICairnObject> child;
  ASSERT_EQ(children->Next(0, child.Out()), S_OK);
  EXPECT_EQ(testing::NameOf(child.Get()), L"C:\\Data\\sub");
  ASSERT_EQ(child->EnumCairnRevisions(0, revisions.Out()), S_OK);
  EXPECT_EQ(revisions->Last(1, revision.Out()), S_OK) << "the child's revision as at the same snapshot";
  EXPECT_EQ(children->Next(0, child.Out()), S_FALSE);
}

// Clone hands out nothing and says so.
template <class Enumerator>
void ExpectNoClone(Enumerator* enumerator) {
  Enumerator* clone = reinterpret_cast<Enumerator*>(0x1);
  EXPECT_HR(E_NOTIMPL, enumerator->Clone(&clone));
  EXPECT_EQ(clone, nullptr);
}

TEST_F(NavigationTest, ClonesAreNotOffered) {
  ComPtr<IEnumSnapShots> snapshots = Snapshots();
  ExpectNoClone(snapshots.Get());
  ComPtr<ICairnSnapShot> snapshot;
  ASSERT_EQ(snapshots->Next(3, snapshot.Out()), S_OK);
  ComPtr<IEnumCairnObjects> objects;
  ASSERT_EQ(snapshot->EnumCairnObjects(0, objects.Out()), S_OK);
  ExpectNoClone(objects.Get());
  ComPtr<ICairnObject> object;
  ASSERT_EQ(objects->Next(0, object.Out()), S_OK);
  ComPtr<IEnumCairnRevisions> revisions;
  ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
  ExpectNoClone(revisions.Get());
}

// The caller's reference is the only one left on an object an enumerator handed out: AddRef
// and Release count 2, 1, then 0 on the last Release.
template <class T>
void ExpectOneReference(T* item) {
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->AddRef(), 2u);
  EXPECT_EQ(item->Release(), 1u);
  EXPECT_EQ(item->Release(), 0u);
}

TEST_F(NavigationTest, HandedOutItemsHoldOneReferenceAndEmptyHandsAreNull) {
  const auto sentinel = [](auto** out) { *out = reinterpret_cast<std::remove_pointer_t<decltype(out)>>(0xdeadbeef); };
  Bstr missing(L"no such name");

  ComPtr<IEnumSnapShots> snapshots = Snapshots();
  ICairnSnapShot* snapshot;
  sentinel(&snapshot);
  ASSERT_HR(S_OK, snapshots->Next(3, &snapshot));
  ExpectOneReference(snapshot);
  sentinel(&snapshot);
  EXPECT_HR(S_FALSE, snapshots->NextByName(missing.Get(), &snapshot));
  EXPECT_EQ(snapshot, nullptr);
  sentinel(&snapshot);
  EXPECT_HR(S_FALSE, snapshots->Next(3, &snapshot)) << "past the end after the search";
  EXPECT_EQ(snapshot, nullptr);
  sentinel(&snapshot);
  EXPECT_HR(S_FALSE, snapshots->Prev(2, &snapshot)) << "no deleted snapshot";
  EXPECT_EQ(snapshot, nullptr);

  ASSERT_HR(S_OK, snapshots->Reset());
  ComPtr<ICairnSnapShot> first;
  ASSERT_HR(S_OK, snapshots->Next(3, first.Out()));
  ComPtr<IEnumCairnObjects> objects;
  ASSERT_HR(S_OK, first->EnumCairnObjects(0, objects.Out()));
  ICairnObject* object;
  sentinel(&object);
  ASSERT_HR(S_OK, objects->Last(0, &object));
  ExpectOneReference(object);
  sentinel(&object);
  EXPECT_HR(S_FALSE, objects->Next(0, &object));
  EXPECT_EQ(object, nullptr);
  ASSERT_HR(S_OK, objects->Reset());
  sentinel(&object);
  EXPECT_HR(S_FALSE, objects->NextByName(missing.Get(), &object));
  EXPECT_EQ(object, nullptr);

  ComPtr<IEnumCairnRevisions> revisions = RevisionsAsAt(1);
  ICairnRevision* revision;
  sentinel(&revision);
  ASSERT_HR(S_OK, revisions->Next(0, &revision));
  ExpectOneReference(revision);
  sentinel(&revision);
  ASSERT_HR(S_OK, revisions->Last(0, &revision));
  ExpectOneReference(revision);
  sentinel(&revision);
  EXPECT_HR(S_FALSE, revisions->Next(0, &revision)) << "past the newest";
  EXPECT_EQ(revision, nullptr);
  EXPECT_HR(E_POINTER, revisions->Next(0, nullptr));
  EXPECT_HR(E_POINTER, objects->Last(0, nullptr));
  EXPECT_HR(E_POINTER, snapshots->NextByName(missing.Get(), nullptr));
}

TEST_F(NavigationTest, SnapshotNamesCommentsAndTimes) {
  ComPtr<IEnumSnapShots> snapshots = Snapshots();
  ComPtr<ICairnSnapShot> snapshot;
  ASSERT_EQ(snapshots->Next(3, snapshot.Out()), S_OK);
  ULONG high = 0, low = 0;
  ASSERT_EQ(snapshot->GetCreationTime(&high, &low), S_OK);
  EXPECT_EQ(high, 0x01D9C000u) << "the high word comes first";
  EXPECT_EQ(low, 0xD53E8000u);

  Bstr name(L"Renamed;1"), comment(L"before the move");
  ASSERT_EQ(snapshot->SetName(name.Get()), S_OK);
  ASSERT_EQ(snapshot->SetComment(comment.Get()), S_OK);
  Bstr readName, readComment;
  ASSERT_EQ(snapshot->GetName(readName.Out()), S_OK);
  ASSERT_EQ(snapshot->GetComment(readComment.Out()), S_OK);
  EXPECT_EQ(readName.Text(), L"Renamed;1");
  EXPECT_EQ(readComment.Text(), L"before the move");

  // The renamed snapshot is found under its new name by a fresh enumerator.
  ComPtr<IEnumSnapShots> again = Snapshots();
  ASSERT_EQ(again->NextByName(name.Get(), snapshot.Out()), S_OK);
  EXPECT_EQ(NumberOf(snapshot.Get()), 1);
}

// A damaged list is a failure, reported as such by every later call too and logged as an internal
// error of the enumerator; never the S_FALSE of a normal end.
TEST_F(NavigationTest, DamagedListsAreFailuresNotEnds) {
  struct Case {
    const char* what;
    void (*damage)(ArchiveHeap& heap, uint32_t s1, uint32_t s2, uint32_t s3);
    const char* module;
  } cases[] = {
      {"the newest snapshot links back to the one before",
       [](ArchiveHeap& heap, uint32_t, uint32_t s2, uint32_t s3) { SnapshotRecord(heap, s3).SetNext(s2); },
       "EnumSnapShots"},
      {"an entry links past the end",
       [](ArchiveHeap& heap, uint32_t s1, uint32_t, uint32_t) {
         ListNode(heap, SnapshotRecord(heap, s1).Entries()).SetNext(0xFFFFFFF0u);
       },
       "EnumCairnObjects"},
      {"a revision links into the header",
       [](ArchiveHeap& heap, uint32_t, uint32_t, uint32_t s3) {
         const uint32_t file = ListNode(heap, SnapshotRecord(heap, s3).Entries()).Object();
         RevisionRecord(heap, ObjectRecord(heap, file).OldestRevision()).SetNext(12);
       },
       "EnumCairnRevisions"},
  };
  for (const Case& c : cases) {
    archive_.Reset();
    {
      std::unique_ptr<ArchiveHeap> heap;
      ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path_, false, true, &heap), S_OK);
      const uint32_t s1 = heap->HeaderField(header::kSnapshotList);
      const uint32_t s2 = SnapshotRecord(*heap, s1).Next(), s3 = SnapshotRecord(*heap, s2).Next();
      c.damage(*heap, s1, s2, s3);
    }
    archive_ = LoadArchive(path_);
    ASSERT_TRUE(archive_);
    CheckDamageIsReported(c.what, c.module);
    // The sound archive again for the next case.
    archive_.Reset();
    DeleteFileA(path_.c_str());
    SetUp();
  }
}

void NavigationTest::CheckDamageIsReported(const char* what, const char* module) {
  {
    // Walks everything the way a browser does, until something fails.
    HRESULT hr = S_OK, again = S_OK;
    ComPtr<IEnumSnapShots> snapshots = Snapshots();
    ComPtr<ICairnSnapShot> snapshot;
    for (int n = 0; n < 10 && SUCCEEDED(hr); ++n) {
      hr = snapshots->Next(3, snapshot.Out());
      if (hr != S_OK) {
        again = snapshots->Next(3, snapshot.Out());
        break;
      }
      ComPtr<IEnumCairnObjects> objects;
      ASSERT_EQ(snapshot->EnumCairnObjects(0, objects.Out()), S_OK);
      ComPtr<ICairnObject> object;
      while ((hr = objects->Next(0, object.Out())) == S_OK) {
        ComPtr<IEnumCairnRevisions> revisions;
        ComPtr<ICairnRevision> revision;
        ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
        hr = revisions->Next(0, revision.Out());
        while (hr == S_OK) hr = revisions->Next(0, revision.Out());
        if (FAILED(hr)) {
          again = revisions->Next(0, revision.Out());
          break;
        }
      }
      if (FAILED(hr) && again == S_OK) again = objects->Next(0, object.Out());
      if (hr == S_FALSE) hr = S_OK;
    }
    EXPECT_EQ(hr, kCorruptArchive) << what;
    EXPECT_EQ(again, kCorruptArchive) << what << ": the enumerator stays failed";
  }
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<IStream> log;
  ASSERT_EQ(archive_.As(&admin), S_OK);
  ASSERT_EQ(admin->InterpretLogStream(log.Out()), S_OK);
  const std::vector<uint8_t> text = testing::ReadAll(log.Get());
  EXPECT_NE(std::string(text.begin(), text.end()).find(std::string("Internal Error in ") + module), std::string::npos)
      << what << "\n" << std::string(text.begin(), text.end());
}

TEST_F(NavigationTest, AnEnumeratorKeepsTheEngineLoaded) {
  ComPtr<IEnumSnapShots> snapshots = Snapshots();
  archive_.Reset();
  EXPECT_EQ(testing::CallEngine("DllCanUnloadNow"), S_FALSE);
  ComPtr<ICairnSnapShot> snapshot;
  EXPECT_EQ(snapshots->Next(3, snapshot.Out()), S_OK) << "the enumerator keeps the archive too";
  snapshot.Reset();
  snapshots.Reset();
  EXPECT_EQ(testing::CallEngine("DllCanUnloadNow"), S_OK);
}

}  // namespace
}  // namespace cairn
