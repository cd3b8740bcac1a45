#include "Seed.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace cairn {
namespace testing {

uint32_t TestSeed() {
  uint32_t seed = std::random_device()();
  if (const char* fixed = std::getenv("CAIRN_SEED")) seed = static_cast<uint32_t>(std::strtoul(fixed, nullptr, 10));
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::fprintf(stderr, "%s: CAIRN_SEED=%u\n", test != nullptr ? test->name() : "?", seed);
  ::testing::Test::RecordProperty("seed", std::to_string(seed));
  return seed;
}

}  // namespace testing
}  // namespace cairn
