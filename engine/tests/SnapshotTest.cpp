// Taking snapshots of real folders through the engine.
#include "SnapshotFixture.h"


namespace cairn {
namespace {

using testing::SnapshotTest;
namespace fs = std::filesystem;

TEST_F(SnapshotTest, AnEmptyFirstSnapshotRecordsNothing) {
  EXPECT_EQ(Snapshot({}), S_FALSE);
  EXPECT_EQ(Log(), "") << "nothing is logged";
  ComPtr<IEnumSnapShots> snapshots;
  ComPtr<ICairnSnapShot> snapshot;
  ASSERT_EQ(archive_->EnumSnapShots(0, snapshots.Out()), S_OK);
  EXPECT_EQ(snapshots->Next(3, snapshot.Out()), S_FALSE);
  Write("a.txt", "a");
  LONG number = 0;
  ASSERT_EQ(Snapshot({Path()}, {}, &number), S_OK) << Log();
  EXPECT_EQ(number, 1) << "the number was not used up";
}

TEST_F(SnapshotTest, ChangesMakeRevisionsAndTheHistoryReadsBack) {
  Write("a.txt", "hello\n");
  Write("sub/b.bin", std::string(30000, 'b'));
  fs::create_directories(root_ / "sub" / "empty");
  LONG number = 0;
  ASSERT_EQ(Snapshot({Path()}, {}, &number), S_OK) << Log();
  EXPECT_EQ(number, 1);
  EXPECT_EQ(Snapshot({}), S_FALSE) << "nothing changed";

  Write("a.txt", "hello\nhello again\n");
  fs::remove(root_ / "sub" / "b.bin");
  ASSERT_EQ(Snapshot({}, {}, &number, L"Autosnap"), S_OK) << Log();
  EXPECT_EQ(number, 2);

  const std::map<std::wstring, std::string> first = {{L".", "<dir>"},
                                                      {L"a.txt", "hello\n"},
                                                      {L"sub", "<dir>"},
                                                      {L"sub\\b.bin", std::string(30000, 'b')},
                                                      {L"sub\\empty", "<dir>"}};
  const std::map<std::wstring, std::string> second = {
      {L".", "<dir>"}, {L"a.txt", "hello\nhello again\n"}, {L"sub", "<dir>"}, {L"sub\\empty", "<dir>"}};
  EXPECT_EQ(Tree(1), first);
  EXPECT_EQ(Tree(2), second);
  const std::string log = Log();
  EXPECT_NE(log.find("Object changed: " + std::string(root_.u8string()) + "\\a.txt"), std::string::npos) << log;
  EXPECT_NE(log.find("Object deleted, locked or excluded: " + std::string(root_.u8string()) + "\\sub\\b.bin"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Snapshot created: Autosnap;2"), std::string::npos) << log;
}

TEST_F(SnapshotTest, DeletingAndReaddingEntries) {
  Write("one/a.txt", "a");
  Write("two.txt", "two");
  LONG number = 0;
  ASSERT_EQ(Snapshot({Path("one"), Path("two.txt")}, {}, &number), S_OK);
  // A name given in another letter case still deletes its entry.
  std::wstring upper = Path("TWO.TXT");
  ASSERT_EQ(Snapshot({}, {upper}, &number), S_OK) << Log();
  EXPECT_EQ(number, 2);
  EXPECT_EQ(Tree(2).count(L"two.txt"), 0u);
  EXPECT_EQ(Tree(2).count(L"one"), 1u);

  // A path that does not exist adds nothing and is logged.
  EXPECT_EQ(Snapshot({Path("missing")}), S_FALSE);
  EXPECT_NE(Log().find("Object deleted, locked or excluded: " + root_.u8string() + "\\missing"), std::string::npos);
}

TEST_F(SnapshotTest, TouchingAFileIsNoChange) {
  Write("a.txt", "same");
  ASSERT_EQ(Snapshot({Path()}), S_OK);
  fs::last_write_time(root_ / "a.txt", fs::last_write_time(root_ / "a.txt") + std::chrono::hours(1));
  Write("a.txt", "same");
  EXPECT_EQ(Snapshot({}), S_FALSE);
}

TEST_F(SnapshotTest, AFolderTakesOverAnArchivedTopLevelFile) {
  Write("docs/report.txt", "report");
  ASSERT_EQ(Snapshot({Path("docs\\report.txt")}), S_OK);
  ASSERT_EQ(Snapshot({Path("docs")}), S_OK) << Log();
  const auto tree = Tree(2);
  EXPECT_EQ(tree.count(L"docs\\report.txt"), 1u) << "now a child of the folder";
  EXPECT_EQ(tree.size(), 2u) << "and no longer a top-level entry";
  // The same object was found again: its one revision serves both snapshots.
  ComPtr<IEnumSnapShots> snapshots;
  ComPtr<ICairnSnapShot> snapshot;
  ASSERT_EQ(archive_->EnumSnapShots(0, snapshots.Out()), S_OK);
  ASSERT_EQ(snapshots->Next(3, snapshot.Out()), S_OK);
  ComPtr<IEnumCairnObjects> objects;
  ComPtr<ICairnObject> object;
  ASSERT_EQ(snapshot->EnumCairnObjects(0, objects.Out()), S_OK);
  ASSERT_EQ(objects->Next(0, object.Out()), S_OK);
  ComPtr<IEnumCairnRevisions> revisions;
  ComPtr<ICairnRevision> revision;
  ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
  ASSERT_EQ(revisions->Last(0, revision.Out()), S_OK);
  LONG revisionNumber = 0;
  revision->GetRevision(&revisionNumber);
  EXPECT_EQ(revisionNumber, 1) << "no new revision for the unchanged file";
  const std::string log = Log();
  EXPECT_NE(log.find("Object added: " + root_.u8string() + "\\docs\\report.txt"), std::string::npos) << log;
}

TEST_F(SnapshotTest, AfterDeletingTheNewestSnapshotNumbersAreNotReused) {
  Write("a.txt", "1");
  LONG number = 0;
  ASSERT_EQ(Snapshot({Path()}, {}, &number), S_OK);
  Write("a.txt", "2");
  ASSERT_EQ(Snapshot({}, {}, &number), S_OK);
  Bstr second(L"Snapshot;2");
  ASSERT_EQ(archive_->DeleteSnapShot(second.Get()), S_OK);
  // The base is snapshot 1 again: the file changed by the deleted snapshot counts as added.
  ASSERT_EQ(Snapshot({}, {}, &number), S_OK) << Log();
  EXPECT_EQ(number, 3);
  EXPECT_EQ(Tree(3)[L"a.txt"], "2");
  EXPECT_EQ(Tree(1)[L"a.txt"], "1");
}

TEST_F(SnapshotTest, FilteredFilesLeaveTheirFolder) {
  Write("a.txt", "keep");
  Write("b.tmp", "temporary");
  ASSERT_EQ(Snapshot({Path()}), S_OK);
  ComPtr<ICairnArchiveFilter> filter;
  ASSERT_EQ(archive_.As(&filter), S_OK);
  Bstr exclude(L"*.tmp");
  ASSERT_EQ(filter->SetExclList(exclude.Get()), S_OK);
  ASSERT_EQ(Snapshot({}), S_OK);
  EXPECT_EQ(Tree(2).count(L"b.tmp"), 0u);
  EXPECT_EQ(Tree(1).count(L"b.tmp"), 1u);
  EXPECT_NE(Log().find("Object deleted, locked or excluded: " + root_.u8string() + "\\b.tmp"), std::string::npos);
}

// Every compression setting keeps every revision of a changing tree.
TEST_F(SnapshotTest, EveryCompressionSettingReadsBack) {
  for (LONG options : {0, 1, 9}) {
    ComPtr<ICairnArchive> archive = testing::LoadArchive(dir_.Path("mode" + std::to_string(options) + ".crn"));
    ComPtr<ICairnArchiveAdmin> admin;
    ASSERT_EQ(archive.As(&admin), S_OK);
    ASSERT_EQ(admin->SetOptions(options), S_OK);
    archive_ = archive;
    admin_ = admin;
    std::vector<std::map<std::wstring, std::string>> states;
    std::string text;
    for (int round = 0; round < 4; ++round) {
      text += std::string(3000 + round * 500, static_cast<char>('a' + round));
      Write("f.txt", text);
      Write("r" + std::to_string(round) + ".bin", std::string(round * 10000, static_cast<char>(round)));
      if (round == 2) fs::remove(root_ / "r1.bin");
      LONG number = 0;
      ASSERT_EQ(Snapshot(round == 0 ? std::vector<std::wstring>{Path()} : std::vector<std::wstring>{}, {}, &number),
                S_OK)
          << "options " << options << " round " << round;
      states.push_back(Tree(number));
    }
    for (size_t i = 0; i < states.size(); ++i) EXPECT_EQ(Tree(static_cast<LONG>(i + 1)), states[i]);
    EXPECT_EQ(states[3].count(L"r1.bin"), 0u);
    EXPECT_EQ(states[1][L"r1.bin"], std::string(10000, 1));
    for (const char* name : {"f.txt", "r0.bin", "r2.bin", "r3.bin"}) fs::remove(root_ / name);
  }
}

TEST_F(SnapshotTest, CompoundDocumentsAreArchivedElementByElement) {
  const std::wstring path = Path("doc.ole");
  auto writeDocument = [&](const std::string& body) {
    ComPtr<IStorage> document, inner;
    ComPtr<IStream> stream;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, document.Out()), S_OK);
    ASSERT_EQ(document->CreateStream(L"Contents", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), S_OK);
    ULONG n = 0;
    stream->Write(body.data(), static_cast<ULONG>(body.size()), &n);
    stream.Reset();
    ASSERT_EQ(document->CreateStorage(L"Inner", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, inner.Out()), S_OK);
    ASSERT_EQ(inner->CreateStream(L"Fixed", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), S_OK);
    stream->Write("unchanged", 9, &n);
  };
  writeDocument("first body");
  ASSERT_EQ(Snapshot({Path()}), S_OK) << Log();
  writeDocument("second, longer body");
  ASSERT_EQ(Snapshot({}), S_OK) << Log();

  const std::map<std::wstring, std::string> expected1 = {{L".", "<dir>"},
                                                         {L"doc.ole", "<dir>"},
                                                         {L"doc.ole\\Contents", "first body"},
                                                         {L"doc.ole\\Inner", "<dir>"},
                                                         {L"doc.ole\\Inner\\Fixed", "unchanged"}};
  auto tree1 = Tree(1), tree2 = Tree(2);
  EXPECT_EQ(tree1[L"doc.ole\\Contents"], "first body");
  EXPECT_EQ(tree2[L"doc.ole\\Contents"], "second, longer body");
  EXPECT_EQ(tree2[L"doc.ole\\Inner\\Fixed"], "unchanged");
  EXPECT_EQ(tree1, expected1);
}

}  // namespace
}  // namespace cairn
