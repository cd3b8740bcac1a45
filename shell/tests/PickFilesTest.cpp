// The picker of New, Item: the paths a pick's buffer holds, and a pick whose names do not fit its
// buffer, which is refused with a message rather than cut short. The box is answered by a watcher
// thread under Xvfb.
#include "HostedViewSupport.h"

#include <commdlg.h>
#include <dlgs.h>

#include <string>
#include <vector>

#include "PickFiles.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

using browser::testing::DialogWatcher;
using browser::testing::PressButton;
using browser::testing::WatcherWait;

std::vector<std::string> Picked(const std::string& buffer) { return PickedPaths(buffer.data(), buffer.size()); }

TEST(PickFilesTest, OneFileIsItsPathAndSeveralAreTheirFolderAndNames) {
  using Paths = std::vector<std::string>;
  EXPECT_EQ((Paths{"C:\\data\\a.txt"}), Picked(std::string("C:\\data\\a.txt\0\0", 15)));
  EXPECT_EQ((Paths{"C:\\data\\c.txt", "C:\\data\\a.txt"}), Picked(std::string("C:\\data\0c.txt\0a.txt\0\0", 21)));
  EXPECT_EQ((Paths{"C:\\a.txt", "C:\\b.txt"}), Picked(std::string("C:\\\0a.txt\0b.txt\0\0", 17)));
  // A list without its end gives nothing.
  EXPECT_EQ(Paths{}, Picked(std::string("C:\\data\0a.txt\0", 14)));
  EXPECT_EQ(Paths{}, Picked(std::string("C:\\data\0a.txt", 13)));
  EXPECT_EQ(Paths{}, Picked(std::string(1, '\0')));
}

class PickFilesBoxTest : public ArchiveTest {};

TEST_F(PickFilesBoxTest, NamesThatDoNotFitTheBufferAreRefusedAndSaidSo) {
  const std::string names = "\"notes.cairntest\" \"hidden.bin\" \"system.bin\"";
  std::string message;
  DialogWatcher box([](const std::string& caption) { return caption == "Select items to add..."; },
                    [&](HWND dialog) {
                      const std::string folder = data_;
                      SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(folder.c_str()));
                      SendMessageW(dialog, WM_COMMAND, IDOK, 0);
                      SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(names.c_str()));
                      PressButton(dialog, IDOK);
                      // The message has the box's caption: it is looked for once the box is gone.
                      ASSERT_TRUE(WatcherWait([dialog] { return !IsWindow(dialog); }));
                      DialogWatcher told([](const std::string& caption) { return caption == "Select items to add..."; },
                                         IDOK);
                      ASSERT_TRUE(WatcherWait([&told] { return told.Seen(); })) << "the message never came";
                      told.Finish();
                      message = told.LongestText();
                    });
  std::vector<std::string> paths = {"left over"};
  // The folder and the three names need more than 64 characters.
  EXPECT_EQ(PickResult::kTooMany, PickFilesToAdd(nullptr, &paths, 64));
  box.Finish();
  EXPECT_TRUE(paths.empty());
  EXPECT_EQ("The items picked do not fit in one pick, and none of them was added.\nPlease pick fewer items at a time.",
            message);
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
