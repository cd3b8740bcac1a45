#include "Registration.h"

#include <oleauto.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "ShellModule.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

// {35A611DD-A4B2-4292-9AD1-4BCD35371423}
const CLSID CLSID_ArchiveSendToTarget = {0x35a611dd, 0xa4b2, 0x4292, {0x9a, 0xd1, 0x4b, 0xcd, 0x35, 0x37, 0x14, 0x23}};

namespace {

// What unregistration does with a row: delete the key with everything below it, delete the row's
// value only, or nothing (a key of the shell's that ours lie under, or an entry inside a key of
// ours that goes with it).
enum class Removal { kTree, kValue, kKeep };

struct RegistryRow {
  HKEY root;
  const wchar_t* key;   // may hold the placeholders below
  const wchar_t* name;  // null: the key's default value
  DWORD type;           // REG_SZ, REG_DWORD, or REG_NONE for a key without a value
  const wchar_t* text;
  DWORD number;
  Removal removal;
  const CLSID* needs;   // written only when this class is built (null: always)
};

// Placeholders: %MODULE% the module's path; %FOLDER%, %SHELLEXT%, %DROPTARGET% and %SENDTO% the
// class identifiers in braces.
const RegistryRow kShellRows[] = {
    {HKEY_CLASSES_ROOT, L".crn", nullptr, REG_SZ, L"Cairn Archive", 0, Removal::kTree, nullptr},
    {HKEY_CLASSES_ROOT, L".crn\\ShellNew", L"Command", REG_SZ,
     L"rundll32.exe %MODULE%,DllCreateArchive %1!d! %2", 0, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L".crnSendToTarget", nullptr, REG_SZ, L"CLSID\\%SENDTO%", 0, Removal::kTree, nullptr},

    {HKEY_CLASSES_ROOT, L"Cairn Archive", nullptr, REG_SZ, L"Cairn Archive", 0, Removal::kTree, nullptr},
    {HKEY_CLASSES_ROOT, L"Cairn Archive\\CLSID", nullptr, REG_SZ, L"%FOLDER%", 0, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"Cairn Archive\\Shell\\Explore\\command", nullptr, REG_SZ, L"explorer /e,/root,%FOLDER%,%1",
     0, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"Cairn Archive\\Shell\\Open\\command", nullptr, REG_SZ, L"explorer /root,%FOLDER%,%1", 0,
     Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"Cairn Archive\\ShellEx\\ContextMenuHandlers\\Archive Folder Menu", nullptr, REG_SZ,
     L"%SHELLEXT%", 0, Removal::kKeep, &CLSID_CairnShellExt},
    {HKEY_CLASSES_ROOT, L"Cairn Archive\\ShellEx\\CopyHookHandlers\\Archive CopyHook", nullptr, REG_SZ, L"%SHELLEXT%",
     0, Removal::kKeep, &CLSID_CairnShellExt},
    {HKEY_CLASSES_ROOT, L"Cairn Archive\\ShellEx\\PropertySheetHandlers\\Archive Properties", nullptr, REG_SZ,
     L"%SHELLEXT%", 0, Removal::kKeep, &CLSID_CairnShellExt},
    {HKEY_CLASSES_ROOT, L"Cairn Archive\\ShellEx\\DropHandler", nullptr, REG_SZ, L"%DROPTARGET%", 0, Removal::kKeep,
     &CLSID_CairnDropTarget},

    {HKEY_CLASSES_ROOT, L"exefile\\ShellEx", nullptr, REG_NONE, nullptr, 0, Removal::kKeep, &CLSID_CairnShellExt},
    {HKEY_CLASSES_ROOT, L"exefile\\ShellEx\\ContextMenuHandlers", nullptr, REG_NONE, nullptr, 0, Removal::kKeep,
     &CLSID_CairnShellExt},
    {HKEY_CLASSES_ROOT, L"exefile\\ShellEx\\ContextMenuHandlers\\Archive Folder Menu", nullptr, REG_SZ,
     L"%SHELLEXT%", 0, Removal::kTree, &CLSID_CairnShellExt},
    {HKEY_CLASSES_ROOT, L"exefile\\ShellEx\\PropertySheetHandlers", nullptr, REG_NONE, nullptr, 0, Removal::kKeep,
     &CLSID_CairnShellExt},
    {HKEY_CLASSES_ROOT, L"exefile\\ShellEx\\PropertySheetHandlers\\Archive Properties", nullptr, REG_SZ,
     L"%SHELLEXT%", 0, Removal::kTree, &CLSID_CairnShellExt},

    // The folder class's key is written (whole) with the class; these entries join it.
    {HKEY_CLASSES_ROOT, L"CLSID\\%FOLDER%", L"InfoTop", REG_SZ,
     L"Cairn Archive. Put your folders and file in here to revision", 0, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"CLSID\\%FOLDER%\\DefaultIcon", nullptr, REG_SZ, L"%MODULE%", 0, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"CLSID\\%FOLDER%\\Options", L"RunWizard", REG_DWORD, nullptr, 1, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"CLSID\\%FOLDER%\\ShellFolder", L"CallForAttributes", REG_SZ, L"", 0, Removal::kKeep,
     nullptr},

    {HKEY_CLASSES_ROOT, L"CLSID\\%SENDTO%", nullptr, REG_SZ, L"Archive SendTo Target", 0, Removal::kTree, nullptr},
    {HKEY_CLASSES_ROOT, L"CLSID\\%SENDTO%", L"NeverShowExt", REG_SZ, L"", 0, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"CLSID\\%SENDTO%\\DefaultIcon", nullptr, REG_SZ, L"%MODULE%", 0, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"CLSID\\%SENDTO%\\InprocServer32", nullptr, REG_SZ, L"%MODULE%", 0, Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"CLSID\\%SENDTO%\\InprocServer32", L"ThreadingModel", REG_SZ, L"Apartment", 0,
     Removal::kKeep, nullptr},
    {HKEY_CLASSES_ROOT, L"CLSID\\%SENDTO%\\ShellEx\\DropHandler", nullptr, REG_SZ, L"%DROPTARGET%", 0,
     Removal::kKeep, &CLSID_CairnDropTarget},

    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", L"%FOLDER%",
     REG_SZ, L"Cairn Archive", 0, Removal::kValue, nullptr},
};

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring Expand(const wchar_t* text, const std::wstring& modulePath) {
  std::wstring out = text != nullptr ? text : L"";
  const std::pair<const wchar_t*, std::wstring> tokens[] = {
      {L"%MODULE%", modulePath},
      {L"%FOLDER%", GuidText(CLSID_CairnFolder)},
      {L"%SHELLEXT%", GuidText(CLSID_CairnShellExt)},
      {L"%DROPTARGET%", GuidText(CLSID_CairnDropTarget)},
      {L"%SENDTO%", GuidText(CLSID_ArchiveSendToTarget)},
  };
  for (const auto& token : tokens)
    for (size_t at = out.find(token.first); at != std::wstring::npos; at = out.find(token.first, at + token.second.size()))
      out.replace(at, wcslen(token.first), token.second);
  return out;
}

bool Built(const CLSID* clsid) {
  if (clsid == nullptr) return true;
  size_t count = 0;
  const ShellClass* classes = ShellClasses(&count);
  for (size_t i = 0; i < count; ++i)
    if (IsEqualCLSID(*classes[i].clsid, *clsid)) return true;
  return false;
}

LSTATUS DeleteTree(HKEY root, const std::wstring& path) {
  LSTATUS status = RegDeleteTreeW(root, path.c_str());
  if (status == ERROR_SUCCESS) status = RegDeleteKeyW(root, path.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS Write(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const std::wstring& text,
              DWORD number) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                                   nullptr);
  if (status != ERROR_SUCCESS) return status;
  if (type == REG_SZ)
    status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  else if (type == REG_DWORD)
    status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegCloseKey(key);
  return status;
}

// The rows of one class: its ProgIDs and its class key, which registration replaces whole.
std::vector<RegistryRow> ClassRows(const ShellClass& entry, std::vector<std::wstring>& texts) {
  const std::wstring progId = std::wstring(L"Nsx12.") + entry.name + L".1";
  const std::wstring independent = std::wstring(L"Nsx12.") + entry.name;
  const std::wstring clsidKey = L"CLSID\\" + GuidText(*entry.clsid);
  const std::wstring description = std::wstring(entry.name) + L" Class";
  const size_t first = texts.size();
  for (const std::wstring& text :
       {progId, independent, clsidKey, description, GuidText(*entry.clsid), progId + L"\\CLSID", independent + L"\\CLSID",
        independent + L"\\CurVer", clsidKey + L"\\ProgID", clsidKey + L"\\VersionIndependentProgID",
        clsidKey + L"\\InprocServer32", clsidKey + L"\\TypeLib", GuidText(LIBID_NSX12Lib)})
    texts.push_back(text);
  auto t = [&](size_t i) { return texts[first + i].c_str(); };
  const HKEY hkcr = HKEY_CLASSES_ROOT;
  return {
      {hkcr, t(0), nullptr, REG_SZ, t(3), 0, Removal::kTree, nullptr},
      {hkcr, t(5), nullptr, REG_SZ, t(4), 0, Removal::kKeep, nullptr},
      {hkcr, t(1), nullptr, REG_SZ, t(3), 0, Removal::kTree, nullptr},
      {hkcr, t(6), nullptr, REG_SZ, t(4), 0, Removal::kKeep, nullptr},
      {hkcr, t(7), nullptr, REG_SZ, t(0), 0, Removal::kKeep, nullptr},
      {hkcr, t(2), nullptr, REG_SZ, t(3), 0, Removal::kTree, nullptr},
      {hkcr, t(8), nullptr, REG_SZ, t(0), 0, Removal::kKeep, nullptr},
      {hkcr, t(9), nullptr, REG_SZ, t(1), 0, Removal::kKeep, nullptr},
      {hkcr, t(10), nullptr, REG_SZ, L"%MODULE%", 0, Removal::kKeep, nullptr},
      {hkcr, t(10), L"ThreadingModel", REG_SZ, L"Apartment", 0, Removal::kKeep, nullptr},
      {hkcr, t(11), nullptr, REG_SZ, t(12), 0, Removal::kKeep, nullptr},
  };
}

// Every row: the classes first (their keys replaced whole), then the shell integration.
std::vector<RegistryRow> AllRows(std::vector<std::wstring>& texts) {
  std::vector<RegistryRow> rows;
  size_t count = 0;
  const ShellClass* classes = ShellClasses(&count);
  texts.reserve(count * 13);  // the rows point into texts
  for (size_t i = 0; i < count; ++i) {
    const std::vector<RegistryRow> classRows = ClassRows(classes[i], texts);
    rows.insert(rows.end(), classRows.begin(), classRows.end());
  }
  rows.insert(rows.end(), std::begin(kShellRows), std::end(kShellRows));
  return rows;
}

void Remove(const std::vector<RegistryRow>& rows, size_t count) {
  for (size_t i = count; i-- > 0;) {
    const RegistryRow& row = rows[i];
    const std::wstring key = Expand(row.key, L"");
    if (row.removal == Removal::kTree) {
      DeleteTree(row.root, key);
    } else if (row.removal == Removal::kValue) {
      const std::wstring name = Expand(row.name, L"");
      HKEY opened = nullptr;
      if (RegOpenKeyExW(row.root, key.c_str(), 0, KEY_SET_VALUE, &opened) == ERROR_SUCCESS) {
        RegDeleteValueW(opened, name.c_str());
        RegCloseKey(opened);
      }
    }
  }
}

}  // namespace

HRESULT RegisterShellServer(const wchar_t* modulePath) {
  std::vector<std::wstring> texts;
  const std::vector<RegistryRow> rows = AllRows(texts);
  const std::wstring module = modulePath;
  for (size_t i = 0; i < rows.size(); ++i) {
    const RegistryRow& row = rows[i];
    if (!Built(row.needs)) continue;
    const std::wstring key = Expand(row.key, module);
    LSTATUS status = row.removal == Removal::kTree ? DeleteTree(row.root, key) : ERROR_SUCCESS;
    const std::wstring name = Expand(row.name, module);
    if (status == ERROR_SUCCESS)
      status = Write(row.root, key, row.name != nullptr ? name.c_str() : nullptr, row.type, Expand(row.text, module),
                     row.number);
    if (status != ERROR_SUCCESS) {
      Remove(rows, i + 1);
      return HRESULT_FROM_WIN32(status);
    }
  }
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(modulePath, REGKIND_NONE, library.Out());
  if (SUCCEEDED(hr)) hr = RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(modulePath), nullptr);
  if (FAILED(hr)) Remove(rows, rows.size());
  return hr;
}

HRESULT UnregisterShellServer() {
  std::vector<std::wstring> texts;
  const std::vector<RegistryRow> rows = AllRows(texts);
  Remove(rows, rows.size());
  UnRegisterTypeLib(LIBID_NSX12Lib, 1, 0, 0x409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  return S_OK;
}

}  // namespace shell
}  // namespace cairn
