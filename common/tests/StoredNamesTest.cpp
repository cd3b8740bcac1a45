#include "StoredNames.h"

#include <gtest/gtest.h>

namespace cairn {
namespace {

TEST(StoredNamesTest, AChildIsItsParentABackslashAndOneComponent) {
  struct Case {
    const char* parent;
    const char* child;
    bool fits;
  };
  const Case cases[] = {
      {"C:\\Data", "C:\\Data\\a.txt", true},
      {"C:\\Data", "c:\\DATA\\a.txt", true},  // found again under another spelling of the folder
      {"C:\\", "C:\\a.txt", true},            // a drive's root closes with its backslash
      {"C:\\", "C:\\\\a.txt", false},
      {"C:", "C:\\a.txt", true},
      {"C:\\Data", "C:\\Data\\", false},      // no component
      {"C:\\Data", "C:\\Data\\x\\y", false},  // two components
      {"C:\\Data", "C:\\Database", false},
      {"C:\\Data", "..\\..\\esc", false},
      {"C:\\Data", "C:\\windows\\x", false},
      {"C:\\Data", "C:\\Data", false},  // the folder itself
      {"C:\\Data", "esc", false},
      {"", "\\x", false},
      {"doc.ole", "doc.ole\\Contents", true},  // an element of a compound document
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsChildName(std::string(c.parent), std::string(c.child)), c.fits) << c.parent << " / " << c.child;
    const std::wstring parent(c.parent, c.parent + std::char_traits<char>::length(c.parent));
    const std::wstring child(c.child, c.child + std::char_traits<char>::length(c.child));
    EXPECT_EQ(IsChildName(parent, child), c.fits) << c.parent << " / " << c.child << " (wide)";
  }
}

}  // namespace
}  // namespace cairn
