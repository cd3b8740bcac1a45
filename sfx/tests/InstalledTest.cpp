// The installed test against uninstall entries written by the test.
#include <gtest/gtest.h>

#include "Installed.h"
#include "SfxTestSupport.h"

namespace cairn {
namespace sfx {
namespace {

using namespace testing;

TEST(InstalledTest, FollowsTheUninstallEntry) {
  UninstallEntry::Remove();
  EXPECT_FALSE(IsCairnInstalled()) << "no entry";
  {
    UninstallEntry noValue(nullptr);
    EXPECT_FALSE(IsCairnInstalled()) << "no DisplayName";
  }
  const struct {
    std::string stored;  // as RegSetValueEx stores it, terminator included or not
    bool installed;
  } cases[] = {
      {std::string("Cairn 2000", 11), true},
      {"Cairn 2000", true},  // stored without its terminator
      {std::string("Cairn 2000 (Remove Only)", 25), false},
      {std::string("CAIRN 2000 (remove only)", 25), false},
      {"", false},  // a value of size 0
      {std::string(259, 'x') + '\0', true},
      {std::string(260, 'x') + '\0', false},  // longer than the 260 bytes it may hold
  };
  for (const auto& c : cases) {
    UninstallEntry entry(&c.stored);
    EXPECT_EQ(IsCairnInstalled(), c.installed) << "DisplayName \"" << c.stored.c_str() << "\" of " << c.stored.size() << " bytes";
  }
  EXPECT_FALSE(IsCairnInstalled()) << "entry removed";
}

}  // namespace
}  // namespace sfx
}  // namespace cairn
