// Wildcard filters: the pattern language and the lists.
#include <gtest/gtest.h>

#include "FilterPatterns.h"

namespace cairn {
namespace {

TEST(FilterPatternsTest, PatternsMatchWholeNames) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.DOC", "REPORT.DOC", true},    {"*.DOC", "REPORT.DOCX", false}, {"*.DOC", "README", false},
      {"A.B", "AXB", false},            {"A.B", "A.B", true},            {"A?B", "AXB", true},
      {"A?B", "AB", false},             {"~*", "~WRL0001.TMP", true},    {"*", "", true},
      {"[AB]*", "BETA", true},          {"[AB]*", "CAB", false},         {"A+", "AAA", true},
      {"X{2}", "XX", true},             {"X{2}", "X", false},            {"(AB)*", "ABAB", true},
      {"\\*", "*", true},               {"\\*", "A", false},             {"^A", "^A", true},
      {"A|B", "A", false},              {"A|B", "A|B", true},            {"[.]", ".", true},
      {"[]A]", "]", true},              {" *.DOC", "A.DOC", false},      {" *.DOC", " A.DOC", true},
  };
  for (const Case& c : cases) {
    FilterList list;
    list.Set(c.pattern);
    EXPECT_EQ(list.Matches(c.name), c.matches) << c.pattern << " against " << c.name << " as "
                                               << WildcardToRegex(c.pattern);
  }
}

TEST(FilterPatternsTest, BrokenPatternsMatchNothing) {
  for (const char* broken : {"[AB", "(A", "A{", "+A", "*{2,1}"}) {
    FilterList list;
    list.Set(std::string(broken) + ",KEEP");
    EXPECT_FALSE(list.Matches("A")) << broken;
    EXPECT_TRUE(list.Matches("KEEP")) << "the other patterns still count after " << broken;
  }
}

TEST(FilterPatternsTest, ListsSplitAtCommasWithoutTrimming) {
  FilterList list;
  EXPECT_TRUE(list.IsEmpty());
  list.Set("*.TXT, *.DOC");
  EXPECT_FALSE(list.IsEmpty());
  EXPECT_TRUE(list.Matches("A.TXT"));
  EXPECT_FALSE(list.Matches("A.DOC")) << "the second pattern begins with a space";
  list.Set(",,*.TXT,,");
  EXPECT_TRUE(list.Matches("A.TXT"));
  list.Set(",");
  EXPECT_FALSE(list.IsEmpty());
  EXPECT_FALSE(list.Matches("A.TXT")) << "only empty patterns: nothing matches";
}

TEST(FilterPatternsTest, HostilePatternsStayFast) {
  FilterList list;
  list.Set("(A*)*(A*)*(A*)*(A*)*B");
  EXPECT_FALSE(list.Matches(std::string(200, 'A')));
}

TEST(FilterPatternsTest, LastComponentOfAPath) {
  EXPECT_EQ(LastComponent("C:\\Data\\report.doc"), "report.doc");
  EXPECT_EQ(LastComponent("C:report.doc"), "report.doc");
  EXPECT_EQ(LastComponent("report.doc"), "report.doc");
  EXPECT_EQ(LastComponent("C:\\Data\\"), "");
}

}  // namespace
}  // namespace cairn
