#include "ShellTestSupport.h"

#include <objbase.h>
#include <shlwapi.h>

#include "AnsiText.h"
#include "ChildProcess.h"
#include "Handle.h"
#include "Pidl.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace testing {

std::string ModuleDirectory() { return ToAnsi(cairn::testing::ModuleDirectory().c_str()); }

DWORD RunProgram(const std::string& commandLine, const std::string& directory) {
  return cairn::testing::RunChild(FromAnsi(commandLine), FromAnsi(directory), 60000).exitCode;
}

cairn::testing::ChildRun RunCnCapturing(const std::string& arguments, const std::string& directory) {
  return cairn::testing::RunChild(FromAnsi("\"" + ModuleDirectory() + "\\..\\cli\\cn.exe\" " + arguments),
                                  FromAnsi(directory), 60000);
}

DWORD RunCn(const std::string& arguments, const std::string& directory) {
  return RunCnCapturing(arguments, directory).exitCode;
}

bool WriteText(const std::string& path, const std::string& text) {
  const Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

Item OwnedList::Read() const {
  const std::optional<Item> item = FirstItem(Get());
  EXPECT_TRUE(item) << "malformed item";
  return item ? *item : Item{};
}

std::vector<uint8_t> ListOf(std::initializer_list<std::vector<uint8_t>> items) {
  std::vector<uint8_t> list;
  for (const auto& item : items) list.insert(list.end(), item.begin(), item.end());
  list.resize(list.size() + kListTerminatorSize, 0);
  return list;
}

ComPtr<IShellFolder> OpenArchiveFolder(const std::string& archivePath) {
  ComPtr<IShellFolder> folder;
  IdList location;
  HRESULT hr = SHParseDisplayName(FromAnsi(archivePath).c_str(), nullptr, location.Out(), 0, nullptr);
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  if (FAILED(hr)) return folder;
  ComPtr<IPersistFolder> persist;
  hr = CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFolder, persist.OutVoid());
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  if (FAILED(hr)) return folder;
  hr = persist->Initialize(location.Get());
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  persist.As(&folder);
  return folder;
}

std::vector<OwnedList> Enumerate(IShellFolder* folder, SHCONTF flags) {
  std::vector<OwnedList> items;
  ComPtr<IEnumIDList> enumerator;
  const HRESULT hr = folder->EnumObjects(nullptr, flags, enumerator.Out());
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  if (FAILED(hr) || !enumerator) return items;
  LPITEMIDLIST item = nullptr;
  while (enumerator->Next(1, &item, nullptr) == S_OK) items.emplace_back(item);
  return items;
}

std::vector<std::string> StoredNames(IShellFolder* folder, SHCONTF flags) {
  std::vector<std::string> names;
  for (const OwnedList& item : Enumerate(folder, flags)) names.emplace_back(item.Read().name);
  return names;
}

OwnedList FindItem(IShellFolder* folder, const std::string& nameEnd) {
  for (OwnedList& item : Enumerate(folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN)) {
    const std::string_view name = item.Read().name;
    if (name.size() >= nameEnd.size() && name.substr(name.size() - nameEnd.size()) == nameEnd) return std::move(item);
  }
  ADD_FAILURE() << "no item named ..." << nameEnd;
  return OwnedList();
}

ComPtr<IShellFolder> Bind(IShellFolder* folder, LPCITEMIDLIST item) {
  ComPtr<IShellFolder> child;
  const HRESULT hr = folder->BindToObject(item, nullptr, IID_IShellFolder, child.OutVoid());
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  return child;
}

std::string NameOf(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags) {
  STRRET name{};
  const HRESULT hr = folder->GetDisplayNameOf(item, flags, &name);
  if (FAILED(hr)) {
    char text[32];
    wsprintfA(text, "<%lx>", static_cast<unsigned long>(hr));
    return text;
  }
  wchar_t* text = nullptr;
  if (FAILED(StrRetToStrW(&name, item, &text))) return "<StrRetToStr>";
  const std::string result = ToAnsi(text);
  CoTaskMemFree(text);
  return result;
}

void ArchiveTest::SetUp() {
  data_ = Path("data");
  archive_ = Path("archive.crn");
  ASSERT_TRUE(CreateDirectoryA(data_.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((data_ + "\\docs").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((data_ + "\\docs\\sub").c_str(), nullptr));
  ASSERT_TRUE(WriteText(data_ + "\\docs\\report.cairntest", "first report"));
  ASSERT_TRUE(WriteText(data_ + "\\docs\\sub\\deep.bin", "deep"));
  ASSERT_TRUE(WriteText(data_ + "\\notes.cairntest", "notes"));
  ASSERT_TRUE(WriteText(data_ + "\\hidden.bin", "hidden"));
  ASSERT_TRUE(WriteText(data_ + "\\system.bin", "system"));
  SetFileAttributesA((data_ + "\\hidden.bin").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((data_ + "\\system.bin").c_str(), FILE_ATTRIBUTE_SYSTEM);
  // cn ends with 1 when it made a snapshot.
  ASSERT_EQ(1u, RunCn("/c /a \"" + data_ + "\" \"" + archive_ + "\"", Path("")));
  ASSERT_TRUE(WriteText(data_ + "\\docs\\report.cairntest", "second report, longer"));
  ASSERT_EQ(1u, RunCn("\"" + archive_ + "\"", Path("")));
}

}  // namespace testing
}  // namespace shell
}  // namespace cairn
