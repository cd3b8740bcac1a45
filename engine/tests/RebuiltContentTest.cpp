// Contents kept by streams: in memory up to a limit, then in a temporary file of the platform
// layer. A failed open, mapping or growth there fails cleanly and keeps the content's bytes.
#include <gtest/gtest.h>

#include <vector>

#include "HResultAssert.h"
#include "MemoryFiles.h"
#include "RebuiltContent.h"

namespace cairn {
namespace {

constexpr uint32_t kLimit = 4096;

// A content of size bytes 0, 1, 2, ... (mod 251).
std::vector<uint8_t> Pattern(uint32_t size) {
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
  return bytes;
}

void Fill(RebuiltContent& content, uint32_t size) {
  ASSERT_HR(S_OK, content.Resize(size));
  const std::vector<uint8_t> bytes = Pattern(size);
  ASSERT_HR(S_OK, content.Write(0, bytes.data(), size));
}

// The content is size bytes long and they are Pattern(size).
void ExpectPattern(const RebuiltContent& content, uint32_t size) {
  ASSERT_EQ(content.Size(), size);
  std::vector<uint8_t> read(size);
  ASSERT_HR(S_OK, content.Read(0, read.data(), size));
  EXPECT_TRUE(read == Pattern(size)) << "the content's bytes";
}

class RebuiltContentTest : public ::testing::Test {
 protected:
  testing::MemoryFiles memory_;
  testing::FaultyFiles files_{memory_};
};

TEST_F(RebuiltContentTest, GrowsFromMemoryIntoATemporaryFileKeepingItsBytes) {
  RebuiltContent content(files_, kLimit);
  Fill(content, kLimit);
  EXPECT_FALSE(content.InTemporaryFile());
  ASSERT_HR(S_OK, content.Resize(kLimit + 1));
  EXPECT_TRUE(content.InTemporaryFile());
  ASSERT_HR(S_OK, content.Resize(1 << 20));
  ASSERT_HR(S_OK, content.Resize(kLimit));
  ExpectPattern(content, kLimit);
  uint8_t tail = 0xAA;
  ASSERT_HR(S_OK, content.Resize(kLimit + 1));
  ASSERT_HR(S_OK, content.Read(kLimit, &tail, 1));
  EXPECT_EQ(tail, 0) << "a grown content reads zero where it was cut before";
  EXPECT_HR(E_INVALIDARG, content.Read(kLimit, &tail, 2));
}

// The first move out of memory fails at each of its steps: the content stays in memory, whole,
// and the next try goes ahead.
TEST_F(RebuiltContentTest, AFailedMoveIntoTheFileKeepsTheContentInMemory) {
  const char* const steps[] = {"the temporary file cannot be made", "its disk space cannot be taken",
                               "it cannot be mapped"};
  for (int step = 0; step < 3; ++step) {
    SCOPED_TRACE(steps[step]);
    testing::FaultyFiles files(memory_);
    if (step == 0) files.FailOpen(1);
    if (step == 1) files.FailGrowth(1, false);
    if (step == 2) files.FailMap(1);
    RebuiltContent content(files, kLimit);
    Fill(content, kLimit);
    EXPECT_HR(step == 0 ? E_FAIL : E_OUTOFMEMORY, content.Resize(2 * kLimit));
    EXPECT_FALSE(content.InTemporaryFile());
    ExpectPattern(content, kLimit);
    ASSERT_HR(S_OK, content.Resize(2 * kLimit)) << "the next try goes ahead";
    EXPECT_TRUE(content.InTemporaryFile());
    ASSERT_HR(S_OK, content.Resize(kLimit));
    ExpectPattern(content, kLimit);
  }
}

TEST_F(RebuiltContentTest, AFailedGrowthOfTheFileKeepsWhatItHeld) {
  RebuiltContent content(files_, kLimit);
  Fill(content, 2 * kLimit);
  files_.FailGrowth(files_.Growths() + 1, true);  // the disk is full from the next growth on
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_HR(E_OUTOFMEMORY, content.Resize(1 << 20));
    ExpectPattern(content, 2 * kLimit);
    const uint8_t byte = 7;
    EXPECT_HR(S_OK, content.Write(0, &byte, 1)) << "still writable";
    const uint8_t first = 0;
    EXPECT_HR(S_OK, content.Write(0, &first, 1));
  }
}

// The growth fails and so does mapping the file again as it was: the content keeps its size,
// answers errors rather than touching a lost mapping, and is whole once it can be mapped again.
TEST_F(RebuiltContentTest, AFileThatCannotBeMappedAgainAnswersErrorsUntilItCan) {
  RebuiltContent content(files_, kLimit);
  Fill(content, 2 * kLimit);
  files_.FailMap(files_.MapCalls() + 1, E_OUTOFMEMORY, 2);
  EXPECT_HR(E_OUTOFMEMORY, content.Resize(1 << 20));
  EXPECT_EQ(content.Size(), 2 * kLimit);
  EXPECT_EQ(content.Data(), nullptr);
  uint8_t byte = 0xAA;
  EXPECT_HR(E_OUTOFMEMORY, content.Read(0, &byte, 1));
  EXPECT_HR(E_OUTOFMEMORY, content.Write(0, &byte, 1));
  EXPECT_HR(E_OUTOFMEMORY, content.Move(0, 1, 1));
  EXPECT_EQ(byte, 0xAA);
  ASSERT_HR(S_OK, content.Resize(2 * kLimit)) << "mapped again";
  ExpectPattern(content, 2 * kLimit);
  ASSERT_HR(S_OK, content.Resize(1 << 20));
  ASSERT_HR(S_OK, content.Resize(2 * kLimit));
  ExpectPattern(content, 2 * kLimit);
}

}  // namespace
}  // namespace cairn
