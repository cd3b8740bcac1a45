// The seed of a randomised test: a fresh one each run, or CAIRN_SEED=n to rerun one. It is
// printed and recorded, so that a failure can be reproduced.
#pragma once

#include <cstdint>

namespace cairn {
namespace testing {

uint32_t TestSeed();

}  // namespace testing
}  // namespace cairn
