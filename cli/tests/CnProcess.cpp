#include "CnProcess.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <utility>

#include "ProcessCrash.h"

namespace cairn {
namespace {

// Reads a pipe to its end on a thread of its own, so that neither pipe can fill up and stall cn.
DWORD WINAPI Drain(void* context) {
  auto* job = static_cast<std::pair<HANDLE, std::string*>*>(context);
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(job->first, buffer, sizeof buffer, &n, nullptr) && n > 0) job->second->append(buffer, n);
  // cn writes text: its lines end in CR LF.
  std::string& text = *job->second;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return 0;
}

}  // namespace

std::wstring ModuleDirectory() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L'\\'));
}

CnRun RunCn(const std::wstring& arguments, const std::wstring& directory, DWORD timeoutMs, bool expectTrouble) {
  CnRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  CreatePipe(&outRead, &outWrite, &inherit, 0);
  CreatePipe(&errRead, &errWrite, &inherit, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  std::wstring commandLine = L"\"" + ModuleDirectory() + L"\\cn.exe\" " + arguments;
  PROCESS_INFORMATION process = {};
  // Under load Wine now and then fails to start a process (ERROR_INTERNAL_ERROR); try again.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(), &startup,
                             &process);
  }
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  EXPECT_TRUE(started) << "cannot start cn: " << GetLastError();
  std::pair<HANDLE, std::string*> outJob(outRead, &run.out), errJob(errRead, &run.err);
  HANDLE readers[2] = {CreateThread(nullptr, 0, Drain, &outJob, 0, nullptr),
                       CreateThread(nullptr, 0, Drain, &errJob, 0, nullptr)};
  if (started) {
    const DWORD start = GetTickCount();
    for (;;) {
      const DWORD spent = GetTickCount() - start;
      DWORD wait = spent < timeoutMs
                       ? MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, timeoutMs - spent, QS_ALLINPUT)
                       : WAIT_TIMEOUT;
      if (wait != WAIT_OBJECT_0 + 1) break;
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
      run.hung = true;
      TerminateProcess(process.hProcess, kFailed);
      WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  WaitForMultipleObjects(2, readers, TRUE, 10000);
  CloseHandle(readers[0]);
  CloseHandle(readers[1]);
  CloseHandle(outRead);
  CloseHandle(errRead);
  run.crashed = !run.hung && testing::ShowsCrash(run.exitCode, run.out, run.err);
  if (!expectTrouble) {
    EXPECT_FALSE(run.crashed) << "cn " << std::string(arguments.begin(), arguments.end()) << " crashed:\n"
                              << run.out << run.err;
    EXPECT_FALSE(run.hung) << "cn did not end";
  }
  return run;
}

}  // namespace cairn

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitialize(nullptr))) return 1;
  // cn and the type library marshalling of the engine's interfaces need the engine registered.
  HMODULE engine = LoadLibraryW((cairn::ModuleDirectory() + L"\\..\\engine\\cairn.dll").c_str());
  auto registerServer = engine != nullptr ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                                                reinterpret_cast<void*>(GetProcAddress(engine, "DllRegisterServer")))
                                          : nullptr;
  if (registerServer == nullptr || FAILED(registerServer())) {
    std::fprintf(stderr, "cannot register the engine from ..\\engine\\cairn.dll\n");
    return 1;
  }
  int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
