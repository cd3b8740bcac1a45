#include "CairnShellExt.h"

#include <shellapi.h>

#include <cstring>
#include <optional>
#include <vector>

#include "AnsiText.h"
#include "ArchiveFolder.h"
#include "CheckResource.h"
#include "ArchiveOperations.h"
#include "FileList.h"
#include "MenuMerge.h"
#include "SelfExtracting.h"
#include "SettingsPage.h"
#include "ViewResource.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// Offsets 0 to 80 are the archive file's menu's: 81 is the code of its success.
constexpr UINT kFileMenuOffsets = ID_CHECK_ARCHIVE + 1;
constexpr char kRenameVerb[] = "rename";

// The file classes the extension's menu and pages serve.
constexpr char kArchiveClass[] = "Cairn Archive";
constexpr char kProgramClass[] = "Application";

// The default value of the class's key; empty when it cannot be read.
std::string ClassName(HKEY progId) {
  char name[MAX_PATH] = {};
  DWORD size = sizeof name - 1, type = 0;
  if (progId == nullptr ||
      RegQueryValueExA(progId, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(name), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::string();
  return std::string(name, strnlen(name, size));
}

}  // namespace

CairnShellExt::~CairnShellExt() {
  folder_.Reset();
  com_.reset();
}

STDMETHODIMP CairnShellExt::InitializeExt(ICairnFolder* folder, _ITEM** lists, int) {
  if (folder == nullptr) return E_INVALIDARG;
  FolderLevel level;
  const HRESULT hr = LevelOf(folder, &level);
  if (FAILED(hr)) return hr;
  folder_ = ComPtr<ICairnFolder>(folder);
  level_ = std::move(level);
  archivePath_ = level_.archivePath;
  // The first item, when it is one of ours: a list given back by the shell is checked first.
  item_.Reset();
  if (lists != nullptr && FirstItem(reinterpret_cast<LPCITEMIDLIST>(lists[0])))
    item_.SetPidl(reinterpret_cast<LPCITEMIDLIST>(lists[0]), true, 1);
  return S_OK;
}

HRESULT CairnShellExt::HoldFolder() {
  if (folder_) return S_OK;
  if (archivePath_.empty()) return E_FAIL;
  if (!com_) com_.emplace();
  ComPtr<ICairnFolder> folder;
  ComPtr<IArchiveFolder> archiveFolder;
  FolderLevel level;
  HRESULT hr = CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnFolder, folder.OutVoid());
  if (SUCCEEDED(hr)) hr = folder->FolderInitialize(const_cast<char*>(archivePath_.c_str()), nullptr);
  if (SUCCEEDED(hr)) hr = folder.As(&archiveFolder);
  if (SUCCEEDED(hr)) hr = archiveFolder->GetLevel(&level);
  if (FAILED(hr)) return E_FAIL;
  folder_ = folder;
  level_ = std::move(level);
  return S_OK;
}

STDMETHODIMP CairnShellExt::AddPages(LPFNSVADDPROPSHEETPAGE add, LPARAM parameter) {
  return AddSettingsPages(archivePath_, add, parameter);
}

STDMETHODIMP CairnShellExt::ReplacePage(EXPPS, LPFNSVADDPROPSHEETPAGE, LPARAM) { return E_NOTIMPL; }

STDMETHODIMP CairnShellExt::QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last, UINT) {
  if (menu == nullptr) return E_INVALIDARG;
  return folder_ ? AddItemMenu(menu, first, last) : AddFileMenu(menu, index, first);
}

HRESULT CairnShellExt::AddItemMenu(HMENU menu, UINT first, UINT last) {
  const UINT next = MergeMenuResource(menu, 0, IDM_FOLDER_ITEM, 0, first, last, true);
  SetMenuDefaultItem(menu, first + ID_RESTORE, FALSE);
  const auto enable = [menu, first](UINT command, bool on) {
    EnableMenuItem(menu, first + command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  };
  for (UINT command : {ID_EXPLORE, ID_OPEN, ID_RESTORE, ID_PROPERTIES, ID_SNAPSHOT, ID_COPY, ID_SELECT_ALL,
                       ID_INVERT_SELECTION})
    enable(command, true);
  SFGAOF abilities = SFGAO_CANDELETE | SFGAO_CANRENAME;
  ComPtr<IShellFolder> folder;
  LPCITEMIDLIST item = item_.Get();
  const bool known = item != nullptr && SUCCEEDED(folder_.As(&folder)) &&
                     SUCCEEDED(folder->GetAttributesOf(1, &item, &abilities));
  enable(ID_DELETE, known && (abilities & SFGAO_CANDELETE));
  enable(ID_RENAME, known && (abilities & SFGAO_CANRENAME));
  enable(ID_UNDO, false);
  enable(ID_PASTE_SHORTCUT, false);
  enable(ID_PASTE, ClipboardOffersFilesToAdd());
  // The code counts the identifiers used from `first` on, as the shell hands out the next range.
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, next > first ? next - first : 0);
}

HRESULT CairnShellExt::AddFileMenu(HMENU menu, UINT index, UINT first) {
  const std::string snapshot = ShellString(IDS_TIP_SNAPSHOT), restoreLatest = ShellString(IDS_TIP_RESTORE_LATEST);
  if (archivePath_.empty()) return E_FAIL;
  if (!InsertMenuA(menu, index, MF_BYPOSITION | MF_STRING, first + ID_SNAPSHOT, snapshot.c_str()) ||
      !InsertMenuA(menu, index + 1, MF_BYPOSITION | MF_STRING, first + ID_RESTORE_LATEST, restoreLatest.c_str()))
    return E_FAIL;
  const bool selfExtracting = IsSelfExtractingFile(FromAnsi(archivePath_).c_str());
  const std::string convert = ShellString(selfExtracting ? IDS_TIP_MAKE_ARCHIVE : IDS_TIP_MAKE_SFX);
  InsertMenuA(menu, index + 2, MF_BYPOSITION | MF_STRING, first + (selfExtracting ? ID_MAKE_ARCHIVE : ID_MAKE_SFX),
              convert.c_str());
  InsertMenuA(menu, index + 3, MF_BYPOSITION | MF_STRING, first + ID_CHECK_ARCHIVE, ShellString(IDS_TIP_CHECK).c_str());
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, kFileMenuOffsets);
}

STDMETHODIMP CairnShellExt::GetCommandString(UINT_PTR offset, UINT kind, UINT*, CHAR* name, UINT size) {
  if (name == nullptr || size == 0) return E_INVALIDARG;
  switch (kind) {
    case GCS_VERBA:
      if (offset != ID_RENAME) return E_NOTIMPL;
      lstrcpynA(name, kRenameVerb, static_cast<int>(size));
      return S_OK;
    case GCS_VERBW:
      if (offset != ID_RENAME) return E_NOTIMPL;
      lstrcpynW(reinterpret_cast<wchar_t*>(name), L"rename", static_cast<int>(size));
      return S_OK;
    case GCS_HELPTEXTA: {
      UINT text = 0;
      switch (offset) {
        case ID_MAKE_SFX: text = IDS_HELP_MAKE_SFX; break;
        case ID_MAKE_ARCHIVE: text = IDS_HELP_MAKE_ARCHIVE; break;
        case ID_SNAPSHOT: text = IDS_HELP_SNAPSHOT; break;
        case ID_RESTORE_LATEST: text = IDS_HELP_RESTORE_LATEST; break;
        case ID_CHECK_ARCHIVE: text = IDS_HELP_CHECK; break;
        default: return E_NOTIMPL;
      }
      lstrcpynA(name, ShellString(text).c_str(), static_cast<int>(size));
      return S_OK;
    }
    default:
      return E_NOTIMPL;
  }
}

STDMETHODIMP CairnShellExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY progId) {
  if (data == nullptr) return E_FAIL;
  std::vector<std::wstring> paths;
  const HRESULT hr = ReadFileList(data, &paths);
  if (FAILED(hr) && hr != kUnsoundFileList) return hr;  // a list that is not sound names no archive
  const std::string type = ClassName(progId);
  const bool program = lstrcmpiA(type.c_str(), kProgramClass) == 0;
  if (program || lstrcmpiA(type.c_str(), kArchiveClass) == 0) {
    archivePath_.clear();
    // The extension keeps an archive's path in the code page: one it cannot hold is none of ours.
    const std::string path = paths.size() == 1 ? ToAnsi(paths.front().c_str()) : std::string();
    if (!path.empty() && path.size() < MAX_PATH && FromAnsi(path) == paths.front()) {
      archivePath_ = path;
      // An ordinary program gets no menu and no pages.
      if (program && !IsSelfExtractingFile(FromAnsi(archivePath_).c_str())) archivePath_.clear();
    }
  }
  return S_OK;
}

}  // namespace shell
}  // namespace cairn
