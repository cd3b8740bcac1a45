// The conversion between plain and self-extracting archives, called directly.
#include <gtest/gtest.h>

#include <memory>

#include "ArchiveHeap.h"
#include "ArchiveRecords.h"
#include "ArchiveWalk.h"
#include "Conversion.h"
#include "SampleArchive.h"
#include "SelfExtracting.h"
#include "SfxTestSupport.h"

namespace cairn {
namespace sfx {
namespace {

using namespace testing;

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    launcher_ = ReadFileBytes(Utf8(launcherPath_));
    ASSERT_FALSE(launcher_.empty());
    ASSERT_LE(launcher_.size(), kArchiveOffset);
    // A real archive, so that the engine's core can be asked to read it in place afterwards.
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), dir_.Path("sample.crn"), true, true, &heap), S_OK);
    ASSERT_TRUE(cairn::testing::BuildSampleArchive(*heap));
    heap.reset();
    archive_ = ReadFileBytes(dir_.Path("sample.crn"));
    ASSERT_FALSE(archive_.empty());
  }

  Conversion Run(const std::string& name) { return Convert(Wide(dir_.Path(name)).c_str(), launcherPath_.c_str()); }

  // The expected self-extracting form of archive behind launcher bytes: the filler may hold
  // anything, so only the two ends are compared.
  void ExpectSelfExtracting(const std::string& path, const std::string& front, const std::string& archive) {
    const std::string bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), kArchiveOffset + archive.size()) << path;
    EXPECT_TRUE(bytes.compare(0, front.size(), front) == 0) << "the launcher is copied byte for byte";
    EXPECT_TRUE(bytes.compare(kArchiveOffset, std::string::npos, archive) == 0) << "the archive begins at 65536";
  }

  const std::wstring launcherPath_ = BesideTests(L"sfxstub.exe");
  std::string launcher_, archive_;
  TempDir dir_;
};

TEST_F(ConversionTest, RoundTripKeepsTheArchiveAndTheEngineReadsItInPlace) {
  ASSERT_TRUE(WriteFileBytes(dir_.Path("a.crn"), archive_));
  ASSERT_EQ(Run("a.crn"), Conversion::kDone);
  ExpectSelfExtracting(dir_.Path("a.exe"), launcher_, archive_);
  EXPECT_FALSE(Exists(dir_.Path("a.crn")));
  EXPECT_TRUE(IsSelfExtractingFile(Wide(dir_.Path("a.exe")).c_str()));

  std::unique_ptr<ArchiveHeap> heap;
  ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), dir_.Path("a.exe"), false, false, &heap), S_OK);
  EXPECT_EQ(heap->ViewOffset(), kArchiveOffset);
  ArchiveVisitor quiet;
  EXPECT_EQ(WalkArchive(*heap, quiet), S_OK);
  std::string name;
  ASSERT_EQ(ReadString(*heap, SnapshotRecord(*heap, heap->HeaderField(header::kSnapshotList)).Name(), &name), S_OK);
  EXPECT_EQ(name, "Snapshot;1");
  heap.reset();

  ASSERT_EQ(Run("a.exe"), Conversion::kDone);
  EXPECT_EQ(ReadFileBytes(dir_.Path("a.crn")), archive_);
  EXPECT_FALSE(Exists(dir_.Path("a.exe")));
}

TEST_F(ConversionTest, ExtensionsMatchInAnyCase) {
  const struct {
    const char* from;
    const char* to;
  } cases[] = {{"b.CRN", "b.exe"}, {"c.Crn", "c.exe"}, {"d.cRn", "d.exe"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteFileBytes(dir_.Path(c.from), archive_));
    EXPECT_EQ(Run(c.from), Conversion::kDone) << c.from;
    ExpectSelfExtracting(dir_.Path(c.to), launcher_, archive_);
  }
  ASSERT_TRUE(MoveFileW(Wide(dir_.Path("b.exe")).c_str(), Wide(dir_.Path("B.EXE")).c_str()));
  ASSERT_TRUE(MoveFileW(Wide(dir_.Path("c.exe")).c_str(), Wide(dir_.Path("c.eXe")).c_str()));
  for (const char* name : {"B.EXE", "c.eXe"}) EXPECT_EQ(Run(name), Conversion::kDone) << name;
  EXPECT_EQ(ReadFileBytes(dir_.Path("B.crn")), archive_);
  EXPECT_EQ(ReadFileBytes(dir_.Path("c.crn")), archive_);
}

TEST_F(ConversionTest, OtherPathsAreLeftAlone) {
  for (const char* name : {"x.txt", "x.crn.bak", "x.exe.crn.zip"}) ASSERT_TRUE(WriteFileBytes(dir_.Path(name), archive_));
  for (const char* name : {"x.txt", "x.crn.bak", "x.exe.crn.zip"}) EXPECT_EQ(Run(name), Conversion::kNothing) << name;
  // Four characters or fewer, and a quoted path, whose last letter is the quote.
  const std::wstring quoted = L"\"" + Wide(dir_.Path("q.crn")) + L"\"";
  ASSERT_TRUE(WriteFileBytes(dir_.Path("q.crn"), archive_));
  for (const wchar_t* path : {L"", L"crn", L".crn", L"a.rn", L".exe", quoted.c_str()})
    EXPECT_EQ(Convert(path, launcherPath_.c_str()), Conversion::kNothing) << Utf8(path);
  EXPECT_EQ(ReadFileBytes(dir_.Path("q.crn")), archive_);
  EXPECT_FALSE(Exists(dir_.Path("q.exe")));
}

TEST_F(ConversionTest, FailedConversionLeavesTheArchiveAndNoOutput) {
  const std::string path = dir_.Path("locked.crn");
  ASSERT_TRUE(WriteFileBytes(path, archive_));
  {
    // Open without any sharing: the conversion cannot read it.
    HANDLE locked = CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Run("locked.crn"), Conversion::kFailed);
    CloseHandle(locked);
  }
  EXPECT_FALSE(Exists(dir_.Path("locked.exe")));
  EXPECT_EQ(Convert(Wide(path).c_str(), nullptr), Conversion::kFailed) << "no launcher to copy";
  EXPECT_EQ(Convert(Wide(path).c_str(), Wide(dir_.Path("missing.exe")).c_str()), Conversion::kFailed);
  EXPECT_FALSE(Exists(dir_.Path("locked.exe")));
  EXPECT_EQ(Run("missing.crn"), Conversion::kFailed);
  EXPECT_FALSE(Exists(dir_.Path("missing.exe")));
  EXPECT_EQ(ReadFileBytes(path), archive_);
}

TEST_F(ConversionTest, ArchiveThatIsOpenIsKeptBesideTheResult) {
  const std::string path = dir_.Path("open.crn");
  ASSERT_TRUE(WriteFileBytes(path, archive_));
  // Open the way an archive is in use: shared for reading and writing, not for deletion.
  HANDLE open = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Run("open.crn"), Conversion::kArchiveKept);
  CloseHandle(open);
  ExpectSelfExtracting(dir_.Path("open.exe"), launcher_, archive_);
  EXPECT_EQ(ReadFileBytes(path), archive_);
}

TEST_F(ConversionTest, SelfExtractingLauncherLendsOnlyItsFrontPart) {
  // Run from a self-extracting archive, the launcher's own file holds another archive behind it.
  ASSERT_TRUE(WriteFileBytes(dir_.Path("first.crn"), archive_));
  ASSERT_EQ(Run("first.crn"), Conversion::kDone);
  const std::string second = archive_ + "more";
  ASSERT_TRUE(WriteFileBytes(dir_.Path("second.crn"), second));
  EXPECT_EQ(Convert(Wide(dir_.Path("second.crn")).c_str(), Wide(dir_.Path("first.exe")).c_str()), Conversion::kDone);
  ExpectSelfExtracting(dir_.Path("second.exe"), launcher_, second);
}

TEST_F(ConversionTest, OnlySelfExtractingArchivesAreTakenApart) {
  // An ordinary program, and a bare launcher with nothing behind it, stay as they are.
  ASSERT_TRUE(WriteFileBytes(dir_.Path("tool.exe"), ReadFileBytes(Utf8(BesideTests(L"fake_installer.exe"))) + archive_));
  ASSERT_TRUE(WriteFileBytes(dir_.Path("bare.exe"), launcher_));
  for (const char* name : {"tool", "bare"}) {
    const std::string exe = dir_.Path(std::string(name) + ".exe");
    const std::string before = ReadFileBytes(exe);
    EXPECT_EQ(Run(std::string(name) + ".exe"), Conversion::kFailed) << name;
    EXPECT_EQ(ReadFileBytes(exe), before) << name;
    EXPECT_FALSE(Exists(dir_.Path(std::string(name) + ".crn"))) << name;
  }
}

// Which paths name an archive for the Explorer extension: a plain one by its extension alone, a
// self-extracting one by its mark.
TEST_F(ConversionTest, ArchivesAreNamedByTheirExtensionOrTheirMark) {
  ASSERT_TRUE(WriteFileBytes(dir_.Path("a.crn"), archive_));
  ASSERT_EQ(Run("a.crn"), Conversion::kDone);
  ASSERT_TRUE(WriteFileBytes(dir_.Path("tool.exe"), ReadFileBytes(Utf8(BesideTests(L"fake_installer.exe")))));
  const struct {
    std::string path;
    bool archive;
  } cases[] = {{dir_.Path("a.exe"), true},      {dir_.Path("A.EXE"), true},      {dir_.Path("tool.exe"), false},
               {dir_.Path("missing.exe"), false}, {dir_.Path("missing.cRn"), true}, {"x.crn", true},
               {".crn", false},                    {dir_.Path("a.crnx"), false},   {"", false}};
  for (const auto& c : cases) EXPECT_EQ(NamesArchive(Wide(c.path).c_str()), c.archive) << c.path;
}

}  // namespace
}  // namespace sfx
}  // namespace cairn
