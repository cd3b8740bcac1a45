// Running cn as a child process from the tests, and the engine registration they all need.
#pragma once

#include <windows.h>

#include <string>

#include "ChildProcess.h"

namespace cairn {

using testing::ModuleDirectory;  // cn.exe lies beside the test executable
using CnRun = testing::ChildRun;

// Runs cn with the arguments in the given directory, pumping messages meanwhile so that this
// apartment can serve calls cn makes to objects it registered. A cn that crashes, or that is
// still running after timeoutMs, fails the test (unless expectTrouble, for tests that count such
// runs themselves) and is ended.
// watchOut is shown what cn printed so far, as RunChild shows it.
CnRun RunCn(const std::wstring& arguments, const std::wstring& directory, DWORD timeoutMs = 120000,
            bool expectTrouble = false, testing::OutputWatch watchOut = {});

// cn's exit code -1 as the process reports it.
constexpr DWORD kFailed = static_cast<DWORD>(-1);

}  // namespace cairn
