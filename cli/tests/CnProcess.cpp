#include "CnProcess.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <utility>

namespace cairn {

CnRun RunCn(const std::wstring& arguments, const std::wstring& directory, DWORD timeoutMs, bool expectTrouble,
            testing::OutputWatch watchOut) {
  return testing::RunChild(L"\"" + ModuleDirectory() + L"\\cn.exe\" " + arguments, directory, timeoutMs, expectTrouble,
                           std::move(watchOut));
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
