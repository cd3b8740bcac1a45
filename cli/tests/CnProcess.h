// Running cn as a child process from the tests, and the engine registration they all need.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {

// The folder of the test executable; cn.exe lies beside it.
std::wstring ModuleDirectory();

struct CnRun {
  DWORD exitCode = 0;
  std::string out, err;  // line ends normalized to LF
};

// Runs cn with the arguments in the given directory, pumping messages meanwhile so that this
// apartment can serve calls cn makes to objects it registered.
CnRun RunCn(const std::wstring& arguments, const std::wstring& directory);

// cn's exit code -1 as the process reports it.
constexpr DWORD kFailed = static_cast<DWORD>(-1);

}  // namespace cairn
