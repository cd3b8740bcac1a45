#include "CairnFolder.h"

#include <shellapi.h>

#include <cstring>

#include "FileSystem.h"
#include "ItemNames.h"
#include "ItemText.h"
#include "ShellText.h"

namespace cairn {
namespace shell {
namespace {

// The attributes a parsed name claims: has-subfolder, folder, drop target, property sheet,
// delete, rename, link, move and copy.
constexpr ULONG kParsedAttributes = 0xA0000177;
// Display names are handed over in a buffer of this many bytes.
constexpr size_t kDisplayNameBytes = 520;
constexpr uint8_t kEmptyList[kListTerminatorSize] = {0, 0};

HRESULT WideResult(const std::string& text, size_t maxBytes, STRRET* name) {
  std::wstring wide = FromAnsi(text);
  const size_t maxChars = maxBytes / sizeof(wchar_t);
  if (wide.size() >= maxChars) wide.resize(maxChars - 1);
  auto* buffer = static_cast<wchar_t*>(CoTaskMemAlloc(maxBytes));
  if (buffer == nullptr) return E_OUTOFMEMORY;
  std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  name->uType = STRRET_WSTR;
  name->pOleStr = buffer;
  return S_OK;
}

}  // namespace

CCairnFolder::~CCairnFolder() {
  for (const std::string& path : temporaryFiles_) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path.c_str())) RemoveFolderTree(path);
  }
  if (SUCCEEDED(comStart_)) CoUninitialize();
}

STDMETHODIMP CCairnFolder::FolderInitialize(char* archivePath, _ITEM* subFolder) {
  if (archivePath == nullptr) return E_INVALIDARG;
  archivePath_.assign(archivePath, strnlen(archivePath, MAX_PATH - 1));
  return subPath_.SetPidl(reinterpret_cast<LPCITEMIDLIST>(subFolder));
}

STDMETHODIMP CCairnFolder::FolderInitialize2(_ITEM* folder, _ITEM* subFolder) {
  Initialize(reinterpret_cast<PCIDLIST_ABSOLUTE>(folder));
  return subPath_.SetPidl(reinterpret_cast<LPCITEMIDLIST>(subFolder));
}

STDMETHODIMP CCairnFolder::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_CairnFolder;
  return S_OK;
}

STDMETHODIMP CCairnFolder::Initialize(PCIDLIST_ABSOLUTE location) {
  const HRESULT hr = location_.SetPidl(location, false);
  if (FAILED(hr)) return hr;
  char path[MAX_PATH] = {};
  if (location == nullptr || !SHGetPathFromIDListA(location, path) || path[0] == 0) return E_FAIL;
  archivePath_ = path;
  return S_OK;
}

STDMETHODIMP CCairnFolder::ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* list,
                                            ULONG* attributes) {
  if (list == nullptr) return E_POINTER;
  *list = nullptr;
  if (name == nullptr) return E_INVALIDARG;
  std::string text = ToAnsi(name);
  if (text.size() > MAX_PATH - 1) text.resize(MAX_PATH - 1);
  ItemFields fields;
  fields.attributes = FILE_ATTRIBUTE_DIRECTORY;
  const std::vector<uint8_t> item = BuildItem(fields, text);
  *list = AllocateSingleItemList(item.data(), item.size());
  if (*list == nullptr) return E_OUTOFMEMORY;
  // The whole text was taken: its length in characters, never past its end.
  if (eaten != nullptr) *eaten = static_cast<ULONG>(wcslen(name));
  if (attributes != nullptr) *attributes = kParsedAttributes;
  return S_OK;
}

STDMETHODIMP CCairnFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** items) {
  if (items == nullptr) return E_POINTER;
  *items = nullptr;
  BuildContents();
  ComPtr<ICairnIDEnum> enumerator;
  HRESULT hr = CoCreateInstance(CLSID_CairnIDEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnIDEnum,
                                enumerator.OutVoid());
  if (FAILED(hr)) return hr;
  const void* list = contents_.Get() != nullptr ? static_cast<const void*>(contents_.Get()) : kEmptyList;
  hr = enumerator->Initialize(static_cast<_ITEM*>(const_cast<void*>(list)), flags);
  if (FAILED(hr)) return hr;
  return enumerator->QueryInterface(IID_IEnumIDList, reinterpret_cast<void**>(items));
}

STDMETHODIMP CCairnFolder::BindToObject(PCUIDLIST_RELATIVE list, IBindCtx*, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const std::optional<std::vector<Item>> items = ReadItems(list);
  if (!items || items->empty()) return E_INVALIDARG;
  CPidl subPath;
  HRESULT hr = subPath.SetPidl(subPath_.Get());
  if (SUCCEEDED(hr)) hr = subPath.Concat(list);
  if (FAILED(hr)) return hr;

  ComPtr<ICairnFolder> folder;
  hr = CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnFolder, folder.OutVoid());
  if (FAILED(hr)) return hr;
  auto* sub = reinterpret_cast<_ITEM*>(const_cast<ITEMIDLIST*>(subPath.Get()));
  if (!location_.Empty())
    hr = folder->FolderInitialize2(reinterpret_cast<_ITEM*>(const_cast<ITEMIDLIST*>(location_.Get())), sub);
  else
    hr = folder->FolderInitialize(const_cast<char*>(archivePath_.c_str()), sub);
  if (FAILED(hr)) return hr;
  return folder->QueryInterface(iid, object);
}

STDMETHODIMP CCairnFolder::BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** object) {
  if (object != nullptr) *object = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CCairnFolder::CompareIDs(LPARAM lParam, PCUIDLIST_RELATIVE first, PCUIDLIST_RELATIVE second) {
  const std::optional<std::vector<Item>> a = ReadItems(first);
  const std::optional<std::vector<Item>> b = ReadItems(second);
  if (!a || !b || a->empty() || b->empty()) return E_INVALIDARG;
  // The column is the low word; the shell's flags above it (all fields, canonical) do not
  // change which key decides.
  const int column = static_cast<int>(lParam & SHCIDS_COLUMNMASK) + 1;
  const SystemCollation collation;
  const int result = AtRoot() ? CompareSnapshotItems(a->back(), b->back(), column, collation)
                              : CompareObjectItems(a->back(), b->back(), column, collation);
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(static_cast<SHORT>(result)));
}

STDMETHODIMP CCairnFolder::CreateViewObject(HWND, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid != IID_IShellView && iid != IID_IDropTarget) return E_NOINTERFACE;
  ComPtr<ICairnView> view;
  HRESULT hr = CoCreateInstance(CLSID_CairnView, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnView, view.OutVoid());
  if (SUCCEEDED(hr)) hr = view->Initialize(this);
  if (FAILED(hr)) return hr;
  return view->QueryInterface(iid, object);
}

STDMETHODIMP CCairnFolder::GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY items, SFGAOF* attributes) {
  if (attributes == nullptr) return E_POINTER;
  if (count != 0 && items == nullptr) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) {
    const std::optional<Item> item = FirstItem(items[i]);
    if (!item) return E_INVALIDARG;
    const uint32_t bits = item->fields.attributes;
    SFGAOF mask = SFGAO_CANCOPY;
    if (item->IsFolder()) mask |= SFGAO_FOLDER | ((bits & kHasSubfoldersBit) ? SFGAO_HASSUBFOLDER : 0);
    if (bits & kAttributeReadOnly) mask |= SFGAO_READONLY;
    if (bits & kDeletableBit) mask |= SFGAO_CANDELETE;
    if (bits & kRenamableBit) mask |= SFGAO_CANRENAME;
    *attributes &= mask;
  }
  return S_OK;
}

STDMETHODIMP CCairnFolder::GetUIObjectOf(HWND, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, UINT*,
                                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (count != 0 && items == nullptr) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i)
    if (!FirstItem(items[i])) return E_INVALIDARG;
  const bool one = count == 1, some = count >= 1;
  if (iid == IID_IExtractIconA && one) {
    const std::optional<Item> item = FirstItem(items[0]);
    ComPtr<ICairnIcon> icon;
    HRESULT hr = CoCreateInstance(CLSID_CairnIcon, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnIcon, icon.OutVoid());
    std::string name(item->name);
    if (SUCCEEDED(hr)) hr = icon->Initialize(&name[0], static_cast<long>(item->fields.attributes), AtRoot() ? 1 : 0);
    return FAILED(hr) ? hr : icon->QueryInterface(iid, object);
  }
  if (iid == IID_IExtractIconA || iid == IID_IDropTarget) return one ? E_NOINTERFACE : E_INVALIDARG;
  if (iid == IID_IContextMenu || iid == IID_IDataObject) return some ? E_NOINTERFACE : E_INVALIDARG;
  return E_NOINTERFACE;
}

HRESULT CCairnFolder::NameOf(const Item& item, SHGDNF flags, STRRET* name) {
  switch (DisplayNameForm(flags)) {
    case NameForm::kDisplay: {
      std::string text;
      if (DisplayName(item, !AtRoot(), &text)) return WideResult(text, kDisplayNameBytes, name);
      name->uType = STRRET_OFFSET;
      name->uOffset = kItemNameOffset;
      return S_OK;
    }
    case NameForm::kParsingFull:
    case NameForm::kParsingRelative: {
      std::string text = DisplayNameForm(flags) == NameForm::kParsingFull ? archivePath_
                                                                          : std::string(PathFileName(archivePath_));
      if (const std::optional<Item> first = FirstItem(subPath_.Get())) text += "\\" + std::string(first->name);
      text += "\\" + std::string(item.name);
      // An ANSI byte never becomes more than one wide character.
      return WideResult(text, (text.size() + 1) * sizeof(wchar_t), name);
    }
    case NameForm::kInvalid:
      break;
  }
  return E_INVALIDARG;
}

STDMETHODIMP CCairnFolder::GetDisplayNameOf(PCUITEMID_CHILD list, SHGDNF flags, STRRET* name) {
  if (name == nullptr) return E_POINTER;
  const std::optional<Item> item = FirstItem(list);
  if (!item) return E_INVALIDARG;
  return NameOf(*item, flags, name);
}

STDMETHODIMP CCairnFolder::SetNameOf(HWND owner, PCUITEMID_CHILD list, LPCWSTR name, SHGDNF, PITEMID_CHILD* newItem) {
  if (newItem != nullptr) *newItem = nullptr;
  const std::optional<Item> item = FirstItem(list);
  if (!item || name == nullptr) return E_INVALIDARG;
  // Only snapshots can be renamed: the items of the root.
  if (!AtRoot()) return E_FAIL;
  ComPtr<ICairnArchive> archive = GetArchive(archivePath_);
  if (!archive) return E_FAIL;
  const std::string newName = RenamedSnapshotName(ToAnsi(name), item->fields.revision);
  ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive.Get(), std::string(item->name));
  const Bstr text = AnsiBstr(newName);
  if (!snapshot || FAILED(snapshot->SetName(text.Get()))) return E_FAIL;
  BuildContents();
  if (owner != nullptr) SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, archivePath_.c_str(), nullptr);
  return S_OK;
}

ComPtr<IEnumCairnObjects> CCairnFolder::LevelObjects(ICairnArchive* archive, bool* latestSnapshot) {
  ComPtr<IEnumCairnObjects> objects;
  const std::optional<std::vector<Item>> path = ReadItems(subPath_.Get());
  if (!path || path->empty()) return objects;
  const std::string snapshotName(path->front().name);
  ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive, snapshotName);
  if (!snapshot || FAILED(snapshot->EnumCairnObjects(0, objects.Out())) || !objects) return nullptr;
  if (latestSnapshot != nullptr) *latestSnapshot = SnapshotName(LatestSnapshot(archive).Get()) == snapshotName;
  for (size_t level = 1; level < path->size(); ++level) {
    const Bstr name = AnsiBstr(std::string((*path)[level].name));
    ComPtr<ICairnObject> object;
    if (objects->NextByName(name.Get(), object.Out()) != S_OK || !object) return nullptr;
    ComPtr<ICairnRevision> revision = LatestRevision(object.Get());
    if (!revision || FAILED(revision->EnumCairnObjects(0, objects.Out())) || !objects) return nullptr;
  }
  return objects;
}

void CCairnFolder::BuildContents() {
  contents_.Reset();
  ComPtr<ICairnArchive> archive = GetArchive(archivePath_);
  if (!archive) return;
  std::vector<uint8_t> items;
  if (AtRoot()) {
    ComPtr<IEnumSnapShots> snapshots;
    if (FAILED(archive->EnumSnapShots(0, snapshots.Out())) || !snapshots) return;
    ComPtr<ICairnSnapShot> snapshot;
    while (snapshots->Next(1, snapshot.Out()) == S_OK && snapshot) {
      const std::vector<uint8_t> item = BuildSnapshotItem(snapshot.Get());
      items.insert(items.end(), item.begin(), item.end());
    }
  } else {
    bool latest = false;
    ComPtr<IEnumCairnObjects> objects = LevelObjects(archive.Get(), &latest);
    if (!objects) return;
    // The top-level objects of the latest snapshot can be deleted (by a snapshot without them).
    const bool topLevel = ReadItems(subPath_.Get())->size() == 1;
    const uint32_t extra = latest && topLevel ? kDeletableBit : 0;
    const std::vector<SnapshotStamp> stamps = SnapshotStamps(archive.Get());
    ComPtr<ICairnObject> object;
    while (objects->Next(0, object.Out()) == S_OK && object) {
      ComPtr<ICairnRevision> revision = LatestRevision(object.Get());
      if (!revision) break;
      const std::vector<uint8_t> item = BuildObjectItem(object.Get(), revision.Get(), stamps, extra);
      items.insert(items.end(), item.begin(), item.end());
    }
  }
  if (!items.empty()) contents_.Append(items);
}

ComPtr<ICairnObject> CCairnFolder::FindObject(const Item& item) {
  ComPtr<ICairnObject> object;
  if (AtRoot()) return object;
  ComPtr<ICairnArchive> archive = GetArchive(archivePath_);
  ComPtr<IEnumCairnObjects> objects = archive ? LevelObjects(archive.Get(), nullptr) : nullptr;
  const Bstr name = AnsiBstr(std::string(item.name));
  if (objects && objects->NextByName(name.Get(), object.Out()) != S_OK) object.Reset();
  return object;
}

ComPtr<ICairnSnapShot> CCairnFolder::SnapshotOfItem(const Item& item) {
  if (!AtRoot()) return nullptr;
  ComPtr<ICairnArchive> archive = GetArchive(archivePath_);
  return archive ? SnapshotByName(archive.Get(), std::string(item.name)) : nullptr;
}

std::string CCairnFolder::CurrentFolderName() const {
  const std::optional<std::vector<Item>> path = ReadItems(subPath_.Get());
  return path && path->size() > 1 ? std::string(path->back().name) : std::string();
}

}  // namespace shell
}  // namespace cairn
