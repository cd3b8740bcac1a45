#include "CairnDropTarget.h"

#include <shellapi.h>
#include <shlobj.h>

#include <utility>

#include "AnsiText.h"
#include "ArchiveFolder.h"
#include "ArchiveWork.h"
#include "FileList.h"
#include "IdList.h"
#include "NewArchive.h"
#include "SelfExtracting.h"

namespace cairn {
namespace shell {
namespace {

// The file in the Send To folder whose type makes the "Cairn Archive" entry.
constexpr wchar_t kSendToEntry[] = L"Cairn Archive.crnSendToTarget";
constexpr char kArchiveTypeName[] = "Cairn Archive";
constexpr char kArchiveExtension[] = ".crn";
// The command the New menu gives DllCreateArchive: a number and the path.
constexpr char kCreateCommand[] = "999 ";

// A drop's worker: no window is told, as a drop target of a file has none.
bool AddOnWorker(const ArchiveOperations& archive, std::vector<std::wstring> paths) {
  WorkOrder order;
  order.operations = archive;
  return StartDropped(order, std::move(paths));
}

// True when an archive is at the path: the shell binds the file as the extension's folder, or,
// where it does not bind through files, names its type as the archive type.
bool ArchiveExists(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  ComPtr<IShellFolder> desktop, parent;
  IdList parentList, item;
  ComPtr<IPersistFolder> bound;
  CLSID clsid = CLSID_NULL;
  const std::wstring folder = FromAnsi(path.substr(0, slash + 1)), name = FromAnsi(path.substr(slash + 1));
  if (slash != std::string::npos && SUCCEEDED(SHGetDesktopFolder(desktop.Out())) &&
      SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, const_cast<wchar_t*>(folder.c_str()), nullptr,
                                          parentList.Out(), nullptr)) &&
      SUCCEEDED(desktop->BindToObject(parentList.Get(), nullptr, IID_IShellFolder, parent.OutVoid())) &&
      SUCCEEDED(parent->ParseDisplayName(nullptr, nullptr, const_cast<wchar_t*>(name.c_str()), nullptr, item.Out(),
                                         nullptr)) &&
      SUCCEEDED(parent->BindToObject(item.Get(), nullptr, IID_IPersistFolder, bound.OutVoid())) &&
      SUCCEEDED(bound->GetClassID(&clsid)))
    return IsEqualCLSID(clsid, CLSID_CairnFolder);
  SHFILEINFOA info = {};
  return SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_TYPENAME) != 0 &&
         lstrcmpA(info.szTypeName, kArchiveTypeName) == 0;
}

}  // namespace

std::string SendToArchivePath(const std::string& firstPath) {
  const size_t slash = firstPath.find_last_of('\\');
  const std::string folder = slash == std::string::npos ? std::string() : firstPath.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? firstPath : firstPath.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return folder + (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + kArchiveExtension;
}

STDMETHODIMP CairnDropTarget::Initialize(ICairnFolder* folder, ICairnView* view) {
  if (folder == nullptr && view == nullptr) return E_INVALIDARG;
  ComPtr<IDropTarget> viewTarget;
  std::optional<ArchiveOperations> level;
  if (view != nullptr) {
    const HRESULT hr = view->QueryInterface(IID_IDropTarget, viewTarget.OutVoid());
    if (FAILED(hr)) return hr;
  }
  if (folder != nullptr) {
    FolderLevel shown;
    const HRESULT hr = LevelOf(folder, &shown);
    if (FAILED(hr)) return hr;
    level = shown.Operations();
  }
  view_ = viewTarget;
  folder_ = std::move(level);
  return S_OK;
}

STDMETHODIMP CairnDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  if (data == nullptr || effect == nullptr) return E_INVALIDARG;
  effect_ = OffersOwnData(data) ? DROPEFFECT_NONE : DROPEFFECT_COPY;
  *effect = effect_;
  return S_OK;
}

STDMETHODIMP CairnDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  *effect = effect_;
  return S_OK;
}

STDMETHODIMP CairnDropTarget::DragLeave() { return S_OK; }

std::optional<ArchiveOperations> CairnDropTarget::Target() const {
  if (folder_) return folder_;
  if (!targetPath_.empty() && NamesArchive(FromAnsi(targetPath_).c_str())) return ArchiveOperations(targetPath_, {});
  return std::nullopt;
}

STDMETHODIMP CairnDropTarget::Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) {
  if (data == nullptr || effect == nullptr) return E_INVALIDARG;
  *effect = DROPEFFECT_NONE;
  if (view_) return view_->Drop(data, keys, point, effect);
  if (OffersOwnData(data)) return E_FAIL;
  // The paths are taken now and the medium released, whatever becomes of the worker.
  std::optional<std::vector<std::wstring>> paths = FilesToAdd(data);
  if (!paths) {
    MessageBeep(0);
    return E_FAIL;
  }
  if (const std::optional<ArchiveOperations> archive = Target()) {
    if (!AddOnWorker(*archive, std::move(*paths))) {
      MessageBeep(0);
      return E_FAIL;
    }
  } else if (!targetPath_.empty() || !SendTo(std::move(*paths))) {
    // A file that is not an archive, or Send To's archive that cannot be had.
    return E_FAIL;
  }
  *effect = DROPEFFECT_COPY;
  return S_OK;
}

bool CairnDropTarget::SendTo(std::vector<std::wstring> paths) const {
  // The archive is named in the code page, after the first file: one it cannot hold names none.
  const std::string first = ToAnsi(paths.front().c_str());
  if (first.empty() || first.size() >= MAX_PATH || FromAnsi(first) != paths.front()) return false;
  const std::string archive = SendToArchivePath(first);
  if (archive.size() >= MAX_PATH) return false;
  if (!ArchiveExists(archive)) {
    CreateArchiveFromCommand(kCreateCommand + archive);
    if (!ArchiveExists(archive)) return false;
  }
  return AddOnWorker(ArchiveOperations(archive, {}), std::move(paths));
}

STDMETHODIMP CairnDropTarget::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_CairnDropTarget;
  return S_OK;
}

STDMETHODIMP CairnDropTarget::IsDirty() { return S_FALSE; }

STDMETHODIMP CairnDropTarget::Load(LPCOLESTR name, DWORD) {
  if (name == nullptr) return E_POINTER;
  if (folder_ || view_) return S_OK;
  const wchar_t* fileName = name;
  for (const wchar_t* at = name; *at != 0; ++at)
    if (*at == L'\\' || *at == L':') fileName = at + 1;
  if (lstrcmpiW(fileName, kSendToEntry) == 0) return S_OK;
  targetPath_ = ToAnsi(name);
  return S_OK;
}

STDMETHODIMP CairnDropTarget::Save(LPCOLESTR, BOOL) { return E_FAIL; }
STDMETHODIMP CairnDropTarget::SaveCompleted(LPCOLESTR) { return S_OK; }

STDMETHODIMP CairnDropTarget::GetCurFile(LPOLESTR* name) {
  if (name != nullptr) *name = nullptr;
  return E_FAIL;
}

}  // namespace shell
}  // namespace cairn
