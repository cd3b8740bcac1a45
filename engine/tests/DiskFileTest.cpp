// Disk files as the content a revision is made from: large ones read in place, a window of their
// mapping at a time and across window ends; small ones, and ones written a moment ago (whose time
// a later write could leave as it is), copied; a file written after it was opened fails its check.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DiskFileCopy.h"
#include "Handle.h"
#include "HResultAssert.h"
#include "TempDir.h"

namespace cairn {
namespace {

std::vector<uint8_t> Pattern(uint32_t size) {
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

std::wstring Wide(const std::string& path) { return std::filesystem::u8path(path).wstring(); }

// Writes bytes to path and dates the file ago seconds back.
void Write(const std::wstring& path, const std::vector<uint8_t>& bytes, int ago) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t;
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart -= static_cast<ULONGLONG>(ago) * 10000000;
  FILETIME then = {t.LowPart, t.HighPart};
  ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &then));
}

TEST(DiskFileTest, LargeFilesAreReadInPlaceAndCheckedSmallAndFreshOnesCopied) {
  testing::TempDir dir;
  const std::wstring large = Wide(dir.Path("large.bin")), small = Wide(dir.Path("small.bin")),
                     fresh = Wide(dir.Path("fresh.bin"));
  const uint32_t size = (40u << 20) + 123;  // past the ends of several windows of 8 MB
  const std::vector<uint8_t> bytes = Pattern(size);
  Write(large, bytes, 3600);
  Write(small, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1000), 3600);
  Write(fresh, std::vector<uint8_t>(bytes.begin(), bytes.begin() + (5u << 20)), 0);

  std::unique_ptr<RebuiltContent> copy;
  std::unique_ptr<DiskFileView> view;
  StatBlock stat;
  ASSERT_HR(S_OK, OpenDiskFile(large.c_str(), &copy, &view, &stat));
  ASSERT_TRUE(view != nullptr);
  EXPECT_TRUE(copy == nullptr);
  EXPECT_EQ(stat.size, size);
  EXPECT_EQ(view->Size(), size);
  std::vector<uint8_t> scratch;
  for (uint32_t at : {0u, (8u << 20) - 10, (32u << 20) + 5, size - 64}) {
    SCOPED_TRACE(at);
    const uint8_t* run = Together(*view, at, 64, scratch);
    ASSERT_TRUE(run != nullptr);
    EXPECT_TRUE(std::equal(run, run + 64, bytes.begin() + at));
  }
  std::vector<uint8_t> whole(size);
  ASSERT_TRUE(CopyOut(*view, 0, size, whole.data()));
  EXPECT_TRUE(whole == bytes);
  EXPECT_HR(S_OK, view->Verify());

  // Written after it was opened: the content read may not be the file as it was at one moment.
  {
    Handle file(CreateFileW(large.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    SetFilePointer(file.Get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), "x", 1, &written, nullptr));
  }
  EXPECT_HR(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), view->Verify());
  view.reset();

  for (const std::wstring& copied : {small, fresh}) {
    ASSERT_HR(S_OK, OpenDiskFile(copied.c_str(), &copy, &view, &stat));
    EXPECT_TRUE(view == nullptr);
    ASSERT_TRUE(copy != nullptr);
    EXPECT_EQ(stat.size, copy->Size());
    EXPECT_TRUE(std::equal(copy->Data(), copy->Data() + copy->Size(), bytes.begin()));
  }
}

}  // namespace
}  // namespace cairn
