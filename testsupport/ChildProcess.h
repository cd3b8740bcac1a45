// Running a program as a child process of a test: its exit code, both its outputs, and whether
// it crashed or had to be ended.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace cairn {
namespace testing {

struct ChildRun {
  bool started = false;
  DWORD exitCode = static_cast<DWORD>(-1);  // -1 as well when it did not start or was ended
  std::string out, err;                     // line ends normalized to LF
  bool crashed = false;                     // Wine reported an unhandled exception, whatever the exit code
  bool hung = false;                        // still running after the time allowed; it was ended
};

// The folder of the test executable; the programs of the build tree lie beside it or near it.
std::wstring ModuleDirectory();

// Runs the command line in the directory (this process's when empty), pumping messages meanwhile
// so that this apartment can serve calls the child makes to objects the test registered. A child
// that cannot be started fails the test; so does one that crashes or is still running after
// timeoutMs (it is then ended), unless expectTrouble, for tests that count such runs themselves.
// watchOut, when given, is shown the child's standard output read so far each time more arrives,
// on a thread of its own (line ends as the child wrote them): a test can act once the child has
// said something.
using OutputWatch = std::function<void(const std::string& outSoFar)>;
ChildRun RunChild(const std::wstring& commandLine, const std::wstring& directory, DWORD timeoutMs,
                  bool expectTrouble = false, OutputWatch watchOut = {});

}  // namespace testing
}  // namespace cairn
