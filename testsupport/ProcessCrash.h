// Telling a child process that crashed from one that failed. Under Wine a process that dies of an
// unhandled exception may still end with status 0; what gives it away is the report Wine writes:
// "wine: Unhandled ..." on its standard error, and its debugger's "Unhandled exception: ..." on its
// standard output. Tests that start a process treat any of these as a crash, whatever the status.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {
namespace testing {

// True when the exit status is an exception code, or either output holds Wine's report.
inline bool ShowsCrash(DWORD exitCode, const std::string& out, const std::string& err) {
  const bool exceptionStatus = (exitCode & 0xF0000000u) == 0xC0000000u || exitCode == 0x80000003u;
  const char* const reports[] = {"Unhandled exception", "wine: Unhandled", "Unhandled page fault"};
  for (const char* report : reports)
    if (out.find(report) != std::string::npos || err.find(report) != std::string::npos) return true;
  return exceptionStatus;
}

}  // namespace testing
}  // namespace cairn
