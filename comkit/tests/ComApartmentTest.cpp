// ComApartment: COM started and ended on one thread, in balance, and never ended on a thread
// that did not start it.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <memory>
#include <thread>

#include "ComApartment.h"

namespace cairn {
namespace {

// Whether COM is started on this thread (CoInitialize then answers S_FALSE; undone at once).
bool ComStartedHere() {
  const HRESULT hr = CoInitialize(nullptr);
  if (SUCCEEDED(hr)) CoUninitialize();
  return hr == S_FALSE;
}

TEST(ComApartmentTest, NestedOwnersEachEndTheirOwnStart) {
  std::thread([] {
    ASSERT_FALSE(ComStartedHere());
    {
      const ComApartment outer;
      EXPECT_EQ(S_OK, outer.Result());
      {
        const ComApartment inner;
        EXPECT_EQ(S_FALSE, inner.Result());
        EXPECT_TRUE(inner.Started());
      }
      EXPECT_TRUE(ComStartedHere()) << "the inner owner ended only its own start";
    }
    EXPECT_FALSE(ComStartedHere()) << "balanced: COM is over on the thread";
  }).join();
}

TEST(ComApartmentTest, AnOwnerLetGoOnAnotherThreadLeavesThatThreadsComAlone) {
  std::thread([] {
    const ComApartment own;
    std::unique_ptr<ComApartment> made;
    std::thread([&made] { made = std::make_unique<ComApartment>(); }).join();
    made.reset();
    EXPECT_TRUE(ComStartedHere()) << "this thread's COM was ended by an owner it did not make";
  }).join();
}

}  // namespace
}  // namespace cairn
