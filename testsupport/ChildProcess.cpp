#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "Handle.h"
#include "ProcessCrash.h"

namespace cairn {
namespace testing {
namespace {

// A pipe whose write end the child inherits.
bool OpenPipe(Handle& read, Handle& write) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreatePipe(read.Out(), write.Out(), &inherit, 0) && SetHandleInformation(read.Get(), HANDLE_FLAG_INHERIT, 0);
}

// Reads a pipe to its end on a thread of its own, so that neither pipe can fill up and stall the
// child. The thread owns the pipe and its text: a process the child left behind may hold the
// other end open, and then the thread is given up rather than waited for.
std::future<std::string> Drain(Handle pipe, OutputWatch watch = {}) {
  std::packaged_task<std::string()> read([pipe = std::move(pipe), watch = std::move(watch)] {
    std::string text;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
      text.append(buffer, n);
      if (watch) watch(text);
    }
    // Console programs end their lines in CR LF.
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    return text;
  });
  std::future<std::string> text = read.get_future();
  std::thread(std::move(read)).detach();
  return text;
}

std::string Collect(std::future<std::string>& text) {
  return text.wait_for(std::chrono::seconds(10)) == std::future_status::ready ? text.get() : std::string();
}

// Waits for the process to end, dispatching this thread's messages meanwhile; false when it is
// still running after ms.
bool EndsWithin(HANDLE process, DWORD ms) {
  const DWORD start = GetTickCount();
  for (DWORD spent; (spent = GetTickCount() - start) < ms;) {
    if (MsgWaitForMultipleObjects(1, &process, FALSE, ms - spent, QS_ALLINPUT) != WAIT_OBJECT_0 + 1) break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

}  // namespace

std::wstring ModuleDirectory() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring file(path, n);
  return file.substr(0, file.find_last_of(L'\\'));
}

ChildRun RunChild(const std::wstring& commandLine, const std::wstring& directory, DWORD timeoutMs, bool expectTrouble,
                  OutputWatch watchOut) {
  ChildRun run;
  const std::string what(commandLine.begin(), commandLine.end());  // for messages; the tests' paths are ASCII
  Handle outRead, outWrite, errRead, errWrite;
  if (!OpenPipe(outRead, outWrite) || !OpenPipe(errRead, errWrite)) {
    ADD_FAILURE() << "cannot make the pipes for " << what << ": " << GetLastError();
    return run;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite.Get();
  startup.hStdError = errWrite.Get();
  std::wstring line = commandLine;
  PROCESS_INFORMATION process = {};
  // Under load Wine now and then refuses to start a process (ERROR_INTERNAL_ERROR); try again.
  DWORD error = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt > 0) Sleep(200);
    run.started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                 directory.empty() ? nullptr : directory.c_str(), &startup, &process);
    error = GetLastError();
    if (run.started || error != ERROR_INTERNAL_ERROR) break;
  }
  // Only the child holds the write ends now: the pipes end when it does.
  outWrite.Reset();
  errWrite.Reset();
  if (!run.started) {
    ADD_FAILURE() << "cannot start " << what << ": " << error;
    return run;
  }
  std::future<std::string> out = Drain(std::move(outRead), std::move(watchOut)), err = Drain(std::move(errRead));
  const Handle child(process.hProcess), thread(process.hThread);
  if (!EndsWithin(child.Get(), timeoutMs)) {
    run.hung = true;
    TerminateProcess(child.Get(), run.exitCode);
    WaitForSingleObject(child.Get(), 10000);
  }
  GetExitCodeProcess(child.Get(), &run.exitCode);
  run.out = Collect(out);
  run.err = Collect(err);
  run.crashed = !run.hung && ShowsCrash(run.exitCode, run.out, run.err);
  if (!expectTrouble) {
    EXPECT_FALSE(run.crashed) << what << " crashed:\n" << run.out << run.err;
    EXPECT_FALSE(run.hung) << what << " did not end";
  }
  return run;
}

}  // namespace testing
}  // namespace cairn
