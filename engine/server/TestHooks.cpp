#include "TestHooks.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "ArchiveHeap.h"

namespace cairn {
namespace {

uint64_t g_stopAfter = 0;
uint64_t g_failGrowth = 0;

void StopHere(uint64_t change) {
  if (change == g_stopAfter) TerminateProcess(GetCurrentProcess(), 99);
}

bool DiskFull(uint64_t growth) {
  if (growth == g_failGrowth) {
    static const char kNote[] = "CAIRN_TEST_FAIL_GROWTH: growth refused\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kNote, sizeof kNote - 1, &written, nullptr);
  }
  return growth >= g_failGrowth;
}

// A positive number from the environment, or 0.
uint64_t TestSetting(const char* name) {
  char value[32];
  if (GetEnvironmentVariableA(name, value, sizeof value) - 1u >= sizeof value - 1) return 0;
  return std::strtoull(value, nullptr, 10);
}

}  // namespace

void InstallTestHooks() {
  g_stopAfter = TestSetting("CAIRN_TEST_STOP_AFTER");
  if (g_stopAfter != 0) ArchiveHeap::SetChangeHook(&StopHere);
  g_failGrowth = TestSetting("CAIRN_TEST_FAIL_GROWTH");
  if (g_failGrowth != 0) ArchiveHeap::SetGrowthHook(&DiskFull);
}

}  // namespace cairn
