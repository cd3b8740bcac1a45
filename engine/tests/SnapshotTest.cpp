// Taking snapshots of real folders through the engine.
#include "EngineTestSupport.h"

#include <filesystem>
#include <random>

#include "ArchiveWalk.h"
#include <fstream>
#include <map>

namespace cairn {
namespace {

namespace fs = std::filesystem;
using testing::Bstr;

// A one-dimensional safe array of BSTR, destroyed with its strings.
class PathArray {
 public:
  explicit PathArray(const std::vector<std::wstring>& items) {
    array_ = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(items.size()));
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
      BSTR item = SysAllocString(items[static_cast<size_t>(i)].c_str());
      SafeArrayPutElement(array_, &i, item);
      SysFreeString(item);
    }
  }
  ~PathArray() { SafeArrayDestroy(array_); }
  SAFEARRAY* Get() const { return array_; }

 private:
  SAFEARRAY* array_;
};

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::u8path(dir_.Path("tree"));
    fs::create_directories(root_);
    archive_ = testing::LoadArchive(dir_.Path("snapshots.crn"));
    ASSERT_TRUE(archive_);
    ASSERT_EQ(archive_.As(&admin_), S_OK);
  }
  void Write(const std::string& relative, const std::string& content) {
    fs::create_directories((root_ / fs::u8path(relative)).parent_path());
    std::ofstream(root_ / fs::u8path(relative), std::ios::binary | std::ios::trunc) << content;
  }
  std::wstring Path(const std::string& relative = "") const {
    return relative.empty() ? root_.wstring() : (root_ / fs::u8path(relative)).wstring();
  }
  // Takes a snapshot; returns its result and the number of a new snapshot (0 otherwise).
  HRESULT Snapshot(const std::vector<std::wstring>& adds, const std::vector<std::wstring>& deletes = {},
                   LONG* number = nullptr, const wchar_t* name = L"Snapshot") {
    PathArray add(adds), remove(deletes);
    Bstr text(name);
    ComPtr<ICairnSnapShot> snapshot;
    HRESULT hr = archive_->CreateSnapShot(text.Get(), add.Get(), remove.Get(), snapshot.Out());
    if (number != nullptr) {
      *number = 0;
      if (snapshot) snapshot->GetSnapShot(number);
    }
    EXPECT_EQ(hr == S_OK, static_cast<bool>(snapshot));
    return hr;
  }
  std::string Log() {
    ComPtr<IStream> text;
    if (FAILED(admin_->InterpretLogStream(text.Out()))) return "<no log>";
    std::vector<uint8_t> bytes = testing::ReadAll(text.Get());
    return std::string(bytes.begin(), bytes.end());
  }
  // Every file and folder of snapshot n as stored, relative path to content ("<dir>" for folders).
  std::map<std::wstring, std::string> Tree(LONG n) {
    std::map<std::wstring, std::string> tree;
    ComPtr<IEnumSnapShots> snapshots;
    ComPtr<ICairnSnapShot> snapshot;
    EXPECT_EQ(archive_->EnumSnapShots(0, snapshots.Out()), S_OK);
    while (snapshots->Next(3, snapshot.Out()) == S_OK) {
      LONG number = 0;
      snapshot->GetSnapShot(&number);
      if (number == n) break;
    }
    if (!snapshot) return tree;
    ComPtr<IEnumCairnObjects> objects;
    EXPECT_EQ(snapshot->EnumCairnObjects(0, objects.Out()), S_OK);
    Collect(objects.Get(), &tree);
    return tree;
  }
  void Collect(IEnumCairnObjects* objects, std::map<std::wstring, std::string>* tree) {
    ComPtr<ICairnObject> object;
    while (objects->Next(0, object.Out()) == S_OK) {
      const std::wstring name = testing::NameOf(object.Get());
      ComPtr<IEnumCairnRevisions> revisions;
      ComPtr<ICairnRevision> revision;
      ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
      ASSERT_EQ(revisions->Last(1, revision.Out()), S_OK) << "no revision as at the snapshot for " << name.size();
      ComPtr<IStream> content;
      ASSERT_EQ(revision->GetContents(content.Out()), S_OK);
      STATSTG stat = {};
      ASSERT_EQ(content->Stat(&stat, STATFLAG_NONAME), S_OK);
      const std::wstring relative = name.size() > root_.wstring().size() ? name.substr(root_.wstring().size() + 1) : L".";
      if ((stat.reserved & FILE_ATTRIBUTE_DIRECTORY) || stat.type == STGTY_STORAGE) {
        (*tree)[relative] = "<dir>";
        ComPtr<IEnumCairnObjects> children;
        ASSERT_EQ(revision->EnumCairnObjects(0, children.Out()), S_OK);
        Collect(children.Get(), tree);
      } else {
        std::vector<uint8_t> bytes = testing::ReadAll(content.Get());
        (*tree)[relative] = std::string(bytes.begin(), bytes.end());
      }
    }
  }

  testing::TempDir dir_;
  fs::path root_;
  ComPtr<ICairnArchive> archive_;
  ComPtr<ICairnArchiveAdmin> admin_;
};

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

// Runs cn (from the build tree) in dir with the arguments; its exit code.
DWORD RunCn(const std::wstring& arguments, const std::wstring& dir) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe(self);
  exe = exe.substr(0, exe.find_last_of(L'\\')) + L"\\..\\cli\\cn.exe";
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, dir.c_str(),
                      &startup, &process))
    return static_cast<DWORD>(-2);
  WaitForSingleObject(process.hProcess, 120000);
  DWORD code = static_cast<DWORD>(-3);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

// A snapshot stopped at any point, as if the process had been killed there, leaves an archive
// that opens, walks soundly, and restores every snapshot recorded before it.
TEST_F(SnapshotTest, AStoppedSnapshotLosesNothingRecordedBefore) {
  std::mt19937 random(7);
  auto bytes = [&](size_t n) {
    std::string text(n, '\0');
    for (char& c : text) c = static_cast<char>('a' + random() % 16);
    return text;
  };
  Write("notes.txt", bytes(5000));
  Write("deep/data.bin", bytes(40000));
  Write("deep/gone.txt", "soon gone");
  ASSERT_EQ(Snapshot({Path()}), S_OK);
  Write("notes.txt", bytes(6000));
  ASSERT_EQ(Snapshot({}), S_OK);
  const auto first = Tree(1), second = Tree(2);
  archive_.Reset();
  admin_.Reset();

  // The changes the stopped snapshots take.
  std::string data = testing::ReadFileBytes((root_ / "deep" / "data.bin").u8string());
  data.replace(20000, 300, bytes(300));
  Write("deep/data.bin", data);
  fs::remove(root_ / "deep" / "gone.txt");
  Write("new/fresh.txt", bytes(12000));

  const std::wstring original = testing::Wide(dir_.Path("snapshots.crn"));
  const std::wstring scratch = testing::Wide(dir_.Path("stopped.crn"));
  const std::string scratchPath = dir_.Path("stopped.crn");
  int stopped = 0;
  bool completed = false;
  for (uint64_t n = 1; !completed && n < 1000000; n += n < 200 ? 1 + n / 20 : n / 5) {
    ASSERT_TRUE(CopyFileW(original.c_str(), scratch.c_str(), FALSE));
    SetEnvironmentVariableW(L"CAIRN_TEST_STOP_AFTER", std::to_wstring(n).c_str());
    const DWORD code = RunCn(L"/a new stopped.crn", testing::Wide(dir_.Path("")));
    SetEnvironmentVariableW(L"CAIRN_TEST_STOP_AFTER", nullptr);
    ASSERT_TRUE(code == 99 || code == 1) << "n " << n << " exit code " << code;
    completed = code == 1;
    stopped += code == 99;

    {
      std::unique_ptr<ArchiveHeap> heap;
      ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), scratchPath, false, true, &heap), S_OK) << "n " << n;
      ArchiveVisitor quiet;
      ASSERT_EQ(WalkArchive(*heap, quiet), S_OK) << "n " << n;
      FreeSpaceReport report;
      ASSERT_EQ(heap->FreeSpace(&report), S_OK) << "n " << n;
      EXPECT_EQ(heap->HeaderField(header::kReserved), 0u) << "an interrupted switch is finished on opening";
    }
    archive_ = testing::LoadArchive(scratchPath);
    ASSERT_TRUE(archive_);
    ASSERT_EQ(Tree(1), first) << "n " << n;
    ASSERT_EQ(Tree(2), second) << "n " << n;
    if (completed) {
      auto third = Tree(3);
      EXPECT_EQ(third[L"deep\\data.bin"], data);
      EXPECT_EQ(third.count(L"deep\\gone.txt"), 0u);
    }
    archive_.Reset();
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(stopped, 50) << "stopped at many points";
  std::printf("stopped at %d points before the snapshot completed\n", stopped);
}

}  // namespace
}  // namespace cairn
