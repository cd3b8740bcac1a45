// Taking snapshots of real folders through the engine.
#include "EngineTestSupport.h"

#include <filesystem>
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
      if (stat.reserved & FILE_ATTRIBUTE_DIRECTORY) {
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

}  // namespace
}  // namespace cairn
