// The commands of the context menu: InvokeCommand and what each command does.
#include "CairnShellExt.h"

#include <shellapi.h>

#include <memory>
#include <optional>
#include <vector>

#include "DeleteConfirmation.h"
#include "ItemProperties.h"
#include "MenuWork.h"
#include "RestoreDialog.h"
#include "ViewResource.h"

namespace cairn {
namespace shell {
namespace {

constexpr CLIPFORMAT kOwnDataMarker = 4;
constexpr char kLauncher[] = "\\sfxstub.exe";

// Shows the wait cursor while it lives, and the previous one again after.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

bool IsCommand(UINT offset) {
  switch (offset) {
    case ID_OPEN: case ID_RESTORE: case ID_MAKE_SFX: case ID_MAKE_ARCHIVE: case ID_RENAME: case ID_PROPERTIES:
    case ID_SNAPSHOT: case ID_COPY: case ID_PASTE: case ID_EXPLORE: case ID_RESTORE_LATEST: case ID_DELETE:
      return true;
    default:
      return false;
  }
}

}  // namespace

STDMETHODIMP CairnShellExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  if (info == nullptr) return E_INVALIDARG;
  // A verb given by name (the high word of lpVerb set) is none of ours.
  if (HIWORD(reinterpret_cast<UINT_PTR>(info->lpVerb)) != 0) return E_INVALIDARG;
  const UINT offset = LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb));
  if (!IsCommand(offset)) return E_INVALIDARG;
  const WaitCursor wait;
  owner_ = info->hwnd;
  return Run(offset, *info);
}

HRESULT CairnShellExt::Run(UINT offset, const CMINVOKECOMMANDINFO& info) {
  switch (offset) {
    case ID_OPEN:
      return Execute(nullptr, archivePath_.c_str(), nullptr, info);
    case ID_EXPLORE:
      return Execute("explore", archivePath_.c_str(), nullptr, info);
    case ID_MAKE_SFX:
    case ID_MAKE_ARCHIVE:
      return Convert(info);
    case ID_RENAME:
      return S_OK;  // the shell's view edits the name itself
    case ID_SNAPSHOT:
      if (FAILED(HoldFolder())) return E_FAIL;
      return StartMenuSnapshot(level_.Operations(), owner_) ? S_OK : E_FAIL;
    case ID_RESTORE_LATEST:
      if (FAILED(HoldFolder())) return E_FAIL;
      return StartRestoreLatest(ArchiveOperations(level_.archivePath, {})) ? S_OK : E_FAIL;
    case ID_COPY:
      return Copy();
    case ID_PASTE:
      return Paste();
    case ID_DELETE:
      return Delete();
    case ID_RESTORE:
      return Restore();
    case ID_PROPERTIES:
      return Properties();
    default:
      return E_INVALIDARG;
  }
}

HRESULT CairnShellExt::Execute(const char* verb, const char* file, const char* parameters,
                               const CMINVOKECOMMANDINFO& info) const {
  const auto result =
      reinterpret_cast<INT_PTR>(ShellExecuteA(owner_, verb, file, parameters, info.lpDirectory, info.nShow));
  return result > 32 ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Convert(const CMINVOKECOMMANDINFO& info) const {
  // The launcher converts: the archive's path is its whole command line, unquoted.
  char system[MAX_PATH];
  const UINT n = GetSystemDirectoryA(system, MAX_PATH);
  if (n == 0 || n + sizeof kLauncher > MAX_PATH || archivePath_.empty()) return E_FAIL;
  return Execute(nullptr, (std::string(system, n) + kLauncher).c_str(), archivePath_.c_str(), info);
}

HRESULT CairnShellExt::Restore() {
  const std::optional<Item> item = FirstItem(item_.Get());
  ComPtr<IShellFolder> folder;
  if (!item || FAILED(folder_.As(&folder))) return E_FAIL;
  const std::vector<std::string> names = {std::string(item->name)};
  const ArchiveOperations operations = level_.Operations();
  RestoreRequest request;
  const INT_PTR result = ShowRestoreDialog(
      &request, owner_, folder.Get(), {item_.Get()},
      [operations, names](const RestoreRequest& chosen, const RestoreProgress& progress,
                          const RestoreStop& stop) {
        return operations.RestoreItems(names, chosen.target, chosen.Options(), progress, stop);
      });
  if (result == 1) return request.restored ? S_OK : E_FAIL;
  // Cancelled, or a snapshot without objects: nothing to restore, and no dialog.
  return result == 0 && !request.items.empty() ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Properties() {
  ComPtr<IShellFolder> folder;
  if (item_.Get() == nullptr || FAILED(HoldFolder()) || FAILED(folder_.As(&folder))) return E_FAIL;
  const std::unique_ptr<ItemProperties> sheet = ItemProperties::Create(folder.Get(), {item_.Get()});
  // The sheet is modal: it is gone when Show returns. A comment changed there reaches the shell
  // through the folder.
  return sheet && sheet->Show(owner_) >= 0 ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Copy() {
  ComPtr<IShellFolder> folder;
  ComPtr<IDataObject> data;
  LPCITEMIDLIST item = item_.Get();
  if (item == nullptr || FAILED(folder_.As(&folder)) ||
      FAILED(folder->GetUIObjectOf(nullptr, 1, &item, IID_IDataObject, nullptr, data.OutVoid())) || !data)
    return E_FAIL;
  return SUCCEEDED(OleSetClipboard(data.Get())) ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Paste() {
  ComPtr<IDataObject> data;
  if (FAILED(OleGetClipboard(data.Out())) || !data) return E_FAIL;
  // Items copied out of an archive are not added to one.
  FORMATETC marker = {kOwnDataMarker, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  if (data->QueryGetData(&marker) == S_OK) return E_FAIL;
  FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (FAILED(data->GetData(&files, &medium))) return E_FAIL;
  // The paths are taken now and the medium is released here, whatever becomes of the worker.
  std::optional<std::vector<std::string>> paths =
      medium.tymed == TYMED_HGLOBAL ? DroppedPaths(medium.hGlobal) : std::nullopt;
  ReleaseStgMedium(&medium);
  if (!paths || paths->empty() || FAILED(HoldFolder())) return E_FAIL;
  return StartMenuPaste(level_.Operations(), std::move(*paths), owner_) ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Delete() {
  const std::optional<Item> item = FirstItem(item_.Get());
  if (!item || FAILED(HoldFolder())) return E_FAIL;
  const std::string name(item->name);
  if (!ConfirmDelete(owner_, level_.AtRoot(), {name})) return S_OK;
  return StartMenuDelete(level_.Operations(), name, owner_) ? S_OK : E_FAIL;
}

}  // namespace shell
}  // namespace cairn
