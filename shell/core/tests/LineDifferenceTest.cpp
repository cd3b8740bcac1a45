#include "LineDifference.h"

#include <gtest/gtest.h>

#include <random>

namespace cairn {
namespace shell {
namespace {

std::string Kinds(const std::vector<DifferenceRow>& rows) {
  std::string kinds;
  for (const DifferenceRow& row : rows) kinds += "=~-+"[static_cast<int>(row.kind)];
  return kinds;
}

TEST(LineDifferenceTest, AKnownPairGivesItsRowsSideBySide) {
  const std::wstring older = L"one\r\ntwo\nthree\nfour\nfive\n";
  const std::wstring newer = L"one\nTWO\nthree\nfive\nsix";
  const auto a = SplitLines(older), b = SplitLines(newer);
  ASSERT_EQ(a.size(), 5u);
  EXPECT_EQ(a[0], L"one");
  EXPECT_EQ(b.back(), L"six");
  const std::vector<DifferenceRow> rows = DifferenceRows(a, b);
  EXPECT_EQ(Kinds(rows), "=~=-=+");
  EXPECT_EQ(rows[1].older, 1u);
  EXPECT_EQ(rows[1].newer, 1u);
  EXPECT_EQ(rows[3].older, 3u);
  EXPECT_EQ(rows[3].newer, DifferenceRow::kNoLine);
  EXPECT_EQ(rows[5].newer, 4u);
  EXPECT_TRUE(DifferenceRows({}, {}).empty());
  EXPECT_EQ(Kinds(DifferenceRows({}, b)), "+++++");
}

// Every line of each side appears once, in order, and the lines kept beside each other are as
// many as the longest common run of lines allows.
TEST(LineDifferenceTest, RandomEditsKeepTheLongestCommonLines) {
  std::mt19937 random(7);
  const std::wstring words[] = {L"a", L"b", L"c", L"d"};
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<std::wstring_view> x(random() % 40), y(random() % 40);
    for (auto& line : x) line = words[random() % 4];
    for (auto& line : y) line = words[random() % 4];
    std::vector<std::vector<size_t>> common(x.size() + 1, std::vector<size_t>(y.size() + 1, 0));
    for (size_t i = x.size(); i-- > 0;)
      for (size_t j = y.size(); j-- > 0;)
        common[i][j] = x[i] == y[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    const std::vector<DifferenceRow> rows = DifferenceRows(x, y);
    size_t nextOlder = 0, nextNewer = 0, same = 0;
    for (const DifferenceRow& row : rows) {
      if (row.older != DifferenceRow::kNoLine) ASSERT_EQ(row.older, nextOlder++);
      if (row.newer != DifferenceRow::kNoLine) ASSERT_EQ(row.newer, nextNewer++);
      if (row.kind == RowKind::kSame) {
        ASSERT_EQ(x[row.older], y[row.newer]);
        ++same;
      }
    }
    ASSERT_EQ(nextOlder, x.size());
    ASSERT_EQ(nextNewer, y.size());
    ASSERT_EQ(same, common[0][0]) << "trial " << trial;
  }
}

TEST(LineDifferenceTest, TooManyEditsShowTheMiddleAsOneChangedBlock) {
  const std::vector<std::wstring_view> x = {L"head", L"1", L"2", L"3", L"tail"};
  const std::vector<std::wstring_view> y = {L"head", L"4", L"5", L"tail"};
  EXPECT_EQ(Kinds(DifferenceRows(x, y, 2)), "=~~-=");
}

TEST(LineDifferenceTest, FirstDifferenceAndTheCompareCommand) {
  EXPECT_EQ(FirstDifference("abc", "abc"), std::nullopt);
  EXPECT_EQ(FirstDifference("abc", "abd"), 2u);
  EXPECT_EQ(FirstDifference("ab", "abc"), 2u);
  EXPECT_EQ(FirstDifference("", "x"), 0u);

  EXPECT_EQ(CompareCommandLine(L"tool.exe %1 %2", L"C:\\a b\\x;1.txt", L"C:\\y.txt"),
            L"tool.exe \"C:\\a b\\x;1.txt\" \"C:\\y.txt\"");
  EXPECT_EQ(CompareCommandLine(L"\"C:\\My Tools\\t.exe\" /l \"%1\" /r=\"%2\" 100%%", L"a", L"b"),
            L"\"C:\\My Tools\\t.exe\" /l \"a\" /r=\"b\" 100%");
  EXPECT_EQ(CompareCommandLine(L"tool.exe %1", L"a", L"b"), std::nullopt);
  EXPECT_EQ(CompareCommandLine(L"", L"a", L"b"), std::nullopt);
}

}  // namespace
}  // namespace shell
}  // namespace cairn
