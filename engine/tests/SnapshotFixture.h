// The fixture of the snapshot tests: a folder tree in a temporary directory, an archive of it,
// snapshots taken through the engine or through cn, and their trees read back.
#pragma once

#include "EngineTestSupport.h"
#include "ChildProcess.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace cairn {
namespace testing {

namespace fs = std::filesystem;

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
    archive_ = LoadArchive(dir_.Path("snapshots.crn"));
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
    std::vector<uint8_t> bytes = ReadAll(text.Get());
    return std::string(bytes.begin(), bytes.end());
  }
  // Every file and folder of snapshot n as stored, relative path to content ("<dir>" for folders).
  std::map<std::wstring, std::string> Tree(LONG n) {
    std::map<std::wstring, std::string> tree;
    ComPtr<IEnumCairnObjects> objects = TopLevelObjects(n);
    if (objects) Collect(objects.Get(), &tree);
    return tree;
  }
  // The object enumerator of snapshot n (live or deleted), or null when there is none.
  ComPtr<IEnumCairnObjects> TopLevelObjects(LONG n) {
    ComPtr<IEnumSnapShots> snapshots;
    ComPtr<ICairnSnapShot> snapshot;
    ComPtr<IEnumCairnObjects> objects;
    EXPECT_EQ(archive_->EnumSnapShots(0, snapshots.Out()), S_OK);
    while (snapshots->Next(3, snapshot.Out()) == S_OK) {
      LONG number = 0;
      snapshot->GetSnapShot(&number);
      if (number == n) break;
    }
    if (snapshot) {
      EXPECT_EQ(snapshot->EnumCairnObjects(0, objects.Out()), S_OK);
    }
    return objects;
  }
  void Collect(IEnumCairnObjects* objects, std::map<std::wstring, std::string>* tree) {
    ComPtr<ICairnObject> object;
    while (objects->Next(0, object.Out()) == S_OK) {
      const std::wstring name = NameOf(object.Get());
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
        std::vector<uint8_t> bytes = ReadAll(content.Get());
        (*tree)[relative] = std::string(bytes.begin(), bytes.end());
      }
    }
  }

  TempDir dir_;
  fs::path root_;
  ComPtr<ICairnArchive> archive_;
  ComPtr<ICairnArchiveAdmin> admin_;
};

// Runs cn (from the build tree) in dir with the arguments; its exit code. With errors, what it
// writes to standard error is returned there. A cn that crashes (Wine's report in its output,
// whatever its exit code) or that is still running after two minutes fails the test.
inline DWORD RunCn(const std::wstring& arguments, const std::wstring& dir, std::string* errors = nullptr) {
  const ChildRun run = RunChild(L"\"" + ModuleDirectory() + L"\\..\\cli\\cn.exe\" " + arguments, dir, 120000);
  if (errors != nullptr) *errors = run.err;
  return run.exitCode;
}

}  // namespace testing
}  // namespace cairn
