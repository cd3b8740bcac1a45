// cn /r onto a disk of 4 MiB that fills up partway (the full-disk script mounts it and names it in
// CAIRN_FULL_DISK_DIR; the archives lie elsewhere): the restore fails with a message, and the file
// or document that stood at the target stays as it was, never replaced by a truncated one.
#include <cstdlib>

#include "Capability.h"
#include "CnRestoreFixture.h"
#include "OfficeDocument.h"

namespace cairn {
namespace {

class CnFullDiskTest : public CnRestoreTest {
 protected:
  void SetUp() override {
    CnRestoreTest::SetUp();
    const char* folder = std::getenv("CAIRN_FULL_DISK_DIR");
    if (folder == nullptr || *folder == '\0') CAIRN_SKIP_WITHOUT("the disk that the full-disk script mounts");
    disk_ = fs::path(folder) / ("restore-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(disk_);
    ASSERT_TRUE(fs::create_directories(disk_));
  }
  void TearDown() override {
    std::error_code ignored;
    if (!disk_.empty()) fs::remove_all(disk_, ignored);
    CnRestoreTest::TearDown();
  }
  // Fills the disk until about `left` bytes are free.
  void FillLeaving(ULONGLONG left) {
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(disk_.c_str(), &free, nullptr, nullptr));
    ASSERT_GT(free.QuadPart, left);
    WriteFileBytes(disk_ / "filler", std::string(static_cast<size_t>(free.QuadPart - left), 'f'));
  }
  // What the disk's folder holds besides the filler, for "nothing left beside the target".
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(disk_))
      if (entry.path().filename() != "filler") names.push_back(entry.path().filename().string());
    return names;
  }

  fs::path disk_;
};

TEST_F(CnFullDiskTest, AFileThatDoesNotFitLeavesTheEarlierFileAsItWas) {
  const fs::path big = disk_ / "big.bin";
  WriteFileBytes(big, Pattern(2 << 20, 5));
  ASSERT_EQ(Cn(L"/c /a \"" + big.wstring() + L"\" x.crn").exitCode, 1u);
  WriteFileBytes(big, "earlier");
  FillLeaving(1 << 20);
  const CnRun run = Cn(L"/r x.crn");
  EXPECT_EQ(run.exitCode, kFailed);
  EXPECT_NE(run.err.find("Failed to restore: " + big.string()), std::string::npos) << run.err;
  EXPECT_EQ(ReadFileBytes(big), "earlier");
  EXPECT_EQ(Names(), std::vector<std::string>{"big.bin"});

  // With room again the same restore writes it whole.
  fs::remove(disk_ / "filler");
  EXPECT_EQ(Cn(L"/r x.crn").exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(big), Pattern(2 << 20, 5));
}

TEST_F(CnFullDiskTest, ADocumentThatDoesNotFitLeavesTheEarlierDocumentOrNone) {
  using testing::ReadDocumentElements;
  const fs::path document = disk_ / "report.doc";
  ASSERT_TRUE(testing::WriteOfficeDocument(document.wstring(), 1));
  {
    // A stream large enough that the rebuilt document cannot fit.
    ComPtr<IStorage> root;
    ComPtr<IStream> stream;
    const DWORD mode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    ASSERT_EQ(StgOpenStorage(document.c_str(), nullptr, mode, nullptr, 0, root.Out()), S_OK);
    ASSERT_EQ(root->CreateStream(L"Data", mode | STGM_CREATE, 0, 0, stream.Out()), S_OK);
    const std::string bytes = Pattern(2 << 20, 6);
    ASSERT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr), S_OK);
  }
  const auto stored = ReadDocumentElements(document.wstring());
  ASSERT_EQ(Cn(L"/c /a \"" + document.wstring() + L"\" x.crn").exitCode, 1u);
  ASSERT_TRUE(testing::WriteOfficeDocument(document.wstring(), 2));
  const auto earlier = ReadDocumentElements(document.wstring());
  FillLeaving(1 << 20);
  for (const bool none : {false, true}) {
    SCOPED_TRACE(none ? "no document before" : "an earlier document");
    if (none) fs::remove(document);
    const CnRun run = Cn(L"/r x.crn");
    EXPECT_EQ(run.exitCode, kFailed);
    EXPECT_NE(run.err.find("Failed to restore: " + document.string()), std::string::npos) << run.err;
    EXPECT_EQ(Names(), none ? std::vector<std::string>{} : std::vector<std::string>{"report.doc"});
    if (!none) {
      EXPECT_TRUE(ReadDocumentElements(document.wstring()) == earlier);  // not printed: megabytes
    }
  }

  // With room again the same restore writes it whole.
  fs::remove(disk_ / "filler");
  EXPECT_EQ(Cn(L"/r x.crn").exitCode, 0u);
  EXPECT_TRUE(ReadDocumentElements(document.wstring()) == stored);
}

}  // namespace
}  // namespace cairn
