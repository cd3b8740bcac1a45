// The arrays of BSTRs in which the engine takes its lists of paths.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include "HResultAssert.h"
#include "SafeArray.h"

namespace cairn {
namespace {

TEST(SafeArrayTest, ListsOfPathsAreVectorsOfBstrsFromZeroAndEmptyListsAreArraysToo) {
  // An empty list is an array of no elements, never null: a snapshot with nothing to delete
  // passes one.
  const SafeArray none = BstrArray({});
  ASSERT_TRUE(none);
  LONG low = -1, high = 0;
  EXPECT_HR(S_OK, SafeArrayGetLBound(none.Get(), 1, &low));
  EXPECT_HR(S_OK, SafeArrayGetUBound(none.Get(), 1, &high));
  EXPECT_EQ(0, low);
  EXPECT_EQ(-1, high);

  const std::vector<std::wstring> paths = {L"C:\\Data", L"D:\\Notes.txt"};
  const SafeArray two = BstrArray(paths);
  ASSERT_TRUE(two);
  EXPECT_EQ(1u, SafeArrayGetDim(two.Get()));
  VARTYPE type = VT_EMPTY;
  EXPECT_HR(S_OK, SafeArrayGetVartype(two.Get(), &type));
  EXPECT_EQ(VT_BSTR, type);
  for (LONG i = 0; i < 2; ++i) {
    BSTR text = nullptr;
    ASSERT_HR(S_OK, SafeArrayGetElement(two.Get(), &i, &text));  // a copy of the element
    const std::wstring got(text, SysStringLen(text));
    SysFreeString(text);
    EXPECT_EQ(paths[static_cast<size_t>(i)], got) << i;
  }
}

}  // namespace
}  // namespace cairn
