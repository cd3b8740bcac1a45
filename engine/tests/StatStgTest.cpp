// The archive's status block against the platform's STATSTG.
#include <gtest/gtest.h>

#include <cstring>

#include "StatStg.h"

namespace cairn {
namespace {

TEST(StatStgTest, ConvertsEveryFieldBothWays) {
  // The native structure is larger on win64: the archive must never take its size from it.
  EXPECT_EQ(StatBlock::kSize, 72u);
  EXPECT_EQ(sizeof(STATSTG), sizeof(void*) == 8 ? 80u : 72u);

  STATSTG stat = {};
  stat.pwcsName = const_cast<LPOLESTR>(L"ignored");
  stat.type = STGTY_STREAM;
  stat.cbSize.QuadPart = 0x123456789ull;
  stat.mtime = {1, 2};
  stat.ctime = {3, 4};
  stat.atime = {5, 6};
  stat.grfMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
  stat.grfLocksSupported = LOCK_EXCLUSIVE;
  stat.clsid = IID_IStream;
  stat.grfStateBits = 0x42;
  stat.reserved = FILE_ATTRIBUTE_DIRECTORY;

  const StatBlock block = ToStatBlock(stat);
  EXPECT_EQ(block.name, 0u);
  EXPECT_EQ(block.type, 2u);
  EXPECT_EQ(block.size, 0x123456789ull);
  EXPECT_EQ(block.modified, 0x0000000200000001ull);
  EXPECT_EQ(block.accessed, 0x0000000600000005ull);
  EXPECT_EQ(block.attributes, 0x10u);

  uint8_t bytes[72];
  block.Store(bytes);
  StatBlock loaded;
  loaded.Load(bytes);
  const STATSTG back = ToStatStg(loaded);
  EXPECT_EQ(back.pwcsName, nullptr);
  EXPECT_EQ(back.type, stat.type);
  EXPECT_EQ(back.cbSize.QuadPart, stat.cbSize.QuadPart);
  EXPECT_EQ(back.ctime.dwHighDateTime, 4u);
  EXPECT_EQ(back.grfMode, stat.grfMode);
  EXPECT_EQ(back.grfLocksSupported, stat.grfLocksSupported);
  EXPECT_TRUE(IsEqualGUID(back.clsid, IID_IStream));
  EXPECT_EQ(back.grfStateBits, 0x42u);
  EXPECT_EQ(back.reserved, stat.reserved);
}

}  // namespace
}  // namespace cairn
