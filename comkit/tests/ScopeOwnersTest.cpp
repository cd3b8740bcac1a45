// The scope owners of a medium and of a global memory lock: each end happens once, when the
// owner goes, and never for what was given up.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <utility>

#include "GlobalMemoryLock.h"
#include "StorageMedium.h"

namespace cairn {
namespace {

// The pUnkForRelease of a medium: ReleaseStgMedium then releases it instead of the memory.
class CountedRelease final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = iid == IID_IUnknown ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(++releases); }
  int releases = 0;
};

class StorageMediumTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(nullptr, memory_); }
  void TearDown() override { GlobalFree(memory_); }
  STGMEDIUM Medium() {
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = memory_;
    medium.pUnkForRelease = &counted_;
    return medium;
  }
  HGLOBAL memory_ = GlobalAlloc(GMEM_MOVEABLE, 16);
  CountedRelease counted_;
};

TEST_F(StorageMediumTest, ReleasedOnceWhenTheLastOwnerGoesAndNeverWhenDetached) {
  {
    StorageMedium first(Medium());
    StorageMedium second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    StorageMedium third;
    third = std::move(second);
    EXPECT_EQ(0, counted_.releases);
  }
  EXPECT_EQ(1, counted_.releases);

  StorageMedium kept(Medium());
  const STGMEDIUM given = kept.Detach();
  EXPECT_EQ(memory_, given.hGlobal);
  EXPECT_FALSE(kept);
  kept.Reset();
  EXPECT_EQ(1, counted_.releases) << "a detached medium is the taker's to release";
}

TEST_F(StorageMediumTest, OutReleasesWhatWasHeldBeforeItIsFilledAgain) {
  StorageMedium medium(Medium());
  STGMEDIUM* slot = medium.Out();
  EXPECT_EQ(1, counted_.releases);
  EXPECT_EQ(static_cast<DWORD>(TYMED_NULL), slot->tymed);
  EXPECT_EQ(nullptr, slot->pUnkForRelease);
  *slot = Medium();
  EXPECT_EQ(memory_, medium.Get().hGlobal);
  medium.Reset();
  EXPECT_EQ(2, counted_.releases);
}

TEST(GlobalMemoryLockTest, LockedWhileTheOwnerLivesAndUnlockedOnce) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 16);
  ASSERT_NE(nullptr, memory);
  {
    const GlobalMemoryLock lock(memory);
    ASSERT_TRUE(lock);
    EXPECT_EQ(1u, GlobalFlags(memory) & GMEM_LOCKCOUNT);
    EXPECT_GE(lock.Size(), 16u);
    lock.As<char>()[15] = 'x';
  }
  EXPECT_EQ(0u, GlobalFlags(memory) & GMEM_LOCKCOUNT);
  GlobalFree(memory);

  const GlobalMemoryLock none(nullptr);
  EXPECT_FALSE(none);
  EXPECT_EQ(nullptr, none.Data());
  EXPECT_EQ(0u, none.Size());
}

}  // namespace
}  // namespace cairn
