// The shared background work: one job of a kind at a time, and a job that throws neither ends
// the process nor keeps its kind busy.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <stdexcept>

#include "BackgroundWork.h"
#include "Handle.h"
#include "HostedViewSupport.h"

namespace cairn {
namespace shell {
namespace {

using browser::testing::WaitFor;

TEST(BackgroundWorkTest, OneJobOfAKindAtATimeAndAThrowingJobReleasesItsKind) {
  // Static: a job started by the last wait may still run after the test.
  static const Handle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  static std::atomic<bool> firstRunning{false}, secondRan{false}, otherKindRan{false};
  ASSERT_TRUE(StartWork(WorkKind::kDelete, [] {
    firstRunning = true;
    WaitForSingleObject(release.Get(), 60000);
    throw std::runtime_error("the job failed");
  }));
  ASSERT_TRUE(WaitFor([] { return firstRunning.load(); }));

  ASSERT_TRUE(StartWork(WorkKind::kDelete, [] { secondRan = true; }));
  ASSERT_TRUE(StartWork(WorkKind::kPaste, [] { otherKindRan = true; }));
  EXPECT_TRUE(WaitFor([] { return otherKindRan.load(); })) << "another kind runs beside it";
  EXPECT_FALSE(secondRan) << "a job of a busy kind is dropped";

  SetEvent(release.Get());
  // Once the throwing job has ended, its kind takes work again.
  EXPECT_TRUE(WaitFor([] {
    if (!secondRan) StartWork(WorkKind::kDelete, [] { secondRan = true; });
    return secondRan.load();
  }));
}

}  // namespace
}  // namespace shell
}  // namespace cairn
