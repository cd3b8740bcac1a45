// hand: does with windows what a person's hand does, for the journey script under Wine: waits for
// a window by its title, clicks, ticks and types into its controls, presses a wizard's buttons,
// chooses menu commands, brings windows to the front and closes them, selects a row of a list,
// opens a file as a double click does, shows a file's Properties and sends a file to the Send To
// entry as the shell does, and reads an archive's Autosnap job.
// Each command ends with exit code 0 when done and 1, saying why on standard error, when not.
#include <windows.h>
#include <commctrl.h>
#include <mstask.h>
#include <objbase.h>
#include <prsht.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "ComPtr.h"

namespace {

using cairn::ComPtr;

const wchar_t kUsage[] =
    L"usage: hand wait|gone TITLE [SECONDS]\n"
    L"       hand click|check TITLE CONTROL_ID\n"
    L"       hand type TITLE CONTROL_ID TEXT\n"
    L"       hand sheet TITLE next|back|finish|cancel\n"
    L"       hand command TITLE COMMAND_ID\n"
    L"       hand close|front TITLE\n"
    L"       hand select TITLE LIST_ID ROW\n"
    L"       hand texts TITLE\n"
    L"       hand find TITLE_ENDING          (prints the whole title)\n"
    L"       hand open PATH\n"
    L"       hand start COMMAND_LINE         (runs it as the shell runs a registered command)\n"
    L"       hand sendto FILE ARCHIVE        (waits for the archive's first snapshot)\n"
    L"       hand properties PATH\n"
    L"       hand job ARCHIVE\n";

int Fail(const std::wstring& why) {
  std::fwprintf(stderr, L"hand: %ls\n", why.c_str());
  return 1;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = L"";
  // Across processes the system copies the text: WM_GETTEXT rather than GetWindowText.
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

// A visible top-level window with exactly this title (or with a title ending so), of any process.
HWND FindTitled(const std::wstring& title, bool ending = false) {
  struct Search {
    const std::wstring* title;
    bool ending;
    HWND found;
  } search = {&title, ending, nullptr};
  EnumWindows([](HWND window, LPARAM data) {
    auto* s = reinterpret_cast<Search*>(data);
    const std::wstring text = TextOf(window);
    const bool matches = s->ending ? text.size() >= s->title->size() &&
                                         text.compare(text.size() - s->title->size(), s->title->size(), *s->title) == 0
                                   : text == *s->title;
    if (!IsWindowVisible(window) || !matches) return TRUE;
    s->found = window;
    return FALSE;
  }, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool WaitUntil(const std::function<bool()>& done, DWORD seconds) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(100))
    if (GetTickCount() - start > seconds * 1000) return false;
  return true;
}

HWND WaitTitled(const std::wstring& title, DWORD seconds = 60) {
  HWND window = nullptr;
  WaitUntil([&] { return (window = FindTitled(title)) != nullptr; }, seconds);
  return window;
}

// The control with the identifier in the window or in a dialog inside it (a wizard's page).
HWND FindControl(HWND window, int id) {
  struct Search {
    int id;
    HWND found;
  } search = {id, nullptr};
  EnumChildWindows(window, [](HWND child, LPARAM data) {
    auto* s = reinterpret_cast<Search*>(data);
    if (GetDlgCtrlID(child) != s->id || !IsWindowVisible(child)) return TRUE;
    s->found = child;
    return FALSE;
  }, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<std::wstring> StaticTexts(HWND window) {
  std::vector<std::wstring> texts;
  EnumChildWindows(window, [](HWND child, LPARAM data) {
    wchar_t name[16] = L"";
    GetClassNameW(child, name, 16);
    const std::wstring text = TextOf(child);
    if (lstrcmpiW(name, L"Static") == 0 && IsWindowVisible(child) && !text.empty())
      reinterpret_cast<std::vector<std::wstring>*>(data)->push_back(text);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

// Selects one row of a list view of another process: the item record lives in that process.
bool SelectRow(HWND list, int row) {
  DWORD process = 0;
  GetWindowThreadProcessId(list, &process);
  HANDLE target = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process);
  if (target == nullptr) return false;
  void* remote = VirtualAllocEx(target, nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE);
  bool done = false;
  if (remote != nullptr) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    done = WriteProcessMemory(target, remote, &item, sizeof item, nullptr) &&
           SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(remote));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    done = done && WriteProcessMemory(target, remote, &item, sizeof item, nullptr) &&
           SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote));
    VirtualFreeEx(target, remote, 0, MEM_RELEASE);
  }
  CloseHandle(target);
  return done;
}

// A data object offering one file as CF_HDROP, as the shell's Send To menu hands it over.
class FileDrop : public IDataObject {
 public:
  explicit FileDrop(const std::wstring& path) : path_(path) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = iid == IID_IUnknown || iid == IID_IDataObject ? this : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }  // lives on the caller's stack
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    const size_t bytes = sizeof(DROPFILES) + (path_.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (memory == nullptr) return E_OUTOFMEMORY;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path_.c_str(), path_.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* format) override {
    return format != nullptr && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out != nullptr) out->ptd = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return SHCreateStdEnumFmtEtc(1, &format, formats);
  }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  std::wstring path_;
  ULONG references_ = 1;
};

std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* value) {
  wchar_t text[512] = L"";
  DWORD size = sizeof text;
  return RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS ? text : L"";
}

// Whether cn, found on the search path as a person's command finds it, lists the archive's first
// snapshot (exit code 0; -1 when there is none).
bool HoldsFirstSnapshot(const std::wstring& archive) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                               OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nothing;
  std::wstring commandLine = L"cn.exe /l Snapshot;1 \"" + archive + L"\"";
  PROCESS_INFORMATION process = {};
  DWORD code = 1;
  if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
  return code == 0;
}

// What the shell's Send To menu does with its entry: the drop handler of the entry's type loads
// the entry's file and takes the files as a drop; the archive it is to make is named.
int SendTo(const std::wstring& file, const std::wstring& archive) {
  wchar_t folder[MAX_PATH] = L"";
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_SENDTO, nullptr, SHGFP_TYPE_CURRENT, folder)))
    return Fail(L"the user has no Send To folder");
  const std::wstring entry = std::wstring(folder) + L"\\Cairn Archive.crnSendToTarget";
  if (GetFileAttributesW(entry.c_str()) == INVALID_FILE_ATTRIBUTES) return Fail(L"no Send To entry " + entry);
  const std::wstring type = RegistryText(HKEY_CLASSES_ROOT, L".crnSendToTarget", nullptr);
  std::wstring handler = RegistryText(HKEY_CLASSES_ROOT, type + L"\\ShellEx\\DropHandler", nullptr);
  if (handler.empty())
    return Fail(L"the Send To entry's type (" + type + L") has no drop handler registered: Send To cannot add files");
  CLSID clsid;
  if (FAILED(CLSIDFromString(handler.c_str(), &clsid))) return Fail(L"the drop handler is no class: " + handler);
  ComPtr<IPersistFile> persist;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, persist.OutVoid());
  if (SUCCEEDED(hr)) hr = persist->Load(entry.c_str(), STGM_READ);
  ComPtr<IDropTarget> target;
  if (SUCCEEDED(hr)) hr = persist.As(&target);
  FileDrop data(file);
  DWORD effect = DROPEFFECT_COPY;
  POINTL point = {0, 0};
  if (SUCCEEDED(hr)) hr = target->DragEnter(&data, MK_LBUTTON, point, &effect);
  if (SUCCEEDED(hr) && effect == DROPEFFECT_NONE) hr = E_FAIL;
  effect = DROPEFFECT_COPY;
  if (SUCCEEDED(hr)) hr = target->Drop(&data, 0, point, &effect);
  if (FAILED(hr)) {
    wchar_t text[64];
    std::swprintf(text, 64, L"%#lx", static_cast<unsigned long>(hr));
    return Fail(L"the drop handler refused the file: " + std::wstring(text));
  }
  // The handler adds the files on a thread of its own: the process stays until the archive holds
  // its first snapshot and no writer holds it any more.
  MSG message;
  const bool done = WaitUntil([&] {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    HANDLE file = CreateFileW(archive.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return HoldsFirstSnapshot(archive);
  }, 120);
  return done ? 0 : Fail(L"the drop made no archive " + archive + L" with a first snapshot");
}

// The Autosnap job of the archive, as the Task Scheduler keeps it in the Tasks folder:
// "APPLICATION PARAMETERS". (Wine's scheduler activates no name with a dot in it, and the job is
// named after the archive's file name: the job's file is read as a task of its own.)
int Job(const std::wstring& archive) {
  std::wstring name = archive;
  for (wchar_t& c : name)
    if (c == L'\\' || c == L':') c = L'-';
  wchar_t windows[MAX_PATH] = L"";
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring file = std::wstring(windows) + L"\\Tasks\\" + name + L".job";
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
    return Fail(L"the archive has no Autosnap job (" + file + L")");
  // A task of the scheduler's, never saved, reads the job's file (the task class itself is made
  // only by the scheduler).
  ComPtr<ITaskScheduler> scheduler;
  ComPtr<ITask> task;
  ComPtr<IPersistFile> persist;
  HRESULT hr = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                scheduler.OutVoid());
  if (SUCCEEDED(hr))
    hr = scheduler->NewWorkItem(L"journey-reader", CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(task.Out()));
  if (SUCCEEDED(hr)) hr = task.As(&persist);
  if (SUCCEEDED(hr)) hr = persist->Load(file.c_str(), STGM_READ);
  LPWSTR application = nullptr, parameters = nullptr;
  if (SUCCEEDED(hr)) hr = task->GetApplicationName(&application);
  if (SUCCEEDED(hr)) hr = task->GetParameters(&parameters);
  if (FAILED(hr)) return Fail(L"the job " + file + L" cannot be read");
  std::wprintf(L"%ls %ls\n", application, parameters);
  CoTaskMemFree(application);
  CoTaskMemFree(parameters);
  return 0;
}

// The file's Properties, as the shell builds them: each property-sheet handler of the file's type
// is given the file and adds its pages to one sheet, "NAME Properties", shown until it is closed.
int Properties(const std::wstring& path) {
  const wchar_t* dot = std::wcsrchr(path.c_str(), L'.');
  const std::wstring type = dot != nullptr ? RegistryText(HKEY_CLASSES_ROOT, dot, nullptr) : L"";
  HKEY typeKey = nullptr, handlers = nullptr;
  if (type.empty() || RegOpenKeyExW(HKEY_CLASSES_ROOT, type.c_str(), 0, KEY_READ, &typeKey) != ERROR_SUCCESS ||
      RegOpenKeyExW(typeKey, L"ShellEx\\PropertySheetHandlers", 0, KEY_READ, &handlers) != ERROR_SUCCESS) {
    if (typeKey != nullptr) RegCloseKey(typeKey);
    return Fail(L"the type of " + path + L" has no property-sheet handlers");
  }
  std::vector<HPROPSHEETPAGE> pages;
  std::vector<ComPtr<IShellPropSheetExt>> extensions;
  FileDrop data(path);
  wchar_t name[256];
  for (DWORD i = 0, size = 256; RegEnumKeyExW(handlers, i, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                                ERROR_SUCCESS; ++i, size = 256) {
    CLSID clsid;
    const std::wstring handler = RegistryText(handlers, name, nullptr);
    ComPtr<IShellExtInit> init;
    ComPtr<IShellPropSheetExt> extension;
    if (FAILED(CLSIDFromString(handler.c_str(), &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.OutVoid())) ||
        FAILED(init->Initialize(nullptr, &data, typeKey)) || FAILED(init.As(&extension)))
      continue;
    extension->AddPages([](HPROPSHEETPAGE page, LPARAM list) {
      reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(list)->push_back(page);
      return TRUE;
    }, reinterpret_cast<LPARAM>(&pages));
    extensions.push_back(extension);
  }
  RegCloseKey(handlers);
  RegCloseKey(typeKey);
  if (pages.empty()) return Fail(L"no handler gave pages for " + path);
  const wchar_t* slash = std::wcsrchr(path.c_str(), L'\\');
  const std::wstring caption = std::wstring(slash != nullptr ? slash + 1 : path.c_str()) + L" Properties";
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_DEFAULT;
  header.pszCaption = caption.c_str();
  header.nPages = static_cast<UINT>(pages.size());
  header.phpage = pages.data();
  PropertySheetW(&header);
  return 0;
}

// Runs the command line as it stands, as the shell runs a registered command, to its end.
int Start(std::wstring commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return Fail(L"cannot start " + commandLine);
  WaitForSingleObject(process.hProcess, 120000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 3) return Fail(kUsage);
  const std::wstring verb = argv[1], first = argv[2];
  auto seconds = [&](int at) { return argc > at ? static_cast<DWORD>(_wtoi(argv[at])) : 60u; };
  if (verb == L"wait") return WaitTitled(first, seconds(3)) ? 0 : Fail(L"no window \"" + first + L"\"");
  if (verb == L"gone")
    return WaitUntil([&] { return FindTitled(first) == nullptr; }, seconds(3)) ? 0 : Fail(L"\"" + first + L"\" stays");
  if (verb == L"find") {
    HWND window = FindTitled(first, true);
    if (window == nullptr) return Fail(L"no window ending \"" + first + L"\"");
    std::wprintf(L"%ls\n", TextOf(window).c_str());
    return 0;
  }
  if (verb == L"open")
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", first.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32
               ? 0 : Fail(L"the shell cannot open " + first);
  if (verb == L"sendto") return argc > 3 ? SendTo(first, argv[3]) : Fail(kUsage);
  if (verb == L"start") return Start(first);
  if (verb == L"job") return Job(first);
  if (verb == L"properties") return Properties(first);

  HWND window = WaitTitled(first);
  if (window == nullptr) return Fail(L"no window \"" + first + L"\"");
  if (verb == L"front") {
    // What a click on its title does.
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
    return 0;
  }
  if (verb == L"close") {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
  }
  if (verb == L"texts") {
    for (const std::wstring& text : StaticTexts(window)) std::wprintf(L"%ls\n", text.c_str());
    return 0;
  }
  if (argc < 4) return Fail(kUsage);
  const std::wstring second = argv[3];
  if (verb == L"sheet") {
    const int button = second == L"next" ? PSBTN_NEXT : second == L"back" ? PSBTN_BACK
                     : second == L"finish" ? PSBTN_FINISH : second == L"cancel" ? PSBTN_CANCEL : -1;
    if (button < 0) return Fail(kUsage);
    PostMessageW(window, PSM_PRESSBUTTON, button, 0);
    return 0;
  }
  if (verb == L"command") {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(_wtoi(second.c_str()), 0), 0);
    return 0;
  }
  HWND control = nullptr;
  WaitUntil([&] { return (control = FindControl(window, _wtoi(second.c_str()))) != nullptr; }, 30);
  if (control == nullptr) return Fail(L"\"" + first + L"\" has no control " + second);
  if (verb == L"click") {
    PostMessageW(control, BM_CLICK, 0, 0);
    return 0;
  }
  if (verb == L"check") {
    SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
    return 0;
  }
  if (verb == L"type" && argc >= 5) {
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
    return 0;
  }
  if (verb == L"select" && argc >= 5) return SelectRow(control, _wtoi(argv[4])) ? 0 : Fail(L"cannot select the row");
  return Fail(kUsage);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitialize(nullptr))) return Fail(L"no COM");
  const int code = Run(argc, argv);
  CoUninitialize();
  return code;
}
