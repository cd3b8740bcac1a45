// Registration rows in a scratch key of the current user: placeholders, the key modes, exact
// removal, and the rollback of a write that fails half-way.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "HResultAssert.h"
#include "RegKey.h"
#include "Registration.h"

namespace cairn {
namespace {

constexpr wchar_t kScratch[] = L"Software\\CairnRowsTest";
constexpr RegistryRoot kUser = RegistryRoot::kCurrentUser;

// Every value and subkey below HKCU\path, as "[key]" and "name=data" lines ("#n" for a DWORD).
std::wstring Dump(const std::wstring& path) {
  RegKey key;
  if (key.Open(HKEY_CURRENT_USER, path.c_str(), KEY_READ) != ERROR_SUCCESS) return L"";
  std::wstring out = L"[" + path + L"]\n";
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    BYTE data[1024];
    DWORD nameLength = 256, size = sizeof data, type = 0;
    if (RegEnumValueW(key.Get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    out += std::wstring(name) + L"=" +
           (type == REG_DWORD ? L"#" + std::to_wstring(*reinterpret_cast<DWORD*>(data))
                              : std::wstring(reinterpret_cast<wchar_t*>(data))) +
           L"\n";
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key.Get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out += Dump(path + L"\\" + name);
  }
  return out;
}

void SetString(const std::wstring& path, const wchar_t* name, const wchar_t* text) {
  RegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

class RegistrationRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    values_.Set(L"ROOT", kScratch);
    values_.Set(L"CLSID", L"{00000000-0000-0000-0000-000000000001}");
    values_.Set(L"MODULE", L"C:\\x\\server.dll");
    // A file type's shared handler list: other programs' entries are there already.
    SetString(std::wstring(kScratch) + L"\\type\\shellex\\Handlers\\Other", nullptr, L"{other}");
    SetString(std::wstring(kScratch) + L"\\Approved", L"{other}", L"Other handler");
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kScratch); }

  Placeholders values_;
};

const RegistryRow kRows[] = {
    {kUser, L"%ROOT%\\type", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kUser, L"%ROOT%\\type\\shellex\\Handlers", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kUser, L"%ROOT%\\type\\shellex\\Handlers\\Mine", KeyMode::kCreate, ValueKind::kString, nullptr, L"%CLSID%", 0},
    {kUser, L"%ROOT%\\Approved", KeyMode::kNoRemove, ValueKind::kString, L"%CLSID%", L"Mine", 0},
    {kUser, L"%ROOT%\\CLSID\\%CLSID%", KeyMode::kReplaceWhole, ValueKind::kString, nullptr, L"", 0},
    {kUser, L"%ROOT%\\CLSID\\%CLSID%\\InprocServer32", KeyMode::kCreate, ValueKind::kString, nullptr, L"%MODULE%", 0},
    {kUser, L"%ROOT%\\CLSID\\%CLSID%\\Options", KeyMode::kCreate, ValueKind::kDword, L"RunWizard", nullptr, 1},
};
const RegistryRows kAll = {kRows, sizeof kRows / sizeof kRows[0]};

TEST_F(RegistrationRowsTest, WritesReplacesWholeAndRemovesOnlyItsOwn) {
  const std::wstring stray = std::wstring(kScratch) + L"\\CLSID\\{00000000-0000-0000-0000-000000000001}\\Stray";
  SetString(stray, nullptr, L"left by an older registration");
  ASSERT_HR(S_OK, WriteRegistryRows(kAll, values_, nullptr));
  EXPECT_EQ(Dump(kScratch),
            L"[Software\\CairnRowsTest]\n"
            L"[Software\\CairnRowsTest\\Approved]\n{00000000-0000-0000-0000-000000000001}=Mine\n{other}=Other handler\n"
            L"[Software\\CairnRowsTest\\CLSID]\n"
            L"[Software\\CairnRowsTest\\CLSID\\{00000000-0000-0000-0000-000000000001}]\n=\n"
            L"[Software\\CairnRowsTest\\CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32]\n"
            L"=C:\\x\\server.dll\n"
            L"[Software\\CairnRowsTest\\CLSID\\{00000000-0000-0000-0000-000000000001}\\Options]\nRunWizard=#1\n"
            L"[Software\\CairnRowsTest\\type]\n[Software\\CairnRowsTest\\type\\shellex]\n"
            L"[Software\\CairnRowsTest\\type\\shellex\\Handlers]\n"
            L"[Software\\CairnRowsTest\\type\\shellex\\Handlers\\Mine]\n={00000000-0000-0000-0000-000000000001}\n"
            L"[Software\\CairnRowsTest\\type\\shellex\\Handlers\\Other]\n={other}\n");

  ASSERT_HR(S_OK, RemoveRegistryRows(kAll, values_));
  EXPECT_EQ(Dump(kScratch),
            L"[Software\\CairnRowsTest]\n"
            L"[Software\\CairnRowsTest\\Approved]\n{other}=Other handler\n"
            L"[Software\\CairnRowsTest\\CLSID]\n"
            L"[Software\\CairnRowsTest\\type]\n[Software\\CairnRowsTest\\type\\shellex]\n"
            L"[Software\\CairnRowsTest\\type\\shellex\\Handlers]\n"
            L"[Software\\CairnRowsTest\\type\\shellex\\Handlers\\Other]\n={other}\n");
  EXPECT_HR(S_OK, RemoveRegistryRows(kAll, values_)) << "removing twice is harmless";
}

TEST_F(RegistrationRowsTest, AFailedWriteLeavesTheRegistryAsItWas) {
  SetString(std::wstring(kScratch) + L"\\type\\shellex\\Handlers\\Mine", nullptr, L"{before}");
  const std::wstring before = Dump(kScratch);
  // A key name longer than the registry allows fails after the other rows were written.
  const std::wstring tooLong(300, L'k');
  const RegistryRow failing[] = {
      kRows[0], kRows[1], kRows[2], kRows[3], kRows[5],
      {kUser, L"%ROOT%\\%LONG%", KeyMode::kCreate, ValueKind::kString, nullptr, L"x", 0},
  };
  values_.Set(L"LONG", tooLong);
  RegistryJournal journal;
  EXPECT_TRUE(FAILED(WriteRegistryRows({failing, sizeof failing / sizeof failing[0]}, values_, &journal)));
  EXPECT_EQ(Dump(kScratch), before);

  // What a successful call wrote is undone by its journal when a later step fails.
  ASSERT_HR(S_OK, WriteRegistryRows(kAll, values_, &journal));
  EXPECT_NE(Dump(kScratch), before);
  journal.Undo();
  EXPECT_EQ(Dump(kScratch), before);
}

TEST_F(RegistrationRowsTest, APlaceholderWithoutAValueIsRefusedAndNothingStays) {
  const std::wstring before = Dump(kScratch);
  const RegistryRow rows[] = {
      kRows[5],
      {kUser, L"%ROOT%\\%NOSUCH%", KeyMode::kCreate, ValueKind::kNone, nullptr, nullptr, 0},
  };
  EXPECT_HR(E_INVALIDARG, WriteRegistryRows({rows, 2}, values_, nullptr));
  EXPECT_EQ(Dump(kScratch), before);
  std::wstring out;
  EXPECT_FALSE(values_.Expand(L"50% off", &out));
}

}  // namespace
}  // namespace cairn
