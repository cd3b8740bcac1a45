// Archives whose links are all sound but whose stored names or child lists do not fit together,
// as damage in transit or a hostile sender can make them: cn /r refuses each as damage, writing
// nothing for the object at fault, and crninspect reports it. Sound archives, also ones whose
// names differ from their folder's in letter case only, are still accepted.
#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "ArchiveHeap.h"
#include "ArchiveWalk.h"
#include "CnRestoreFixture.h"

namespace cairn {
namespace {

// Where a sound archive keeps each object, by stored name, and the child nodes of each folder's
// or storage's newest revision.
class ObjectMap final : public ArchiveVisitor {
 public:
  explicit ObjectMap(ArchiveHeap& heap) : heap_(heap) { EXPECT_EQ(WalkArchive(heap, *this), S_OK); }

  std::map<std::string, uint32_t> objects;
  std::map<uint32_t, uint32_t> firstChildNode;  // object -> first node of its newest child list

  void OnObject(const ObjectRecord& object, const std::string& name) override { objects[name] = object.Offset(); }
  void OnRevision(const ObjectRecord& object, const RevisionRecord& revision) override {
    if (revision.Children() != 0) firstChildNode[object.Offset()] = revision.Children();
  }

 private:
  ArchiveHeap& heap_;
};

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class CnDamagedNamesTest : public CnRestoreTest {
 protected:
  void SetUp() override {
    CnRestoreTest::SetUp();
    BuildFirstTree();
    CreateArchive(0);
    root_ = Narrow(tree_.wstring());
  }
  CnRun Inspect(const fs::path& archive) {
    return testing::RunChild(L"\"" + ModuleDirectory() + L"\\..\\engine\\tools\\crninspect.exe\" \"" +
                                 archive.wstring() + L"\"",
                             dir_.wstring(), 60000);
  }
  // A copy of x.crn as crafted.crn, changed by craft through the heap and the map of its objects.
  template <class Craft>
  fs::path Crafted(Craft&& craft) {
    const fs::path copy = dir_ / L"crafted.crn";
    EXPECT_TRUE(CopyFileW(Archive().c_str(), copy.c_str(), FALSE));
    std::unique_ptr<ArchiveHeap> heap;
    EXPECT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), Narrow(copy.wstring()), false, true, &heap), S_OK);
    if (heap) {
      ObjectMap map(*heap);
      craft(*heap, map);
    }
    return copy;
  }
  // Restores the crafted archive over an empty place: it must fail as damage, quickly, and write
  // nothing that the sound archive does not hold, nor what lies at unwanted (relative to the tree).
  void ExpectRefused(const fs::path& crafted, const std::string& message, const std::string& unwanted) {
    fs::remove_all(tree_);
    const DWORD start = GetTickCount();
    const CnRun run = Cn(L"/r \"" + crafted.wstring() + L"\"");
    EXPECT_LT(GetTickCount() - start, 20000u);
    EXPECT_EQ(run.exitCode, kFailed) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Failed to restore: " + root_ + "\n"), std::string::npos) << run.err;
    if (fs::exists(tree_)) {
      for (const auto& entry : ReadTree(tree_).entries) EXPECT_EQ(sound_.entries.count(entry.first), 1u) << entry.first;
    }
    EXPECT_FALSE(fs::exists(tree_ / unwanted)) << unwanted;
    const CnRun inspected = Inspect(crafted);
    EXPECT_EQ(inspected.exitCode, 1u) << inspected.out << inspected.err;
    EXPECT_NE(inspected.err.find("the archive is damaged"), std::string::npos) << inspected.err;
  }

  std::string root_;
  TreeState sound_;
};

TEST_F(CnDamagedNamesTest, NamesThatDoNotBelongToTheirFolderAreRefusedAndReported) {
  sound_ = ReadTree(tree_);
  const CnRun inspected = Inspect(Archive());
  EXPECT_EQ(inspected.exitCode, 0u) << inspected.err;

  const std::string notes = root_ + "\\docs\\notes.txt";
  struct Case {
    const char* what;
    std::string name;  // the new stored name of docs\notes.txt ("" for a link into another name)
  };
  const Case cases[] = {
      {"under another folder", root_ + "\\media\\notes.txt"},
      {"leading up and out", "..\\..\\esc"},
      {"on another path", "C:\\windows\\x"},
      {"two components deeper", root_ + "\\docs\\sub\\notes.txt"},
      {"into the bytes of another name", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string stored = c.name;
    const fs::path crafted = Crafted([&](ArchiveHeap& heap, ObjectMap& map) {
      ObjectRecord object(heap, map.objects.at(notes));
      if (!c.name.empty()) {
        object.SetName(WriteString(heap, c.name));
      } else {
        // The folder's own name, from its fifth byte on.
        const uint32_t folderName = ObjectRecord(heap, map.objects.at(root_ + "\\docs")).Name();
        object.SetName(folderName + 4);
        ReadString(heap, folderName + 4, &stored);
      }
    });
    ExpectRefused(crafted, "Unsafe name in archive: " + stored + "\n", "docs\\notes.txt");
  }
}

TEST_F(CnDamagedNamesTest, ElementsThatDoNotBelongToTheirStorageAreRefusedAndReported) {
  sound_ = ReadTree(tree_);
  const std::string document = root_ + "\\docs\\report.doc";
  const fs::path crafted = Crafted([&](ArchiveHeap& heap, ObjectMap& map) {
    ObjectRecord(heap, map.objects.at(document + "\\Sub\\Inner")).SetName(WriteString(heap, document + "\\Body"));
  });
  ExpectRefused(crafted, "Unsafe name in archive: " + document + "\\Body\n", "no such file");
}

// An element name that a compound document cannot hold fails the document: neither it nor its
// temporary is left at the target, and one standing there stays as it was.
TEST_F(CnDamagedNamesTest, AnElementNameThatNoDocumentHoldsLeavesNoDocument) {
  const std::string document = root_ + "\\docs\\report.doc";
  const struct Case {
    const char* element;  // the element renamed, below the document
    std::string name;     // its new name there
  } cases[] = {
      {"\\Sub", "S!b"},
      {"\\Body", "B:dy"},
      {"\\Body", "B/dy"},
      {"\\Sub\\Inner", std::string(32, 'i')},
  };
  // What docs holds beside the document, before and after each restore.
  auto others = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(tree_ / "docs"))
      if (entry.path().filename() != "report.doc") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> beside = others();
  const std::string before = ReadFileBytes(tree_ / "docs" / "report.doc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string parent = (document + c.element).substr(0, (document + c.element).rfind('\\'));
    const std::string stored = parent + "\\" + c.name;
    const fs::path crafted = Crafted([&](ArchiveHeap& heap, ObjectMap& map) {
      ObjectRecord(heap, map.objects.at(document + c.element)).SetName(WriteString(heap, stored));
    });
    CnRun run = Cn(L"/r \"" + crafted.wstring() + L"\"");
    EXPECT_EQ(run.exitCode, kFailed);
    EXPECT_NE(run.err.find("Unsafe name in archive: " + stored + "\n"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(tree_ / "docs" / "report.doc"), before);
    EXPECT_EQ(others(), beside);

    fs::remove(tree_ / "docs" / "report.doc");
    run = Cn(L"/r \"" + crafted.wstring() + L"\"");
    EXPECT_EQ(run.exitCode, kFailed);
    EXPECT_NE(run.err.find("Unsafe name in archive: " + stored + "\n"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(tree_ / "docs" / "report.doc"));
    EXPECT_EQ(others(), beside);
    ASSERT_EQ(Cn(L"/r x.crn").exitCode, 0u);  // the sound document back, for the next case
  }
}

// A top-level name that is neither a drive path nor a network path is refused before anything is
// made: relative to cn's folder, or in the device namespace.
TEST_F(CnDamagedNamesTest, TopLevelNamesOutsideDrivesAndSharesAreRefusedBeforeAnythingIsMade) {
  const std::string device = root_ + "-device";
  for (const std::string& name : {std::string("..\\escaped"), std::string("escaped"), std::string("\\escaped"),
                                  "\\\\?\\" + device, "\\\\.\\" + device}) {
    SCOPED_TRACE(name);
    const fs::path crafted = Crafted([&](ArchiveHeap& heap, ObjectMap& map) {
      ObjectRecord(heap, map.objects.at(root_)).SetName(WriteString(heap, name));
    });
    fs::remove_all(tree_);
    const CnRun run = Cn(L"/r \"" + crafted.wstring() + L"\"");
    EXPECT_EQ(run.exitCode, kFailed);
    EXPECT_NE(run.err.find("Unsafe name in archive: " + name + "\n"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir_.parent_path() / "escaped"));
    EXPECT_FALSE(fs::exists(dir_ / "escaped"));
    EXPECT_FALSE(fs::exists(device));
    EXPECT_FALSE(fs::exists(tree_));
  }
}

// A child list that leads back to a folder above: before, restore built folder within folder
// until the path was too long.
TEST_F(CnDamagedNamesTest, AChildListThatLeadsBackUpIsRefusedAndReported) {
  sound_ = ReadTree(tree_);
  const fs::path crafted = Crafted([&](ArchiveHeap& heap, ObjectMap& map) {
    const uint32_t docs = map.objects.at(root_ + "\\docs");
    ListNode(heap, map.firstChildNode.at(docs)).SetObject(map.objects.at(root_));
  });
  ExpectRefused(crafted, "Unsafe name in archive: " + root_ + "\n", "docs\\tree");
  const CnRun inspected = Inspect(crafted);
  EXPECT_NE(inspected.err.find("is met again below itself"), std::string::npos) << inspected.err;
}

// A file first added under another spelling of its path keeps that name when its folder takes it
// over: letter case aside, it belongs to the folder, and the archive is sound.
TEST_F(CnDamagedNamesTest, NamesThatDifferFromTheirFoldersInLetterCaseOnlyAreSound) {
  fs::remove(Archive());
  CnRun run = Cn(L"/c /a tree\\DOCS\\NOTES.TXT x.crn");
  ASSERT_EQ(run.exitCode, 1u) << run.err;
  run = Cn(L"/a tree x.crn");
  ASSERT_EQ(run.exitCode, 1u) << run.err;
  const CnRun inspected = Inspect(Archive());
  EXPECT_EQ(inspected.exitCode, 0u) << inspected.err;
  EXPECT_NE(inspected.out.find("\\DOCS\\NOTES.TXT\""), std::string::npos) << "the child kept its first spelling";

  // Restored under the name it kept.
  auto folded = [](const TreeState& state) {
    TreeState out;
    for (const auto& [name, content] : state.entries) out.entries[UpperCase(name)] = content;
    for (const auto& [name, time] : state.times) out.times[UpperCase(name)] = time;
    return out;
  };
  const TreeState state = ReadTree(tree_);
  fs::remove_all(tree_);
  run = Cn(L"/r x.crn");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_TRUE(fs::exists(tree_ / "docs" / "NOTES.TXT"));
  EXPECT_EQ(Differences(folded(ReadTree(tree_)), folded(state)), "");
}

}  // namespace
}  // namespace cairn
