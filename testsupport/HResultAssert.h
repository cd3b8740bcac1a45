// HRESULT assertions that print both results in hex: EXPECT_HR(S_OK, call) and ASSERT_HR.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "Result.h"

namespace cairn {
namespace testing {

inline std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(static_cast<uint32_t>(hr)));
  return text;
}

inline ::testing::AssertionResult HrEquals(const char* expectedText, const char* actualText, HRESULT expected,
                                           HRESULT actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actualText << " is " << HrText(actual) << ", expected " << expectedText
                                       << " (" << HrText(expected) << ")";
}

}  // namespace testing
}  // namespace cairn

#define EXPECT_HR(expected, actual) EXPECT_PRED_FORMAT2(::cairn::testing::HrEquals, expected, actual)
#define ASSERT_HR(expected, actual) ASSERT_PRED_FORMAT2(::cairn::testing::HrEquals, expected, actual)
