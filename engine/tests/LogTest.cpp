// The archive log: entries written by the engine's operations, and the rendering as text.
#include "EngineTestSupport.h"

#include <regex>

#include "ArchiveOpen.h"
#include "LogRecords.h"

namespace cairn {
namespace {

using testing::LoadArchive;
using testing::ReadAll;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("log.crn");
    {
      std::unique_ptr<ArchiveHeap> heap;
      ASSERT_EQ(OpenArchive(PlatformFiles::Native(), path_, true, true, &heap), S_OK);
      testing::ArchiveBuilder builder(*heap);
      ASSERT_NE(builder.Snapshot("Autosnap", 0x11), 0u);
    }
    archive_ = LoadArchive(path_);
    ASSERT_TRUE(archive_);
    ASSERT_EQ(archive_.As(&admin_), S_OK);
  }
  std::string Rendered() {
    ComPtr<IStream> text;
    EXPECT_EQ(admin_->InterpretLogStream(text.Out()), S_OK);
    if (!text) return "<none>";
    std::vector<uint8_t> bytes = ReadAll(text.Get());
    return std::string(bytes.begin(), bytes.end());
  }
  // Replaces the log with raw bytes.
  void WriteLog(const std::vector<uint8_t>& bytes) {
    ComPtr<IStream> log;
    ASSERT_EQ(admin_->GetLogStream(log.Out()), S_OK);
    LARGE_INTEGER end = {};
    ASSERT_EQ(log->Seek(end, STREAM_SEEK_END, nullptr), S_OK);
    ASSERT_EQ(testing::WriteAll(log.Get(), bytes), S_OK);
    ASSERT_EQ(admin_->CommitLogStream(log.Get()), S_OK);
  }
  testing::TempDir dir_;
  std::string path_;
  ComPtr<ICairnArchive> archive_;
  ComPtr<ICairnArchiveAdmin> admin_;
};

const char kStamp[] = ".+ \\d\\d:\\d\\d:\\d\\d: ";

TEST_F(LogTest, ANewArchiveRendersAnEmptyLog) {
  EXPECT_EQ(Rendered(), "");
  Bstr name(L"\\\\.\\ArchiveLog");
  ComPtr<ICairnObject> object;
  EXPECT_EQ(admin_->GetObject(name.Get(), object.Out(), 0), S_OK) << "rendering made the log stream";
}

TEST_F(LogTest, OperationsWriteTheirEntries) {
  Bstr stored(L"AUTOSNAP;1");
  ASSERT_EQ(archive_->DeleteSnapShot(stored.Get()), S_OK);
  ASSERT_EQ(archive_->DeleteSnapShot(stored.Get()), S_OK);  // logged again
  Bstr missing(L"none;5");
  ASSERT_EQ(archive_->DeleteSnapShot(missing.Get()), S_OK);  // nothing to log

  ComPtr<IEnumSnapShots> snapshots;
  ComPtr<ICairnSnapShot> snapshot;
  ASSERT_EQ(archive_->EnumSnapShots(0, snapshots.Out()), S_OK);
  ASSERT_EQ(snapshots->Next(3, snapshot.Out()), S_OK);
  Bstr comment(L"kept for the audit"), name(L"Monthly;1");
  ASSERT_EQ(snapshot->SetComment(comment.Get()), S_OK);
  ASSERT_EQ(snapshot->SetName(name.Get()), S_OK);

  const std::string text = Rendered();
  const std::string line = std::string("I: ") + kStamp;
  EXPECT_TRUE(std::regex_match(text, std::regex(line + "Snapshot deleted: Autosnap;1\r\n" +  //
                                                 line + "Snapshot deleted: Autosnap;1\r\n" +  //
                                                 line + "Snapshot 1 comment changed/set to: kept for the audit\r\n" +
                                                 line + "Snapshot 1 name changed/set to Monthly;1\r\n")))
      << text;
}

TEST_F(LogTest, RenderingFollowsTheRecords) {
  std::vector<uint8_t> raw;
  auto add = [&raw](const std::vector<uint8_t>& record) { raw.insert(raw.end(), record.begin(), record.end()); };
  add(EncodeLogRecord(log_type::kInformation, 0x01D9C000D53E8000ull, 101, "7\r"));
  add(EncodeLogRecord(5, 0, 104, "never shown"));
  add(EncodeLogRecord(log_type::kError, 0x01D9C000D53E8000ull, 108, "Stream\r42"));
  add(EncodeLogRecord(log_type::kWarning, 0x01D9C000D53E8000ull, 999, "no template"));
  add(EncodeLogRecord(log_type::kInformation, 0x01D9C000D53E8000ull, 106, "C:\\a.txt\rextra\rinserts"));
  std::vector<uint8_t> cut = EncodeLogRecord(log_type::kInformation, 0, 107, "cut short");
  cut.resize(cut.size() - 5);
  add(cut);
  WriteLog(raw);

  const std::string text = Rendered();
  EXPECT_TRUE(std::regex_match(text, std::regex(std::string("I: ") + kStamp + "Snapshot 7 comment changed/set to: \r\n" +
                                                 "E: " + kStamp + "Internal Error in Stream at 42\r\n" +
                                                 "W: " + kStamp + "\r\n" +
                                                 "I: " + kStamp + "Object changed: C:\\\\a\\.txt\r\n" +
                                                 "I: ")))
      << text;
}

}  // namespace
}  // namespace cairn
