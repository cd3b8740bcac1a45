#include "ItemNames.h"

#include <gtest/gtest.h>

namespace cairn {
namespace shell {
namespace {

TEST(ItemNamesTest, RevisionFollowsTheNameOnlyInsideASnapshot) {
  EXPECT_EQ("report.doc;3", ItemDisplayName("report.doc", 3, true));
  EXPECT_EQ("Snapshot;1", ItemDisplayName("Snapshot;1", 1, false));
}

TEST(ItemNamesTest, ExtensionsFollowTheLastBackslashOrBlank) {
  EXPECT_EQ(".doc", ItemExtension("C:\\Data\\report.doc"));
  EXPECT_EQ(".gz", ItemExtension("C:\\a.tar.gz"));
  EXPECT_EQ("", ItemExtension("C:\\my.dir\\README"));
  EXPECT_EQ("", ItemExtension("v1.0 notes"));
  EXPECT_EQ("", ItemExtension("*****"));
  EXPECT_EQ("TXT", ExtensionLabel(".txt"));
  EXPECT_EQ("", ExtensionLabel("."));
}

TEST(ItemNamesTest, ARenamedSnapshotKeepsItsOwnNumber) {
  EXPECT_EQ("Before upgrade;4", RenamedSnapshotName("Before upgrade;7", 4));
  EXPECT_EQ("Before upgrade;4", RenamedSnapshotName("Before upgrade", 4));
  EXPECT_EQ("a;b;4", RenamedSnapshotName("a;b;c", 4));
  EXPECT_EQ(";4", RenamedSnapshotName(";", 4));
}

TEST(ItemNamesTest, RevisionCopiesCarryTheRevisionBeforeTheExtension) {
  EXPECT_EQ("report;3.doc", RevisionCopyName("report.doc", 3));
  EXPECT_EQ("README;12", RevisionCopyName("README", 12));
  EXPECT_EQ("a.b;1.c", RevisionCopyName("a.b.c", 1));
  EXPECT_EQ("a.crn", PathFileName("C:\\x\\a.crn"));
  EXPECT_EQ("a.crn", PathFileName("C:a.crn"));
  EXPECT_EQ("a.crn", PathFileName("a.crn"));
}

TEST(ItemNamesTest, RestoresWriteBaseNamesBelowTheirTarget) {
  EXPECT_EQ("a.txt", BaseName("C:\\Data\\a.txt"));
  EXPECT_EQ("", BaseName("C:\\Data\\"));
  EXPECT_EQ("a.txt", BaseName("C:a.txt"));
  EXPECT_EQ("C", BaseName("C:"));
  EXPECT_EQ("plain", BaseName("plain"));
  EXPECT_EQ("..", BaseName("C:\\.."));  // for the name check to refuse

  // The folder part drops a doubled "\\" before the last name; a drive's root keeps its colon.
  EXPECT_EQ("C:\\Data", StoredFolderPart("C:\\Data\\a.txt"));
  EXPECT_EQ("C:\\Data", StoredFolderPart("C:\\Data\\\\a.txt"));
  EXPECT_EQ("C:", StoredFolderPart("C:\\a.txt"));
  EXPECT_EQ("\\\\server\\share", StoredFolderPart("\\\\server\\share\\a"));
  EXPECT_EQ("", StoredFolderPart("C:a.txt"));

  EXPECT_EQ("D:\\Out\\a.txt", PathBelow("D:\\Out", "a.txt"));
  EXPECT_EQ("D:\\a.txt", PathBelow("D:\\", "a.txt"));
  EXPECT_EQ("D:\\a.txt", PathBelow("D:", "a.txt"));

  for (const char* target : {"C:", "c:\\", "C:\\Out", "\\\\server\\share"}) EXPECT_TRUE(IsAbsoluteTarget(target)) << target;
  // Relative names and the device namespace are no place to restore to.
  for (const char* target : {"", "Out", "\\Out", "C:Out", "1:\\x", "\\\\", "..\\x", "\\\\.\\C:\\x", "\\\\?\\C:\\x",
                             "\\\\\\x"})
    EXPECT_FALSE(IsAbsoluteTarget(target)) << target;
}

TEST(ItemNamesTest, DisplayNameFlagsChooseTheForm) {
  struct Case {
    uint32_t flags;
    NameForm form;
  } cases[] = {
      {0x0000, NameForm::kDisplay},         {0x0001, NameForm::kDisplay},
      {0x2001, NameForm::kDisplay},         {0x6000, NameForm::kDisplay},
      {0x0002, NameForm::kInvalid},         {0x1000, NameForm::kInvalid},
      {0x8000, NameForm::kParsingFull},     {0xE000, NameForm::kParsingFull},
      {0x8001, NameForm::kParsingRelative}, {0xC001, NameForm::kParsingRelative},
      {0x8002, NameForm::kInvalid},         {0x9000, NameForm::kInvalid},
      {0x0100, NameForm::kInvalid},         {0x18000, NameForm::kParsingFull},
  };
  for (const Case& c : cases) EXPECT_EQ(c.form, DisplayNameForm(c.flags)) << std::hex << c.flags;
}

}  // namespace
}  // namespace shell
}  // namespace cairn
