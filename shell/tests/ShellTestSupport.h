// Helpers of the extension's tests under Wine: programs run as child processes, archives made
// by cn from a known tree, and the folder reached the way Explorer reaches it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ComPtr.h"
#include "IdList.h"
#include "ItemId.h"
#include "TempDir.h"

namespace cairn {
namespace shell {
namespace testing {

using cairn::testing::TempDir;

// The folder of the test executable (nsx12.dll lies beside it).
std::string ModuleDirectory();

// Runs a program to its end in the directory (this process's when empty), pumping messages
// meanwhile; its exit code, or -1 when it could not be started or did not end within a minute.
// Either, and a crash, fail the test.
DWORD RunProgram(const std::string& commandLine, const std::string& directory);
// Runs the build tree's cn with the arguments in the directory, the same way; with what it wrote.
cairn::testing::ChildRun RunCnCapturing(const std::string& arguments, const std::string& directory);
DWORD RunCn(const std::string& arguments, const std::string& directory);

bool WriteText(const std::string& path, const std::string& text);

// One ID list owned by the test (the toolkit's owner), with its first item read.
class OwnedList : public IdList {
 public:
  using IdList::IdList;
  Item Read() const;  // the list's first item (the test fails when it is malformed)
};

// A list of our items built from bytes (for crafted input).
std::vector<uint8_t> ListOf(std::initializer_list<std::vector<uint8_t>> items);

// The folder of an archive, made as Explorer makes it: the desktop parses the archive's path,
// the folder class is created and initialised with that absolute list.
ComPtr<IShellFolder> OpenArchiveFolder(const std::string& archivePath);

// Every item an enumeration with the flags gives.
std::vector<OwnedList> Enumerate(IShellFolder* folder, SHCONTF flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
// The Name of every such item.
std::vector<std::string> StoredNames(IShellFolder* folder, SHCONTF flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
// The item of a level whose Name ends with the text; the test fails when there is none.
OwnedList FindItem(IShellFolder* folder, const std::string& nameEnd);
ComPtr<IShellFolder> Bind(IShellFolder* folder, LPCITEMIDLIST item);
// GetDisplayNameOf as text; "<hr>" with the result when it fails.
std::string NameOf(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags);

// A tree cn archives in two snapshots:
//   data\docs\report.cairntest  (changed before the second snapshot)
//   data\docs\sub\deep.bin      data\notes.cairntest   data\hidden.bin (hidden)   data\system.bin (system)
class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::string Path(const std::string& name) const { return dir_.Path(name); }
  TempDir dir_;
  std::string data_, archive_;
};

}  // namespace testing
}  // namespace shell
}  // namespace cairn
