#include "CairnDataObject.h"

#include <vector>

#include "AnsiText.h"
#include "ArchiveFolder.h"
#include "DropFiles.h"
#include "FileList.h"
#include "RestoreNames.h"
#include "TemporaryFiles.h"

namespace cairn {
namespace shell {
namespace {

// The folder of the temporary folder that items' files are written to: what is written there
// replaces only what the extension wrote there before.
constexpr char kTransferFolder[] = "Cairn";

bool Offered(const FORMATETC* format) {
  return format->ptd == nullptr && format->lindex == -1 && format->dwAspect == DVASPECT_CONTENT &&
         (format->tymed & TYMED_HGLOBAL) &&
         (format->cfFormat == FileListFormat().cfFormat || format->cfFormat == kOwnDataMarker);
}

// The folder the files are written to, made when missing; empty when it cannot be had.
std::string TransferFolder() {
  char temp[MAX_PATH];
  const DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return std::string();
  const std::string folder = std::string(temp, n) + kTransferFolder;
  CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? folder + "\\"
                                                                                            : std::string();
}

}  // namespace

STDMETHODIMP CairnDataObject::Initialize(HWND owner, ICairnFolder* folder, _ITEM* items) {
  if (folder == nullptr) return E_INVALIDARG;
  FolderLevel level;
  HRESULT hr = LevelOf(folder, &level);
  if (FAILED(hr)) return hr;
  CPidl list;
  hr = list.SetPidl(reinterpret_cast<LPCITEMIDLIST>(items), true, kMaxContentsItems);
  if (FAILED(hr)) return hr;
  if (list.Empty()) return E_INVALIDARG;
  items_ = std::move(list);
  source_ = level.Operations();
  names_ = level.names;
  owner_ = owner;
  return S_OK;
}

STDMETHODIMP CairnDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_POINTER;
  *medium = {};
  const std::optional<std::vector<Item>> items = ReadItems(items_.Get(), kMaxContentsItems);
  if (!Offered(format) || format->cfFormat != FileListFormat().cfFormat || !items || items->empty()) return E_NOTIMPL;
  const std::string folder = TransferFolder();
  if (folder.empty()) return E_UNEXPECTED;
  // Each file is named after the last component of its stored name, which must be a plain file
  // name: anything else could write outside the folder or open a device. The list is in the code
  // page, so a name it cannot hold is not given.
  std::vector<std::string> paths;
  for (const Item& item : *items) {
    const std::wstring name = LastComponent(names_.Wide(item.name));
    const std::string path = folder + ToAnsi(name.c_str());
    if (!IsSafeFileName(name) || FromAnsi(ToAnsi(name.c_str())) != name || path.size() >= MAX_PATH)
      return E_UNEXPECTED;
    paths.push_back(path);
  }
  const HRESULT hr = WriteFiles(paths);
  if (FAILED(hr)) return hr;
  GlobalMemory block = DropFilesBlock(paths);
  if (!block) return E_OUTOFMEMORY;
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = block.Detach();
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

HRESULT CairnDataObject::WriteFiles(const std::vector<std::string>& paths) {
  if (!source_) return S_OK;
  const std::optional<std::vector<Item>> items = ReadItems(items_.Get(), kMaxContentsItems);
  for (size_t i = 0; i < paths.size(); ++i) {
    ComPtr<ICairnObject> object = source_->FindObject(std::string((*items)[i].name));
    // A folder written there before is replaced whole; a file is overwritten.
    RemoveFolderTree(paths[i]);
    if (!object || !source_->ExtractObject(object.Get(), paths[i], ExtractOptions{true, true, true}))
      return E_UNEXPECTED;
  }
  // Written: later calls give the list alone.
  source_.reset();
  return S_OK;
}

STDMETHODIMP CairnDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP CairnDataObject::QueryGetData(FORMATETC* format) {
  if (format == nullptr) return E_POINTER;
  return Offered(format) ? S_OK : E_NOTIMPL;
}

STDMETHODIMP CairnDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* canonical) {
  if (canonical != nullptr) canonical->ptd = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnDataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP CairnDataObject::EnumFormatEtc(DWORD, IEnumFORMATETC** formats) {
  if (formats == nullptr) return E_POINTER;
  *formats = nullptr;
  FORMATETC offered[] = {FileListFormat(), OwnDataMarkerFormat()};
  ComPtr<IObjFormats> enumerator;
  HRESULT hr = CoCreateInstance(CLSID_ObjFormats, nullptr, CLSCTX_INPROC_SERVER, IID_IObjFormats,
                                enumerator.OutVoid());
  if (SUCCEEDED(hr)) hr = enumerator->Initialize(2, offered);
  if (FAILED(hr)) return hr;
  return enumerator->QueryInterface(IID_IEnumFORMATETC, reinterpret_cast<void**>(formats));
}

STDMETHODIMP CairnDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP CairnDataObject::DUnadvise(DWORD) { return E_NOTIMPL; }
STDMETHODIMP CairnDataObject::EnumDAdvise(IEnumSTATDATA**) { return E_NOTIMPL; }

}  // namespace shell
}  // namespace cairn
