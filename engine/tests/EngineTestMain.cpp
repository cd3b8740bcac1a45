// The engine's tests run in one apartment with the engine loaded from the build tree and
// registered in the test prefix through its own entry point.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include "EngineFixture.h"

namespace cairn {
namespace testing {

HMODULE g_engine = nullptr;

HRESULT CallEngine(const char* exportName) {
  auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(g_engine, exportName)));
  return entry != nullptr ? entry() : E_NOTIMPL;
}

}  // namespace testing
}  // namespace cairn

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitialize(nullptr))) {
    std::fprintf(stderr, "CoInitialize failed\n");
    return 1;
  }
  cairn::testing::g_engine = LoadLibraryW(L"cairn.dll");
  if (cairn::testing::g_engine == nullptr) {
    std::fprintf(stderr, "cannot load cairn.dll (error %lu)\n", GetLastError());
    return 1;
  }
  HRESULT hr = cairn::testing::CallEngine("DllRegisterServer");
  if (FAILED(hr)) {
    std::fprintf(stderr, "DllRegisterServer failed: %#lx\n", static_cast<unsigned long>(hr));
    return 1;
  }
  int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
