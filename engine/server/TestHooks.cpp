#include "TestHooks.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "ArchiveHeap.h"
#include "EngineFiles.h"
#include "FaultyFiles.h"

namespace cairn {
namespace {

uint64_t g_stopAfter = 0;

void StopHere(uint64_t change) {
  if (change == g_stopAfter) TerminateProcess(GetCurrentProcess(), 99);
}

void NoteRefusal() {
  static const char kNote[] = "CAIRN_TEST_FAIL_GROWTH: growth refused\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kNote, sizeof kNote - 1, &written, nullptr);
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
  const uint64_t failGrowth = TestSetting("CAIRN_TEST_FAIL_GROWTH");
  const uint64_t failFlush = TestSetting("CAIRN_TEST_FAIL_FLUSH");
  if ((failGrowth == 0 || failGrowth > INT32_MAX) && (failFlush == 0 || failFlush > INT32_MAX)) return;
  // Lives as long as the process: the engine's files go through it until the end.
  static testing::FaultyFiles* files = new testing::FaultyFiles(PlatformFiles::Native());
  UseEngineFiles(files);
  if (failFlush != 0 && failFlush <= INT32_MAX) files->FailFlush(static_cast<int>(failFlush));
  if (failGrowth != 0 && failGrowth <= INT32_MAX) {
    files->FailGrowth(static_cast<int>(failGrowth), true);
    files->OnFailedGrowth(&NoteRefusal);
    // Every growth of the archive's logical end grows the file, so that each one can be failed.
    ArchiveHeap::SetExactGrowth(true);
  }
}

}  // namespace cairn
