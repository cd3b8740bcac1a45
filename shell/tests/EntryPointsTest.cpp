// Registration read back, the New menu's command through the real rundll32, installing, and the
// first-run check.
#include <objbase.h>

#include <string>

#include "AnsiText.h"
#include "CairnFolder.h"
#include "NewArchive.h"
#include "ShellRegistration.h"
#include "ShellTestSupport.h"
#include "ShellVersion.h"
#include "WizardSetting.h"
#include "nsx12.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

std::string Guid(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return ToAnsi(text);
}

// A value as text ("<none>" when missing); DWORDs as decimal.
std::string Value(HKEY root, const std::string& key, const char* name = nullptr) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return "<none>";
  char data[1024] = {};
  DWORD size = sizeof data - 1, type = 0;
  const LONG status = RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(opened);
  if (status != ERROR_SUCCESS) return "<none>";
  return type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data)) : std::string(data);
}

bool KeyExists(HKEY root, const std::string& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

HRESULT CallModule(const char* name) {
  HMODULE module = GetModuleHandleA("nsx12.dll");
  auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return entry != nullptr ? entry() : E_NOTIMPL;
}

using RundllEntry = void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);
RundllEntry Rundll(const char* name) {
  return reinterpret_cast<RundllEntry>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("nsx12.dll"), name)));
}

const char kApproved[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

TEST(RegistrationTest, EntriesReadBackExactlyAndUnregistrationLeavesNothingOfOurs) {
  const std::string module = ModuleDirectory() + "\\nsx12.dll";
  const std::string folder = Guid(CLSID_CairnFolder);
  const std::string folderKey = "CLSID\\" + folder;
  const std::string shellExt = Guid(CLSID_CairnShellExt), dropTarget = Guid(CLSID_CairnDropTarget);
  // Entries of other programs under the shell's keys that ours share.
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, "exefile\\ShellEx\\ContextMenuHandlers\\Other", REG_SZ, "x", 1));
  ASSERT_EQ(S_OK, CallModule("DllRegisterServer"));

  struct Row {
    HKEY root;
    std::string key;
    const char* name;
    std::string value;
  } rows[] = {
      {HKEY_CLASSES_ROOT, ".crn", nullptr, "Cairn Archive"},
      {HKEY_CLASSES_ROOT, ".crn\\ShellNew", "Command", "rundll32.exe \"" + module + "\",DllCreateArchive %1!d! %2"},
      {HKEY_CLASSES_ROOT, ".crnSendToTarget", nullptr, "CLSID\\" + Guid(CLSID_ArchiveSendToTarget)},
      {HKEY_CLASSES_ROOT, "Cairn Archive", nullptr, "Cairn Archive"},
      {HKEY_CLASSES_ROOT, "Cairn Archive\\CLSID", nullptr, folder},
      {HKEY_CLASSES_ROOT, "Cairn Archive\\Shell\\Explore\\command", nullptr, "explorer /e,/root," + folder + ",%1"},
      {HKEY_CLASSES_ROOT, "Cairn Archive\\Shell\\Open\\command", nullptr, "explorer /root," + folder + ",%1"},
      {HKEY_CLASSES_ROOT, folderKey, nullptr, "CairnFolder Class"},
      {HKEY_CLASSES_ROOT, folderKey, "InfoTop", "Cairn Archive. Put your folders and file in here to revision"},
      {HKEY_CLASSES_ROOT, folderKey + "\\DefaultIcon", nullptr, module},
      {HKEY_LOCAL_MACHINE, "Software\\Classes\\" + folderKey + "\\Options", "RunWizard", "1"},
      {HKEY_CLASSES_ROOT, folderKey + "\\ShellFolder", "CallForAttributes", ""},
      {HKEY_CLASSES_ROOT, folderKey + "\\InprocServer32", nullptr, module},
      {HKEY_CLASSES_ROOT, folderKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {HKEY_CLASSES_ROOT, folderKey + "\\ProgID", nullptr, "Nsx12.CairnFolder.1"},
      {HKEY_CLASSES_ROOT, folderKey + "\\VersionIndependentProgID", nullptr, "Nsx12.CairnFolder"},
      {HKEY_CLASSES_ROOT, folderKey + "\\TypeLib", nullptr, Guid(LIBID_NSX12Lib)},
      {HKEY_CLASSES_ROOT, "Nsx12.CairnFolder.1\\CLSID", nullptr, folder},
      {HKEY_CLASSES_ROOT, "Nsx12.CairnFolder\\CurVer", nullptr, "Nsx12.CairnFolder.1"},
      {HKEY_CLASSES_ROOT, "Nsx12.CairnIDEnum.1\\CLSID", nullptr, Guid(CLSID_CairnIDEnum)},
      {HKEY_CLASSES_ROOT, "CLSID\\" + Guid(CLSID_ArchiveSendToTarget), nullptr, "Archive SendTo Target"},
      {HKEY_CLASSES_ROOT, "CLSID\\" + Guid(CLSID_ArchiveSendToTarget), "NeverShowExt", ""},
      {HKEY_CLASSES_ROOT, "CLSID\\" + Guid(CLSID_ArchiveSendToTarget) + "\\DefaultIcon", nullptr, module},
      {HKEY_LOCAL_MACHINE, kApproved, folder.c_str(), "Cairn Archive"},
      // The handlers: the context menu, copy hook and property pages of archive files and of
      // programs (self-extracting archives), and the drop handler of archives and of Send To.
      {HKEY_CLASSES_ROOT, "Cairn Archive\\ShellEx\\ContextMenuHandlers\\Archive Folder Menu", nullptr, shellExt},
      {HKEY_CLASSES_ROOT, "Cairn Archive\\ShellEx\\CopyHookHandlers\\Archive CopyHook", nullptr, shellExt},
      {HKEY_CLASSES_ROOT, "Cairn Archive\\ShellEx\\PropertySheetHandlers\\Archive Properties", nullptr, shellExt},
      {HKEY_CLASSES_ROOT, "Cairn Archive\\ShellEx\\DropHandler", nullptr, dropTarget},
      {HKEY_CLASSES_ROOT, "exefile\\ShellEx\\ContextMenuHandlers\\Archive Folder Menu", nullptr, shellExt},
      {HKEY_CLASSES_ROOT, "exefile\\ShellEx\\PropertySheetHandlers\\Archive Properties", nullptr, shellExt},
      {HKEY_CLASSES_ROOT, "CLSID\\" + Guid(CLSID_ArchiveSendToTarget) + "\\ShellEx\\DropHandler", nullptr, dropTarget},
      {HKEY_CLASSES_ROOT, "Nsx12.CairnShellExt.1\\CLSID", nullptr, shellExt},
      {HKEY_CLASSES_ROOT, "Nsx12.ObjFormats\\CurVer", nullptr, "Nsx12.ObjFormats.1"},
      {HKEY_CLASSES_ROOT, "Nsx12.CairnDropSource.1\\CLSID", nullptr, Guid(CLSID_CairnDropSource)},
      {HKEY_CLASSES_ROOT, "Nsx12.CairnDataObject.1\\CLSID", nullptr, Guid(CLSID_CairnDataObject)},
      {HKEY_CLASSES_ROOT, "Nsx12.CairnDropTarget.1\\CLSID", nullptr, dropTarget},
  };
  for (const Row& row : rows) EXPECT_EQ(row.value, Value(row.root, row.key, row.name)) << row.key;
  ITypeLib* library = nullptr;
  EXPECT_EQ(S_OK, LoadRegTypeLib(LIBID_NSX12Lib, 1, 0, 0x409, &library));
  if (library != nullptr) library->Release();

  EXPECT_EQ(S_OK, CallModule("DllUnregisterServer"));
  for (const Row& row : rows) EXPECT_EQ("<none>", Value(row.root, row.key, row.name)) << row.key;
  for (const char* key : {".crn", ".crnSendToTarget", "Cairn Archive", "Nsx12.CairnFolder", "Nsx12.CairnFolder.1",
                          "Nsx12.CairnIDEnum", "exefile\\ShellEx\\ContextMenuHandlers\\Archive Folder Menu"})
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, folderKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "exefile\\ShellEx\\ContextMenuHandlers\\Other"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kApproved));
  EXPECT_EQ(S_OK, CallModule("DllUnregisterServer"));  // nothing left to remove is fine

  ASSERT_EQ(S_OK, CallModule("DllRegisterServer"));  // for the other tests
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "exefile\\ShellEx\\ContextMenuHandlers\\Other");
  // Registration sets the machine's option; the gate follows the setting that decides (the user's
  // own choice, where one is recorded) and opens at most once.
  WizardGate gate;
  EXPECT_EQ(RunWizardSet(), gate.ShouldRun());
  EXPECT_FALSE(gate.ShouldRun());
}

// Closes the message box with the caption from another thread, and notes that it saw one.
struct BoxWatcher {
  std::string caption;
  std::string text;
  bool seen = false;
  static DWORD WINAPI Watch(void* context) {
    auto* self = static_cast<BoxWatcher*>(context);
    for (int i = 0; i < 300 && !self->seen; ++i) {
      if (HWND box = FindWindowA("#32770", self->caption.c_str())) {
        // The box's text is one of its static controls (another holds the icon).
        for (HWND label = FindWindowExA(box, nullptr, "Static", nullptr); label != nullptr;
             label = FindWindowExA(box, label, "Static", nullptr)) {
          char text[512] = {};
          GetWindowTextA(label, text, sizeof text);
          if (strlen(text) > self->text.size()) self->text = text;
        }
        self->seen = true;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        break;
      }
      Sleep(100);
    }
    return 0;
  }
};

TEST(RegistrationTest, RegisteringAgainKeepsTheUsersWizardChoice) {
  const std::string options = "CLSID\\" + Guid(CLSID_CairnFolder) + "\\Options";
  const std::string user = "Software\\Classes\\" + options;
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, user.c_str(), &key));
  const std::string before = Value(HKEY_CURRENT_USER, user, "RunWizard");
  const DWORD off = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "RunWizard", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off));
  EXPECT_EQ(S_OK, CallModule("DllRegisterServer"));
  EXPECT_EQ("0", Value(HKEY_CURRENT_USER, user, "RunWizard")) << "the user turned the wizard off";
  EXPECT_EQ("1", Value(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + options, "RunWizard"));
  if (before == "<none>") {
    RegDeleteValueA(key, "RunWizard");
  } else {
    const DWORD kept = std::stoul(before);
    RegSetValueExA(key, "RunWizard", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kept), sizeof kept);
  }
  RegCloseKey(key);
}

TEST(EntryPointsTest, TheNewMenusCommandCreatesAnArchiveOnlyWhereNothingIs) {
  TempDir dir;
  const std::string path = dir.Path("New Cairn Archive.crn");
  // The registered command as the shell fills it in, with the module where an installed one lies:
  // in a folder whose name has a blank.
  const std::string module = ModuleDirectory() + "\\nsx12.dll", installed = dir.Path("Program Files") + "\\nsx12.dll";
  ASSERT_TRUE(CreateDirectoryA(dir.Path("Program Files").c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(module.c_str(), installed.c_str(), TRUE));
  std::string command = Value(HKEY_CLASSES_ROOT, ".crn\\ShellNew", "Command");
  for (const auto& [from, to] : {std::pair<std::string, std::string>{module, installed}, {"%1!d!", "999"}, {"%2", path}}) {
    const size_t at = command.find(from);
    ASSERT_NE(std::string::npos, at) << command << " has no " << from;
    command.replace(at, from.size(), to);
  }
  EXPECT_EQ(0u, RunProgram(command, ""));
  ComPtr<IShellFolder> root = OpenArchiveFolder(path);
  ASSERT_TRUE(root);
  EXPECT_TRUE(StoredNames(root.Get()).empty());
  root.Reset();
  const std::string before = cairn::testing::ReadFileBytes(path);
  ASSERT_FALSE(before.empty());

  BoxWatcher watcher;
  watcher.caption = "Problem creating archive";
  HANDLE thread = CreateThread(nullptr, 0, &BoxWatcher::Watch, &watcher, 0, nullptr);
  RunProgram(command, "");
  WaitForSingleObject(thread, 40000);
  CloseHandle(thread);
  EXPECT_TRUE(watcher.seen);
  EXPECT_FALSE(watcher.text.empty());
  EXPECT_EQ(before, cairn::testing::ReadFileBytes(path));

  EXPECT_EQ(path, CreateArchivePath("999 " + path));
  EXPECT_EQ(path, CreateArchivePath(" " + path));
  EXPECT_EQ("C:\\a b\\new.crn", CreateArchivePath("999 \"C:\\a b\\new.crn\""));
  EXPECT_EQ("", CreateArchivePath("nothing"));
}

TEST(EntryPointsTest, InstallingTwiceKeepsOneSampleAndAnEmptySendToEntry) {
  char desktop[MAX_PATH] = {}, sendTo[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE));
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, sendTo, CSIDL_SENDTO, TRUE));
  const std::string sample = std::string(desktop) + "\\Sample Archive.crn";
  const std::string entry = std::string(sendTo) + "\\Cairn Archive.crnSendToTarget";
  DeleteFileA(sample.c_str());
  RundllEntry install = Rundll("DllInstall");
  ASSERT_NE(nullptr, install);
  install(nullptr, nullptr, const_cast<char*>(""), SW_SHOWNORMAL);
  const std::string first = cairn::testing::ReadFileBytes(sample);
  ASSERT_FALSE(first.empty());
  ASSERT_TRUE(WriteText(entry, "something"));
  install(nullptr, nullptr, const_cast<char*>(""), SW_SHOWNORMAL);
  EXPECT_EQ(first, cairn::testing::ReadFileBytes(sample));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(entry.c_str()));
  EXPECT_EQ("", cairn::testing::ReadFileBytes(entry));
  DeleteFileA(sample.c_str());
  DeleteFileA(entry.c_str());
}

TEST(EntryPointsTest, VersionTestsReadTheSystemLibraries) {
  unsigned major = 0, minor = 0;
  EXPECT_TRUE(ComponentVersion("shell32.dll", &major, &minor));
  EXPECT_GE(major, 4u);
  EXPECT_FALSE(ComponentVersion("no-such-library.dll", &major, &minor));
  EXPECT_FALSE(ComponentVersion("kernel32.dll", &major, &minor));  // no DllGetVersion
  // Wine's shell reports 6.0: neither the plain shell nor the integrated 4.72 one.
  EXPECT_FALSE(PlainShell());
  EXPECT_FALSE(IntegratedShellWithNewControls());
}

}  // namespace
}  // namespace testing
}  // namespace shell
}  // namespace cairn
