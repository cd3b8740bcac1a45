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

// The same kinds of pairs in UTF-8, with letters whose bytes a code page would fold into each
// other (U+00CA and U+00DA differ in one continuation byte that code page 1252 folds).
const std::vector<std::string> kUtf8Names = {
    "C:\\Data\\na\xC3\xAFve caf\xC3\xA9.txt", "C:\\DATA\\NA\xC3\x8FVE CAF\xC3\x89.TXT",
    "C:\\Data\\\xC3\x8A.txt", "C:\\Data\\\xC3\x9A.txt", "C:\\Data\\\xE6\x97\xA5\xE6\x9C\xAC.txt",
    "C:\\Data\\emoji \xF0\x9F\x98\x80.txt", "C:\\Data\\emoji \xF0\x9F\x98\x81.txt", "x"};

void ExpectKeysMatchComparison(const NameCodec& codec, const std::vector<std::string>& names) {
  for (const std::string& a : names) {
    ASSERT_FALSE(codec.NameKey(a).empty()) << a;
    for (const std::string& b : names)
      EXPECT_EQ(codec.NameKey(a) == codec.NameKey(b), codec.SameName(a, b)) << "'" << a << "' and '" << b << "'";
  }
}

TEST(NameIndexTest, KeysAreEqualExactlyWhenTheNamesCompareEqual) {
  ExpectKeysMatchComparison(NameCodec::Ansi(), kNames);
  ExpectKeysMatchComparison(NameCodec::Utf8(), kUtf8Names);
}

TEST(NameIndexTest, Utf8NamesCompareByTheirCharacters) {
  const NameCodec utf8 = NameCodec::Utf8();
  EXPECT_TRUE(utf8.SameName(kUtf8Names[0], kUtf8Names[1]));
  EXPECT_FALSE(utf8.SameName(kUtf8Names[2], kUtf8Names[3]));
  EXPECT_FALSE(utf8.SameName(kUtf8Names[5], kUtf8Names[6]));
}

TEST(NameIndexTest, FindsTheFirstEqualNameAdded) {
  for (const NameCodec& codec : {NameCodec::Ansi(), NameCodec::Utf8()}) {
    const std::vector<std::string>& names = codec.IsUtf8() ? kUtf8Names : kNames;
    NameIndex index(codec);
    for (size_t i = 0; i < names.size(); ++i) index.Add(names[i], static_cast<uint32_t>(i + 1));
    for (const std::string& name : names) {
      uint32_t first = 0;
      for (size_t i = 0; i < names.size() && first == 0; ++i)
        if (codec.SameName(names[i], name)) first = static_cast<uint32_t>(i + 1);
      EXPECT_EQ(index.Find(name), first) << name;
    }
    EXPECT_EQ(index.Find("C:\\Data\\Missing"), 0u);
    EXPECT_EQ(NameIndex(codec).Find("x"), 0u);
  }
}

}  // namespace
}  // namespace cairn
