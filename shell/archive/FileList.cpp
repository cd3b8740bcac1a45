#include "FileList.h"

#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <utility>

#include "ComPtr.h"
#include "GlobalMemoryLock.h"
#include "StorageMedium.h"

namespace cairn {
namespace shell {
namespace {

// True when the block is a DROPFILES header followed, inside the block, by its list of names
// ending with an empty name: what the platform's DragQueryFile reads from it.
bool IsSoundDropList(const uint8_t* data, size_t size) {
  DROPFILES header;
  if (size < sizeof header) return false;
  std::memcpy(&header, data, sizeof header);
  const size_t unit = header.fWide ? sizeof(wchar_t) : 1;
  if (header.pFiles < sizeof header || header.pFiles >= size) return false;
  size_t length = 0;  // of the name being read
  for (size_t at = header.pFiles; at + unit <= size; at += unit) {
    const bool zero = data[at] == 0 && (unit == 1 || data[at + 1] == 0);
    if (!zero) {
      ++length;
      continue;
    }
    if (length == 0) return true;
    length = 0;
  }
  return false;
}

std::vector<std::wstring> DropPaths(HDROP drop) {
  std::vector<std::wstring> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    wchar_t path[MAX_PATH] = {};
    // Some platforms count an empty drop list as one empty name.
    if (DragQueryFileW(drop, i, path, MAX_PATH) > 0) paths.push_back(path);
  }
  return paths;
}

ComPtr<IDataObject> Clipboard() {
  ComPtr<IDataObject> data;
  if (FAILED(OleGetClipboard(data.Out()))) data.Reset();
  return data;
}

}  // namespace

FORMATETC FileListFormat() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }
FORMATETC OwnDataMarkerFormat() { return {kOwnDataMarker, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

bool OffersOwnData(IDataObject* data) {
  FORMATETC marker = OwnDataMarkerFormat();
  return data != nullptr && data->QueryGetData(&marker) == S_OK;
}

bool OffersFilesToAdd(IDataObject* data) {
  FORMATETC files = FileListFormat();
  return data != nullptr && !OffersOwnData(data) && data->QueryGetData(&files) == S_OK;
}

HRESULT ReadFileList(IDataObject* data, std::vector<std::wstring>* paths) {
  paths->clear();
  if (data == nullptr) return E_POINTER;
  FORMATETC files = FileListFormat();
  StorageMedium medium;
  const HRESULT hr = data->GetData(&files, medium.Out());
  if (FAILED(hr)) return hr;
  std::optional<std::vector<std::wstring>> read =
      medium.Get().tymed == TYMED_HGLOBAL ? DroppedPaths(medium.Get().hGlobal) : std::nullopt;
  if (!read) return kUnsoundFileList;
  *paths = std::move(*read);
  return S_OK;
}

std::optional<std::vector<std::wstring>> FilesToAdd(IDataObject* data) {
  std::vector<std::wstring> paths;
  if (data == nullptr || OffersOwnData(data) || FAILED(ReadFileList(data, &paths)) || paths.empty())
    return std::nullopt;
  return paths;
}

std::optional<std::vector<std::wstring>> ClipboardFilesToAdd() { return FilesToAdd(Clipboard().Get()); }

bool ClipboardOffersFilesToAdd() { return OffersFilesToAdd(Clipboard().Get()); }

std::optional<std::vector<std::wstring>> DroppedPaths(HGLOBAL block) {
  bool sound = false;
  {
    const GlobalMemoryLock locked(block);
    sound = locked && IsSoundDropList(locked.As<uint8_t>(), locked.Size());
  }
  if (!sound) return std::nullopt;
  return DropPaths(static_cast<HDROP>(block));
}

}  // namespace shell
}  // namespace cairn
