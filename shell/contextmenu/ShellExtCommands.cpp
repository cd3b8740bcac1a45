// The commands of the context menu: InvokeCommand and what each command does.
#include "CairnShellExt.h"

#include <shellapi.h>

#include <optional>

#include "ArchiveWork.h"
#include "ItemVerbs.h"
#include "ViewResource.h"

namespace cairn {
namespace shell {
namespace {

constexpr char kLauncher[] = "\\sfxstub.exe";
// How long a menu's snapshot worker stays busy after its snapshot.
constexpr DWORD kSnapshotSettleMs = 1000;

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
    case ID_CHECK_ARCHIVE:
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
      return StartSnapshot(Order()) ? S_OK : E_FAIL;
    case ID_RESTORE_LATEST:
      if (FAILED(HoldFolder())) return E_FAIL;
      return StartRestoreLatest(ArchiveOperations(level_.archivePath, {})) ? S_OK : E_FAIL;
    case ID_CHECK_ARCHIVE:
      if (FAILED(HoldFolder())) return E_FAIL;
      return StartCheck(Order()) ? S_OK : E_FAIL;
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

WorkOrder CairnShellExt::Order() const {
  WorkOrder order;
  order.operations = level_.Operations();
  order.owner = owner_;
  order.tellShell = true;
  order.snapshotSettleMs = kSnapshotSettleMs;
  return order;
}

std::optional<Selection> CairnShellExt::Chosen() {
  ComPtr<IShellFolder> folder;
  if (item_.Get() == nullptr || FAILED(HoldFolder()) || FAILED(folder_.As(&folder))) return std::nullopt;
  return Selection::Of(folder.Get(), level_, {item_.Get()});
}

HRESULT CairnShellExt::Restore() {
  const std::optional<Selection> chosen = Chosen();
  return chosen && RestoreSelection(*chosen, owner_) ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Properties() {
  // The sheet is modal: it is gone when this returns. A comment changed there reaches the shell
  // through the folder.
  const std::optional<Selection> chosen = Chosen();
  bool commentChanged = false;
  return chosen && ShowSelectionProperties(*chosen, owner_, &commentChanged) ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Copy() {
  const std::optional<Selection> chosen = Chosen();
  return chosen && CopySelection(*chosen, nullptr) ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Paste() {
  if (FAILED(HoldFolder())) return E_FAIL;
  return StartPaste(Order()) ? S_OK : E_FAIL;
}

HRESULT CairnShellExt::Delete() {
  const std::optional<Selection> chosen = Chosen();
  return chosen && DeleteSelection(*chosen, Order()) ? S_OK : E_FAIL;
}

}  // namespace shell
}  // namespace cairn
