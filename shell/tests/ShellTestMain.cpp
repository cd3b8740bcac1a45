// The extension's tests run in one apartment with the engine and nsx12 registered from the build
// tree through their own entry points. Their user has turned the welcome wizard off, as a person
// does with the wizard's last page, so that views open without it; the wizard's tests turn it on. The test executable also holds the extension's code and
// resources, so that tests reach the folder's operations directly.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "Module.h"
#include "ShellTestSupport.h"
#include "WizardSetting.h"

namespace {

bool Register(const std::string& path) {
  HMODULE module = LoadLibraryA(path.c_str());
  auto entry = module != nullptr ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                                       reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")))
                                 : nullptr;
  const HRESULT hr = entry != nullptr ? entry() : E_FAIL;
  if (FAILED(hr)) std::fprintf(stderr, "cannot register %s: %#lx\n", path.c_str(), static_cast<unsigned long>(hr));
  return SUCCEEDED(hr);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitialize(nullptr))) return 1;
  cairn::Module::Attach(GetModuleHandleW(nullptr));
  const std::string here = cairn::shell::testing::ModuleDirectory();
  if (!Register(here + "\\..\\engine\\cairn.dll") || !Register(here + "\\nsx12.dll")) return 1;
  if (FAILED(cairn::shell::TurnWizardOff())) return 1;
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
