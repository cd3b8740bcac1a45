// HRESULT assertions that print both results in hex: EXPECT_HR(S_OK, call) and ASSERT_HR.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace cairn {
namespace testing {

// Result codes are 32 bits wherever they come from (HRESULT on Windows, the portable core's own).
inline std::string HrText(int32_t hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(static_cast<uint32_t>(hr)));
  return text;
}

template <class Expected, class Actual>
::testing::AssertionResult HrEquals(const char* expectedText, const char* actualText, Expected expected,
                                    Actual actual) {
  const int32_t want = static_cast<int32_t>(expected), got = static_cast<int32_t>(actual);
  if (want == got) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actualText << " is " << HrText(got) << ", expected " << expectedText
                                       << " (" << HrText(want) << ")";
}

}  // namespace testing
}  // namespace cairn

#define EXPECT_HR(expected, actual) EXPECT_PRED_FORMAT2(::cairn::testing::HrEquals, expected, actual)
#define ASSERT_HR(expected, actual) ASSERT_PRED_FORMAT2(::cairn::testing::HrEquals, expected, actual)
