// crninspect /check on archive files: the lines it prints and its exit codes, for a sound
// archive (also self-extracting), a damaged revision that the link checks pass, and a file that
// is no archive.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "ArchiveCoverage.h"
#include "ArchiveOpen.h"
#include "InspectCheck.h"
#include "SampleArchive.h"
#include "ScriptedHistories.h"
#include "StoredContents.h"

namespace cairn {
namespace {

namespace fs = std::filesystem;

class InspectCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / "inspect-check-test";
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Writes an archive with one file of three revisions, compressed; the revisions' offsets.
  std::vector<uint32_t> Write(const fs::path& path) {
    std::unique_ptr<ArchiveHeap> heap;
    EXPECT_EQ(OpenArchive(PlatformFiles::Native(), path.string(), true, true, &heap), S_OK);
    return testing::StoreContents(*heap, "C:\\docs\\notes.txt", testing::LargeFileHistory(40000, 2, 4)[0], 1);
  }

  // Runs the check; what it printed goes to *printed.
  int Run(const fs::path& path, std::string* printed) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int code = RunCheck(path.string().c_str(), out, err);
    printed->clear();
    for (std::FILE* f : {out, err}) {
      std::rewind(f);
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) != 0;) printed->append(buffer, n);
      std::fclose(f);
    }
    return code;
  }

  static std::string Bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

  fs::path folder_;
};

TEST_F(InspectCheckTest, ASoundArchiveAndItsSelfExtractingFormExitWithZero) {
  const fs::path plain = folder_ / "a.crn";
  Write(plain);
  const std::string before = Bytes(plain);
  std::string printed;
  EXPECT_EQ(Run(plain, &printed), 0) << printed;
  EXPECT_TRUE(Bytes(plain) == before) << "the check never writes";
  EXPECT_NE(printed.find("checked 1 objects and 3 revisions"), std::string::npos) << printed;
  EXPECT_NE(printed.find("no damage found"), std::string::npos) << printed;

  // The launcher's 64 KB, then the same archive.
  const fs::path sfx = folder_ / "a.exe";
  {
    std::ofstream file(sfx, std::ios::binary);
    file << std::string(static_cast<size_t>(kSelfExtractingOffset), 'M');
    std::ifstream archive(plain, std::ios::binary);
    file << archive.rdbuf();
  }
  EXPECT_EQ(Run(sfx, &printed), 0) << printed;
}

TEST_F(InspectCheckTest, ADamagedRevisionThatTheLinksPassIsNamedWithItsSnapshot) {
  const fs::path path = folder_ / "a.crn";
  const std::vector<uint32_t> revisions = Write(path);
  {
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path.string(), false, true, &heap), S_OK);
    // A byte of revision 2's first record changed on the disk, as bit rot would.
    DifferenceRecord d(*heap, RevisionRecord(*heap, revisions[1]).Differences());
    while (d.Kind() == difference_kind::kDeletion) d = DifferenceRecord(*heap, d.Next());
    uint8_t* data = heap->Resolve(d.Data(), d.Length());
    ASSERT_NE(data, nullptr);
    data[d.Length() / 2] ^= 0x20;
    ArchiveCoverage coverage;
    ASSERT_EQ(MapCoverage(*heap, &coverage), S_OK);
    ASSERT_TRUE(coverage.gaps.empty() && coverage.overlaps.empty()) << "the links pass";
  }
  std::string printed;
  EXPECT_EQ(Run(path, &printed), 1) << printed;
  EXPECT_NE(printed.find("damaged: \"C:\\docs\\notes.txt\" revision 2 (in Snapshot;2): the compressed data of the record"),
            std::string::npos)
      << printed;
  EXPECT_NE(printed.find("damaged: \"C:\\docs\\notes.txt\" revision 1 (in Snapshot;1):"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("revision 3"), std::string::npos) << printed;
  EXPECT_NE(printed.find("2 damaged revisions, 0 other problems"), std::string::npos) << printed;
}

TEST_F(InspectCheckTest, BesideAWriterWhatItHasNotLinkedYetIsNoDamage) {
  const fs::path path = folder_ / "a.crn";
  Write(path);
  std::unique_ptr<ArchiveHeap> writer;
  ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path.string(), false, true, &writer), S_OK);
  ASSERT_NE(writer->Allocate(5000), 0u);  // a record being written, not linked yet
  std::string printed;
  EXPECT_EQ(Run(path, &printed), 0) << printed;
  EXPECT_NE(printed.find("a writer was at work on the archive: 5000 bytes it had not linked yet"), std::string::npos)
      << printed;
}

// Inside a compound document, names that no disk takes as file names ("CON", a trailing dot or
// space, control characters) are ordinary elements: the check judges only that each child is
// named under its parent.
TEST_F(InspectCheckTest, ElementNamesAreNotJudgedAsFileNames) {
  const fs::path path = folder_ / "doc.crn";
  {
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path.string(), true, true, &heap), S_OK);
    testing::ArchiveBuilder build(*heap);
    const uint32_t snapshot = build.Snapshot("Snapshot", snapshot_flags::kLive | snapshot_flags::kNumberedStamps);
    const std::string name = "C:\\docs\\report.doc";
    const uint32_t document = build.Object(name);
    const uint32_t root = build.Revision(document, NumberedStamp(1), 0x20, 0, revision_type::kStorage);
    ASSERT_NE(build.Push(snapshot + 8, document), 0u);
    for (const char* element : {"\x05SummaryInformation", "\x01CompObj", "CON", "a.", "x y "}) {
      const uint32_t child = build.Object(name + "\\" + element);
      ASSERT_NE(build.Revision(child, NumberedStamp(1), 0, 0, revision_type::kStream), 0u);
      ASSERT_NE(build.Push(root + 12, child), 0u);
    }
  }
  std::string printed;
  EXPECT_EQ(Run(path, &printed), 0) << printed;
  EXPECT_NE(printed.find("checked 6 objects"), std::string::npos) << printed;
  EXPECT_NE(printed.find("no damage found"), std::string::npos) << printed;
}

TEST_F(InspectCheckTest, AFileThatIsNoArchiveExitsWithTwo) {
  const fs::path path = folder_ / "text.crn";
  std::ofstream(path) << "not an archive at all, just some words";
  std::string printed;
  EXPECT_EQ(Run(path, &printed), 2);
  EXPECT_NE(printed.find("not a Cairn archive"), std::string::npos) << printed;
  EXPECT_EQ(Run(folder_ / "missing.crn", &printed), 2);
}

}  // namespace
}  // namespace cairn
