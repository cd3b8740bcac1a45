// Looking names up by sort key must give what comparing them pairwise gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NameIndex.h"

namespace cairn {
namespace {

// Pairs that differ only in letter case, in accents (system code page), in characters the
// system's comparison weighs lightly or not at all, and in length.
const std::vector<std::string> kNames = {
    "C:\\Data\\Report.txt", "c:\\data\\REPORT.TXT", "C:\\Data\\Report.tx", "C:\\Data\\R\xE9sum\xE9.doc",
    "C:\\DATA\\R\xC9SUM\xC9.DOC", "C:\\Data\\Resume.doc", "C:\\Data\\a-b", "C:\\Data\\ab", "C:\\Data\\a\xAD" "b",
    "C:\\Data\\stra\xDF" "e", "C:\\Data\\STRASSE", "C:\\Data\\co-op", "C:\\Data\\coop", "C:\\Data\\it's", "x"};

TEST(NameIndexTest, KeysAreEqualExactlyWhenTheNamesCompareEqual) {
  for (const std::string& a : kNames) {
    ASSERT_FALSE(NameKey(a).empty()) << a;
    for (const std::string& b : kNames)
      EXPECT_EQ(NameKey(a) == NameKey(b), SameName(a, b)) << "'" << a << "' and '" << b << "'";
  }
}

TEST(NameIndexTest, FindsTheFirstEqualNameAdded) {
  NameIndex index;
  for (size_t i = 0; i < kNames.size(); ++i) index.Add(kNames[i], static_cast<uint32_t>(i + 1));
  for (const std::string& name : kNames) {
    uint32_t first = 0;
    for (size_t i = 0; i < kNames.size() && first == 0; ++i)
      if (SameName(kNames[i], name)) first = static_cast<uint32_t>(i + 1);
    EXPECT_EQ(index.Find(name), first) << name;
  }
  EXPECT_EQ(index.Find("C:\\Data\\Missing"), 0u);
  EXPECT_EQ(NameIndex().Find("x"), 0u);
}

}  // namespace
}  // namespace cairn
