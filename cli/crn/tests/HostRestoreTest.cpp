// crn's restore on archive files: trees and compound documents written below the target with
// their bytes, times and read-only attribute, self-extracting archives, chosen paths, and the
// damaged and hostile archives it must refuse without writing anything outside the target.
#include <gtest/gtest.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "HostRestore.h"
#include "SampleArchive.h"
#include "ScriptedHistories.h"
#include "StoredContents.h"
#include "TargetNames.h"

namespace cairn {
namespace crn {
namespace {

namespace fs = std::filesystem;
using testing::ArchiveBuilder;

constexpr uint32_t kSnapshotFlags = snapshot_flags::kLive | snapshot_flags::kNumberedStamps;
const std::vector<uint8_t> kNotes = {'n', 'o', 't', 'e', 's'};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file and folder below root.
std::vector<std::string> Listed(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root)) names.push_back(fs::relative(entry, root).string());
  std::sort(names.begin(), names.end());
  return names;
}

class HostRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("crn-restore-test-" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "out");
    archive_ = (folder_ / "a.crn").string();
  }
  void TearDown() override {
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(folder_);
  }

  // A new archive at path, built by build.
  template <class Build>
  void Make(const std::string& path, Build&& build) {
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), path, true, true, &heap), S_OK);
    build(*heap);
  }

  // C:\data holding a.txt (read-only) and an empty folder sub, in Snapshot;1. Returns the
  // folder's newest revision; objects go to *data, *file.
  static uint32_t Sample(ArchiveHeap& heap, uint32_t* data = nullptr, uint32_t* file = nullptr) {
    ArchiveBuilder b(heap);
    const uint32_t snapshot = b.Snapshot("Snapshot", kSnapshotFlags);
    const Stamp asAt = NumberedStamp(1);
    const uint32_t folder = b.Object("C:\\data");
    const uint32_t folderRevision = b.Revision(folder, asAt, kFolderAttribute, 0);
    const uint32_t a = b.Object("C:\\data\\a.txt");
    const uint32_t aRevision = b.Revision(a, asAt, 0x01, kNotes.size());
    b.Difference(aRevision, difference_kind::kInsertion, 0, kNotes);
    const uint32_t sub = b.Object("C:\\data\\sub");
    b.Revision(sub, asAt, kFolderAttribute, 0);
    b.Push(folderRevision + 12, sub);
    b.Push(folderRevision + 12, a);
    b.Push(snapshot + 8, folder);
    if (data) *data = folder;
    if (file) *file = a;
    return folderRevision;
  }

  // Restores the snapshot (the newest when name is empty) of path below out; what it said goes to
  // *said.
  bool Restore(const std::string& path, const std::string& name = "", const std::vector<std::string>& paths = {},
               std::string* said = nullptr) {
    std::unique_ptr<ArchiveHeap> heap;
    std::vector<reader::SnapshotInfo> snapshots;
    if (FAILED(reader::OpenForReading(PlatformFiles::Native(), path, &heap)) ||
        FAILED(reader::ReadSnapshots(*heap, &snapshots)))
      return false;
    const reader::SnapshotInfo* snapshot =
        name.empty() ? reader::LatestLive(snapshots) : reader::FindSnapshot(snapshots, name);
    if (snapshot == nullptr) return false;
    std::FILE* err = std::tmpfile();
    HostRestore restore(*heap, *snapshot, (folder_ / "out").string(), err);
    const bool ok = restore.Run(paths);
    std::rewind(err);
    std::string text;
    char buffer[1024];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, err)) != 0;) text.append(buffer, n);
    std::fclose(err);
    if (said) *said = text;
    return ok;
  }

  fs::path folder_;
  std::string archive_;
};

TEST_F(HostRestoreTest, EveryRevisionOfAFileComesBackByteExactFromItsSnapshot) {
  const auto history = testing::LargeFileHistory(30000, 3, 7)[0];
  Make(archive_, [&](ArchiveHeap& heap) { testing::StoreContents(heap, "C:\\docs\\notes.txt", history, 1); });
  for (size_t i = 0; i < history.size(); ++i) {
    ASSERT_TRUE(Restore(archive_, "Snapshot;" + std::to_string(i + 1)));
    EXPECT_EQ(ReadAll(folder_ / "out/C/docs/notes.txt"), std::string(history[i].begin(), history[i].end())) << i;
  }
}

TEST_F(HostRestoreTest, AFolderComesBackWithTimesReadOnlyAndEmptySubfolders) {
  Make(archive_, [&](ArchiveHeap& heap) { Sample(heap); });
  ASSERT_TRUE(Restore(archive_));
  EXPECT_EQ(Listed(folder_ / "out"), (std::vector<std::string>{"C", "C/data", "C/data/a.txt", "C/data/sub"}));
  const fs::path a = folder_ / "out/C/data/a.txt";
  EXPECT_EQ(ReadAll(a), "notes");
  struct stat status;
  ASSERT_EQ(stat(a.c_str(), &status), 0);
  // The builder's modification time, 0x01D0000000000000 in FILETIME ticks.
  const uint64_t ticks = 0x01D0000000000000ull - 116444736000000000ull;
  EXPECT_EQ(status.st_mtim.tv_sec, static_cast<time_t>(ticks / 10000000));
  EXPECT_EQ(status.st_mtim.tv_nsec, static_cast<long>(ticks % 10000000 * 100));
  EXPECT_EQ(status.st_mode & 0222, 0u);
}

// Names in an archive whose names are UTF-8: outside every code page, they are written as they
// are; bytes that are no well-formed character become U+FFFD, never a separator or a dot.
TEST_F(HostRestoreTest, Utf8NamesComeBackAsTheyAreAndIllFormedBytesStayInTheirComponent) {
  const std::vector<std::string> names = {"na\xC3\xAFve caf\xC3\xA9.txt", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt",
                                          "emoji \xF0\x9F\x98\x80.txt", "\xC0\xAF\xC0\xAE\xC0\xAE"};
  Make(archive_, [&](ArchiveHeap& heap) {
    heap.SetHeaderField(header::kOptions, options::kNewArchive | options::kUtf8Names);
    ArchiveBuilder b(heap);
    const uint32_t snapshot = b.Snapshot("Snapshot", kSnapshotFlags);
    const uint32_t folder = b.Object("C:\\data");
    const uint32_t folderRevision = b.Revision(folder, NumberedStamp(1), kFolderAttribute, 0);
    for (const std::string& name : names) {
      const uint32_t file = b.Object("C:\\data\\" + name);
      const uint32_t revision = b.Revision(file, NumberedStamp(1), 0, name.size());
      b.Difference(revision, difference_kind::kInsertion, 0, std::vector<uint8_t>(name.begin(), name.end()));
      b.Push(folderRevision + 12, file);
    }
    b.Push(snapshot + 8, folder);
  });
  ASSERT_TRUE(Restore(archive_));
  const std::string replaced = "\xEF\xBF\xBD";
  EXPECT_EQ(Listed(folder_ / "out" / "C" / "data"),
            (std::vector<std::string>{names[2], names[0], names[1],
                                      replaced + replaced + replaced + replaced + replaced + replaced}));
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(ReadAll(folder_ / "out/C/data" / names[i]), names[i]);

  const StoredText utf8(true);
  std::vector<std::string> parts;
  EXPECT_TRUE(TargetComponents(utf8, "C:\\" + names[1], &parts));
  // The name rules count the decoded characters: 255 two-byte letters make a name, 256 do not.
  std::string letters;
  for (int i = 0; i < 255; ++i) letters += "\xC3\xA9";
  EXPECT_TRUE(TargetComponents(utf8, "C:\\" + letters, &parts));
  EXPECT_FALSE(TargetComponents(utf8, "C:\\" + letters + "\xC3\xA9", &parts));
  EXPECT_EQ(utf8.Wide("a\xF0\x9F\x98\x80"), std::wstring(L"a") + static_cast<wchar_t>(0x1F600));
  EXPECT_EQ(utf8.Wide("\xED\xA0\x80\xE2\x82"), std::wstring(2, static_cast<wchar_t>(0xFFFD)));
  EXPECT_EQ(StoredText(false).Utf8("caf\xE9"), "caf\xC3\xA9");
}

TEST_F(HostRestoreTest, ASelfExtractingArchiveAndChosenPathsRestore) {
  // The archive behind a launcher's 64 KB.
  Make(archive_, [&](ArchiveHeap& heap) { Sample(heap); });
  const std::string exe = (folder_ / "a.exe").string();
  std::ofstream(exe, std::ios::binary) << std::string(kSelfExtractingOffset, 'M') << ReadAll(archive_);
  fs::remove(archive_);
  ASSERT_TRUE(Restore(exe, "", {"c:\\DATA\\sub"}));
  EXPECT_EQ(Listed(folder_ / "out"), (std::vector<std::string>{"C", "C/data", "C/data/sub"}));
  std::string said;
  EXPECT_FALSE(Restore(exe, "", {"C:\\data\\missing.txt"}, &said));
  EXPECT_NE(said.find("Not in the snapshot: C:\\data\\missing.txt"), std::string::npos) << said;
}

// Each crafted archive is refused with its message; nothing lands outside the target, and what
// the sound archive would not hold is never written.
TEST_F(HostRestoreTest, DamagedAndHostileArchivesAreRefused) {
  struct Case {
    const char* what;
    void (*craft)(ArchiveHeap& heap, uint32_t folderRevision, uint32_t folder, uint32_t file);
    const char* message;
  };
  const Case cases[] = {
      {"a child that leaves its folder",
       [](ArchiveHeap& heap, uint32_t revision, uint32_t, uint32_t) {
         ArchiveBuilder b(heap);
         const uint32_t up = b.Object("C:\\data\\..");
         b.Revision(up, NumberedStamp(1), 0, 0);
         b.Push(revision + 12, up);
       },
       "Unsafe name in archive: C:\\data\\.."},
      {"a child of another folder",
       [](ArchiveHeap& heap, uint32_t revision, uint32_t, uint32_t) {
         ArchiveBuilder b(heap);
         const uint32_t other = b.Object("C:\\etc\\passwd");
         b.Revision(other, NumberedStamp(1), 0, 0);
         b.Push(revision + 12, other);
       },
       "Unsafe name in archive: C:\\etc\\passwd"},
      {"a foreign top-level name",
       [](ArchiveHeap& heap, uint32_t, uint32_t, uint32_t) {
         ArchiveBuilder b(heap);
         const uint32_t relative = b.Object("..\\escape");
         b.Revision(relative, NumberedStamp(1), 0, 0);
         b.Push(SnapshotRecord(heap, heap.HeaderField(header::kSnapshotList)).Offset() + 8, relative);
       },
       "Unsafe name in archive: ..\\escape"},
      {"a device path",
       [](ArchiveHeap& heap, uint32_t, uint32_t, uint32_t) {
         ArchiveBuilder b(heap);
         const uint32_t device = b.Object("\\\\.\\PhysicalDrive0");
         b.Revision(device, NumberedStamp(1), 0, 0);
         b.Push(heap.HeaderField(header::kSnapshotList) + 8, device);
       },
       "Unsafe name in archive"},
      {"a folder listed below itself",
       [](ArchiveHeap& heap, uint32_t revision, uint32_t folder, uint32_t) {
         ArchiveBuilder(heap).Push(revision + 12, folder);
       },
       "Unsafe name in archive: C:\\data\n"},
      {"a content that applies outside itself",
       [](ArchiveHeap& heap, uint32_t, uint32_t, uint32_t file) {
         const uint32_t revision = ObjectRecord(heap, file).OldestRevision();
         DifferenceRecord(heap, RevisionRecord(heap, revision).Differences()).SetPosition(1000);
       },
       "does not rebuild"},
      {"a child list that leaves the archive",
       [](ArchiveHeap& heap, uint32_t revision, uint32_t, uint32_t) {
         RevisionRecord(heap, revision).SetChildren(0x7FFFFFF0u);
       },
       "Damaged archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_ / "out");
    fs::remove(archive_);
    Make(archive_, [&](ArchiveHeap& heap) {
      uint32_t folder = 0, file = 0;
      const uint32_t revision = Sample(heap, &folder, &file);
      c.craft(heap, revision, folder, file);
    });
    std::string said;
    EXPECT_FALSE(Restore(archive_, "", {}, &said));
    EXPECT_NE(said.find(c.message), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(folder_ / "escape"));
    EXPECT_FALSE(fs::exists(folder_ / "out/C/etc"));
    for (const std::string& name : Listed(folder_ / "out"))
      EXPECT_TRUE(name == "C" || name == "C/data" || name == "C/data/a.txt" || name == "C/data/sub") << name;
  }
}

TEST_F(HostRestoreTest, ALinkInTheTargetIsNeverFollowed) {
  Make(archive_, [&](ArchiveHeap& heap) { Sample(heap); });
  fs::create_directories(folder_ / "elsewhere");
  fs::create_directories(folder_ / "out/C");
  fs::create_directory_symlink(folder_ / "elsewhere", folder_ / "out/C/data");
  std::string said;
  EXPECT_FALSE(Restore(archive_, "", {}, &said));
  EXPECT_NE(said.find("Unable to make directory"), std::string::npos) << said;
  EXPECT_TRUE(fs::is_empty(folder_ / "elsewhere"));
}

TEST_F(HostRestoreTest, ACompoundDocumentIsWrittenAsACompoundFile) {
  auto build = [](const char* elementName) {
    return [elementName](ArchiveHeap& heap) {
      ArchiveBuilder b(heap);
      const uint32_t snapshot = b.Snapshot("Snapshot", kSnapshotFlags);
      const Stamp asAt = NumberedStamp(1);
      const uint32_t doc = b.Object("C:\\report.doc");
      const uint32_t docRevision = b.Revision(doc, asAt, 0, 0, revision_type::kStorage);
      const uint32_t storage = b.Object("C:\\report.doc\\Inner");
      const uint32_t storageRevision = b.Revision(storage, asAt, 0, 0, revision_type::kStorage);
      const uint32_t stream = b.Object(std::string("C:\\report.doc\\Inner\\") + elementName);
      const uint32_t streamRevision = b.Revision(stream, asAt, 0, kNotes.size(), revision_type::kStream);
      b.Difference(streamRevision, difference_kind::kInsertion, 0, kNotes);
      b.Push(storageRevision + 12, stream);
      b.Push(docRevision + 12, storage);
      b.Push(snapshot + 8, doc);
    };
  };
  Make(archive_, build("Body"));
  ASSERT_TRUE(Restore(archive_));
  const fs::path doc = folder_ / "out/C/report.doc";
  GError* error = nullptr;
  GsfInput* input = gsf_input_stdio_new(doc.c_str(), &error);
  ASSERT_NE(input, nullptr);
  GsfInfile* file = gsf_infile_msole_new(input, &error);
  ASSERT_NE(file, nullptr);
  GsfInput* inner = gsf_infile_child_by_name(file, "Inner");
  ASSERT_NE(inner, nullptr);
  GsfInput* body = gsf_infile_child_by_name(GSF_INFILE(inner), "Body");
  ASSERT_NE(body, nullptr);
  ASSERT_EQ(gsf_input_size(body), 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(gsf_input_read(body, 5, nullptr)), 5), "notes");
  for (void* object : {static_cast<void*>(body), static_cast<void*>(inner), static_cast<void*>(file),
                       static_cast<void*>(input)})
    g_object_unref(object);

  // An element name the format does not allow is damage; nothing is written for the document.
  fs::remove_all(folder_ / "out");
  fs::remove(archive_);
  Make(archive_, build("a!b"));
  std::string said;
  EXPECT_FALSE(Restore(archive_, "", {}, &said));
  EXPECT_NE(said.find("Unsafe name in archive: C:\\report.doc\\Inner\\a!b"), std::string::npos) << said;
  EXPECT_FALSE(fs::exists(doc));
}

TEST(TargetNamesTest, DrivesAndSharesMapBelowTheTargetAndOtherNamesAreRefused) {
  const StoredText kCodePage(false);
  std::vector<std::string> parts;
  ASSERT_TRUE(TargetComponents(kCodePage, "c:\\Users\\a", &parts));
  EXPECT_EQ(parts, (std::vector<std::string>{"C", "Users", "a"}));
  ASSERT_TRUE(TargetComponents(kCodePage, "C:\\", &parts));
  EXPECT_EQ(parts, (std::vector<std::string>{"C"}));
  ASSERT_TRUE(TargetComponents(kCodePage, "\\\\server\\share\\x", &parts));
  EXPECT_EQ(parts, (std::vector<std::string>{"UNC", "server", "share", "x"}));
  for (const char* refused : {"", "a.txt", "C:a.txt", "\\\\server", "\\\\?\\C:\\x", "\\\\.\\COM1", "C:\\..\\x",
                              "C:\\a\\\\b", "C:\\con", "C:\\a/b", "/etc/passwd", "C:\\a.", "\\\\..\\share"})
    EXPECT_FALSE(TargetComponents(kCodePage, refused, &parts)) << refused;
}

}  // namespace
}  // namespace crn
}  // namespace cairn
