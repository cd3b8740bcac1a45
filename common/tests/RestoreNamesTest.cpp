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

TEST(RestoreNamesTest, ElementNamesFollowTheDocumentsRulesNotTheDisks) {
  for (const wchar_t* name : {L"\x05SummaryInformation", L"\x01Ole", L"CON", L"a.", L"x y ", L"..", L"\t"})
    EXPECT_TRUE(IsElementName(name)) << std::string(name, name + wcslen(name));
  for (const wchar_t* name : {L"", L"a\\b", L"a/b", L"x:y", L"Ole!1"})
    EXPECT_FALSE(IsElementName(name)) << std::string(name, name + wcslen(name));
  EXPECT_TRUE(IsElementName(std::wstring(kMaxElementNameLength, L'e')));
  EXPECT_FALSE(IsElementName(std::wstring(kMaxElementNameLength + 1, L'e')));
}

TEST(RestoreNamesTest, TopLevelNamesAreDrivePathsOrNetworkPaths) {
  for (const wchar_t* name : {L"C:", L"c:\\", L"D:\\Data\\a.txt", L"\\\\server\\share\\x", L"\\\\server"})
    EXPECT_TRUE(IsAbsoluteStoredName(name)) << std::string(name, name + wcslen(name));
  for (const wchar_t* name : {L"", L"a.txt", L"..\\x", L"\\x", L"C:x", L"1:\\x", L"\\\\", L"\\\\\\x",
                              L"\\\\.\\C:\\x", L"\\\\?\\C:\\x", L"\\\\.", L"\\\\?"})
    EXPECT_FALSE(IsAbsoluteStoredName(name)) << std::string(name, name + wcslen(name));
}

}  // namespace
}  // namespace cairn
