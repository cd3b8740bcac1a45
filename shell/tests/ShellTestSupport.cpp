#include "ShellTestSupport.h"

#include <objbase.h>
#include <shlwapi.h>

#include "Pidl.h"
#include "ShellText.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace testing {

std::string ModuleDirectory() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string file(path, n);
  return file.substr(0, file.find_last_of('\\'));
}

DWORD RunProgram(const std::string& commandLine, const std::string& directory) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
    return static_cast<DWORD>(-1);
  }
  DWORD code = static_cast<DWORD>(-1);
  const DWORD deadline = GetTickCount() + 60000;
  for (;;) {
    const DWORD wait = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 1000, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &code);
      break;
    }
    if (static_cast<LONG>(GetTickCount() - deadline) > 0) {
      ADD_FAILURE() << commandLine << " did not end";
      TerminateProcess(process.hProcess, 1);
      break;
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

DWORD RunCn(const std::string& arguments, const std::string& directory) {
  return RunProgram("\"" + ModuleDirectory() + "\\..\\cli\\cn.exe\" " + arguments, directory);
}

bool WriteText(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
  CloseHandle(file);
  return ok;
}

Item OwnedList::Read() const {
  const std::optional<Item> item = FirstItem(list);
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
  LPITEMIDLIST location = nullptr;
  HRESULT hr = SHParseDisplayName(FromAnsi(archivePath).c_str(), nullptr, &location, 0, nullptr);
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  if (FAILED(hr)) return folder;
  OwnedList owned(location);
  ComPtr<IPersistFolder> persist;
  hr = CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFolder, persist.OutVoid());
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  if (FAILED(hr)) return folder;
  hr = persist->Initialize(location);
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
