// Tests that need something of the host: a small file system to fill, a file that cannot be
// written. Where it is missing they are skipped, unless they run as the host's root user, as the
// test command does: root has every one of them, so there a missing capability is a failure.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace cairn {
namespace testing {

// Whether the tests run as root on the host (under Wine, the runner says so in CAIRN_HOST_ROOT).
inline bool RunsAsHostRoot() {
#ifdef _WIN32
  const char* root = std::getenv("CAIRN_HOST_ROOT");
  return root != nullptr && root[0] == '1';
#else
  return geteuid() == 0;
#endif
}

}  // namespace testing
}  // namespace cairn

// Ends the test for want of what: a failure where the host must have it, else a skip.
#define CAIRN_SKIP_WITHOUT(what)                                                       \
  do {                                                                                 \
    if (::cairn::testing::RunsAsHostRoot()) FAIL() << "missing " << what << ", which root has"; \
    GTEST_SKIP() << "missing " << what;                                                \
  } while (0)
