#include "RestoreNames.h"

#include <gtest/gtest.h>

namespace cairn {
namespace {

TEST(RestoreNamesTest, LastComponentFollowsTheLastBackslashOrADriveColon) {
  EXPECT_EQ(L"a.txt", LastComponent(L"C:\\Data\\a.txt"));
  EXPECT_EQ(L"a.txt", LastComponent(L"C:a.txt"));
  EXPECT_EQ(L"", LastComponent(L"C:\\Data\\"));
  EXPECT_EQ(L"plain", LastComponent(L"plain"));
  EXPECT_EQ(L"x:y", LastComponent(L"C:\\Data\\x:y"));  // kept whole, so the check sees the colon
}

TEST(RestoreNamesTest, ComponentsThatCouldLeaveTheirParentAreRefused) {
  struct Case {
    const wchar_t* name;
    bool component;  // safe as a compound-file element
    bool file;       // safe as a file or folder name
  };
  const Case cases[] = {
      {L"report.doc", true, true},   {L"", false, false},         {L".", false, false},
      {L"..", false, false},         {L"a/b", false, false},      {L"..\\x", false, false},
      {L"x:stream", false, false},   {L"C:", false, false},       {L"tab\there", false, false},
      {L".. ", true, false},         {L"...", true, false},       {L"name.", true, false},
      {L"CON", true, false},         {L"lpt1.txt", true, false},  {L"Nul .log", true, false},
      {L"COM0", true, true},         {L"console", true, true},    {L".hidden", true, true},
      {L"\x0441\x043b\x043e\x0432\x043e", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.component, IsSafeComponent(c.name)) << "component '" << std::string(c.name, c.name + wcslen(c.name)) << "'";
    EXPECT_EQ(c.file, IsSafeFileName(c.name)) << "file name";
  }
  EXPECT_TRUE(IsSafeFileName(std::wstring(kMaxComponentLength, L'a')));
  EXPECT_FALSE(IsSafeFileName(std::wstring(kMaxComponentLength + 1, L'a')));
}

}  // namespace
}  // namespace cairn
