#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>

#include "CommandLine.h"

namespace cairn {
namespace cn {

bool operator==(const CommandLine& a, const CommandLine& b) {
  return a.create == b.create && a.verbose == b.verbose && a.snapshotName == b.snapshotName &&
         a.adds == b.adds && a.deletes == b.deletes && a.lists == b.lists &&
         a.restores == b.restores && a.archives == b.archives;
}

void PrintTo(const CommandLine& c, std::ostream* out) {
  auto list = [out](const char* what, const std::vector<std::string>& items) {
    *out << " " << what << "[";
    for (const std::string& item : items) *out << " '" << item << "'";
    *out << " ]";
  };
  *out << "c=" << c.create << " v=" << c.verbose << " n='" << c.snapshotName << "'";
  list("a", c.adds);
  list("d", c.deletes);
  list("l", c.lists);
  list("r", c.restores);
  list("archives", c.archives);
}

namespace {

namespace fs = std::filesystem;
using Items = std::vector<std::string>;
const std::string M = kSnapshotMarker;

CommandLine Archives(Items archives) {
  CommandLine c;
  c.archives = std::move(archives);
  return c;
}

struct ParseCase {
  Items args;
  bool valid;
  CommandLine expected;
};

CommandLine With(CommandLine c, void (*edit)(CommandLine&)) {
  edit(c);
  return c;
}

TEST(CommandLineTest, ParsesOptionsAndArchives) {
  const ParseCase cases[] = {
      {{"x.crn"}, true, Archives({"x.crn"})},
      {{"x.crn", "/l"}, true, With(Archives({"x.crn"}), [](CommandLine& c) { c.lists = {M}; })},
      {{"/l", "x.crn"}, true, With(Archives({"x.crn"}), [](CommandLine& c) { c.lists = {M}; })},
      {{"/l", "Autosnap;3", "x.crn"}, true,
       With(Archives({"x.crn"}), [](CommandLine& c) { c.lists = {"Autosnap;3"}; })},
      // The item is kept as given; only its first component is the stored name.
      {{"/l", "\\Autosnap;3\\x", "-l", "/v", "x.crn"}, true,
       With(Archives({"x.crn"}), [](CommandLine& c) {
         c.lists = {"\\Autosnap;3\\x", M};
         c.verbose = true;
       })},
      {{"/r", "A;1", "/r", "B;2", "/r", "x.crn"}, true,
       With(Archives({"x.crn"}), [](CommandLine& c) { c.restores = {"A;1", "B;2", M}; })},
      {{"/c", "-v", "/n", "Autosnap", "C:\\a.crn", "D:\\b.crn"}, true,
       With(Archives({"C:\\a.crn", "D:\\b.crn"}), [](CommandLine& c) {
         c.create = c.verbose = true;
         c.snapshotName = "Autosnap";
       })},
      {{"/n", "One", "x.crn", "-n", "Two"}, true,
       With(Archives({"x.crn"}), [](CommandLine& c) { c.snapshotName = "Two"; })},
      {{"/a", "a1", "/d", "d1", "x.crn", "-a", "a2", "/d", "d2", "y.crn"}, true,
       With(Archives({"x.crn", "y.crn"}), [](CommandLine& c) {
         c.adds = {"a1", "a2"};
         c.deletes = {"d1", "d2"};
       })},
      // /a, /d and /n take the next item whatever it looks like.
      {{"/a", "/v", "/d", "-c", "/n", "/x", "x.crn"}, true,
       With(Archives({"x.crn"}), [](CommandLine& c) {
         c.adds = {"/v"};
         c.deletes = {"-c"};
         c.snapshotName = "/x";
       })},
      {{"x.crn", "/n"}, false, {}},
      {{"x.crn", "/a"}, false, {}},
      {{"x.crn", "-d"}, false, {}},
      {{"/L", "x.crn"}, false, {}},
      {{"/V", "x.crn"}, false, {}},
      {{"/cv", "x.crn"}, false, {}},
      {{"/aa", "C:\\a", "x.crn"}, false, {}},
      {{"/x", "x.crn"}, false, {}},
      {{"/", "x.crn"}, false, {}},
      {{"-", "x.crn"}, false, {}},
      {{}, false, {}},
      {{"/v", "/c"}, false, {}},
      {{"/a", "x.crn"}, false, {}},
      {{"/l", "Autosnap;3"}, false, {}},
  };
  for (const ParseCase& test : cases) {
    std::string line;
    for (const std::string& arg : test.args) line += " " + arg;
    SCOPED_TRACE("cn" + line);
    CommandLine parsed;
    ASSERT_EQ(ParseCommandLine(test.args, &parsed), test.valid);
    if (test.valid) {
      EXPECT_EQ(parsed, test.expected);
    }
  }
}

TEST(CommandLineTest, MainArgumentsSkipTheProgram) {
  const char* argv[] = {"C:\\Tools\\cn.exe", "/v", "x.crn"};
  CommandLine parsed;
  ASSERT_TRUE(ParseCommandLine(3, argv, &parsed));
  EXPECT_EQ(parsed, With(Archives({"x.crn"}), [](CommandLine& c) { c.verbose = true; }));
  EXPECT_FALSE(ParseCommandLine(1, argv, &parsed));
}

TEST(CommandLineTest, RecognisesSnapshotNameNumber) {
  const struct {
    const char* item;
    const char* component;
    bool isName;
  } cases[] = {
      {"Autosnap;12", "Autosnap;12", true},  {"Snapshot;07", "Snapshot;07", true},
      {"\\Autosnap;12\\x", "Autosnap;12", true}, {"/Autosnap;12/x", "Autosnap;12", true},
      {"Autosnap;12\\", "Autosnap;12", true}, {"Auto snap;3", "Auto snap;3", true},
      {";5", ";5", true},                     {"a;1;2", "a;1;2", true},
      {"Autosnap;", "Autosnap;", false},      {"Auto;snap", "Auto;snap", false},
      {"Autosnap12", "Autosnap12", false},    {"12", "12", false},
      {"Autosnap;1a", "Autosnap;1a", false},  {"Autosnap;-3", "Autosnap;-3", false},
      {"x;3.crn", "x;3.crn", false},          {"C:\\Snaps;3", "C:", false},
      {"\\\\Autosnap;1", "", false},          {"\\\\\\\\", "", false},
      {"", "", false},                        {"Snap;\xef\xbc\x93", "Snap;\xef\xbc\x93", false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.item);
    EXPECT_EQ(FirstPathComponent(test.item), test.component);
    EXPECT_EQ(IsSnapshotNameNumber(test.item), test.isName);
  }
  EXPECT_FALSE(IsSnapshotNameNumber(kSnapshotMarker));
}

TEST(CommandLineTest, ProgramNameAndUsage) {
  const struct {
    const char* argv0;
    const char* name;
  } cases[] = {
      {"C:\\Tools\\cn.exe", "cn.exe"}, {"cn.exe", "cn.exe"},    {"C:cn.exe", "cn.exe"},
      {"..\\bin/cn", "cn"},            {"/usr/bin/cn", "cn"},   {"\\\\srv\\share\\x.exe", "x.exe"},
      {"C:\\Tools\\", "cn"},           {"", "cn"},
  };
  for (const auto& test : cases) EXPECT_EQ(ProgramName(test.argv0), test.name) << test.argv0;

  EXPECT_EQ(UsageText("cn.exe"),
            "Create new snapshot in specified archive(s)\n\ncn.exe [/c][/v][/a <item>][/d <item>][/n "
            "<name>][/l [snapshot]][/r [snapshot]]\n\t[@batchfile] archive [<archive>]+\n\n\t/c\tCreate "
            "archive(s) if not present\n\t/v\tVerbose mode\n\t/a\tAdd specified file/folder to "
            "archive\n\t/d\tDelete specified file/folder from archive\n\t/n\tName new snapshot "
            "specified argument\n\t/l\tList snapshots, or specified snapshot\n\t/r\tRestore latest "
            "snapshot, or specified snapshot\n\n(Version 2.0)\n");
  EXPECT_NE(UsageText("%s%n.exe").find("\n\n%s%n.exe [/c]"), std::string::npos);
}

class BatchFileTest : public ::testing::Test {
 protected:
  BatchFileTest() {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("cairn-cli-test-" + std::to_string(random()));
    fs::create_directories(dir_);
  }
  ~BatchFileTest() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Writes a batch file and returns its path (UTF-8).
  std::string Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / fs::u8path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.u8string();
  }

  fs::path dir_;
};

TEST_F(BatchFileTest, SplitsLinesIntoWords) {
  const std::string word300(300, 'w');
  const std::string straddling = std::string(250, 'p') + " across-the-259th-character " + word300 + "\n";
  const struct {
    const char* what;
    std::string bytes;
    Items words;
  } cases[] = {
      {"space in a path", "/a C:\\My Documents\n", {"/a", "C:\\My", "Documents"}},
      {"quotes belong to words", "\"C:\\My Documents\\x.crn\"", {"\"C:\\My", "Documents\\x.crn\""}},
      {"tabs and runs of blanks", "a\tb  c\t\t\n\n  d \n", {"a", "b", "c", "d"}},
      {"no expansion inside", "@other.txt x.crn", {"@other.txt", "x.crn"}},
      {"CR LF ends a line", "a\r\nb\r\n", {"a", "b"}},
      {"a lone CR is a character", "a\rb", {"a\rb"}},
      {"Ctrl-Z ends the file", "a b\x1a" "c\nd", {"a", "b"}},
      {"empty file", "", {}},
      {"long words are never split", straddling + word300,
       {std::string(250, 'p'), "across-the-259th-character", word300, word300}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    Write("other.txt", "must-not-be-read");
    Items words = {"before"};
    ASSERT_TRUE(ReadBatchFile(Write("batch.txt", test.bytes), &words));
    Items expected = {"before"};
    expected.insert(expected.end(), test.words.begin(), test.words.end());
    EXPECT_EQ(words, expected);
  }
}

TEST_F(BatchFileTest, ExpandsInPlaceOnTheCommandLine) {
  const std::string first = Write("first.txt", "/a C:\\My Documents\n/n Night\n");
  const std::string second = Write("b\xc3\xa4tch.txt", "-l\tAutosnap;3\n");
  CommandLine parsed;
  ASSERT_TRUE(ParseCommandLine({"/v", "@" + first, "x.crn", "@" + second, "y.crn"}, &parsed));
  EXPECT_EQ(parsed, With(Archives({"Documents", "x.crn", "y.crn"}), [](CommandLine& c) {
              c.verbose = true;
              c.adds = {"C:\\My"};
              c.snapshotName = "Night";
              c.lists = {"Autosnap;3"};
            }));

  // Items are collected before options are parsed: /a takes the batch file's first word.
  ASSERT_TRUE(ParseCommandLine({"/a", "@" + second, "x.crn"}, &parsed));
  EXPECT_EQ(parsed, With(Archives({"Autosnap;3", "x.crn"}), [](CommandLine& c) { c.adds = {"-l"}; }));
}

TEST_F(BatchFileTest, UnreadableBatchFileIsInvalid) {
  const std::string missing = (dir_ / "missing.txt").u8string();
  const std::string folder = dir_.u8string();
  CommandLine parsed;
  for (const std::string& arg : {"@" + missing, "@" + folder, std::string("@")}) {
    SCOPED_TRACE(arg);
    EXPECT_FALSE(ParseCommandLine({arg, "x.crn"}, &parsed));
    Items words = {"kept"};
    EXPECT_FALSE(ReadBatchFile(arg.substr(1), &words));
    EXPECT_EQ(words, Items{"kept"});
  }
}

}  // namespace
}  // namespace cn
}  // namespace cairn
