#include "CairnFolder.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "AnsiText.h"
#include "FolderDetails.h"
#include "ItemNames.h"
#include "ItemText.h"
#include "KnownArchives.h"
#include "Module.h"
#include "WelcomeWizard.h"
#include "WizardSetting.h"

namespace cairn {
namespace shell {
namespace {

// The attributes a parsed name claims: has-subfolder, folder, drop target, property sheet,
// delete, rename, link, move and copy.
constexpr ULONG kParsedAttributes = 0xA0000177;
constexpr uint8_t kEmptyList[kListTerminatorSize] = {0, 0};

}  // namespace

HRESULT CCairnFolder::SetSubPath(LPCITEMIDLIST subPath) {
  const HRESULT hr = level_.subPath.SetPidl(subPath);
  operations_ = level_.Operations();
  level_.names = operations_.Names();
  return hr;
}

STDMETHODIMP CCairnFolder::FolderInitialize(char* archivePath, _ITEM* subFolder) {
  if (archivePath == nullptr) return E_INVALIDARG;
  level_.archivePath.assign(archivePath, strnlen(archivePath, MAX_PATH - 1));
  return SetSubPath(reinterpret_cast<LPCITEMIDLIST>(subFolder));
}

STDMETHODIMP CCairnFolder::FolderInitialize2(_ITEM* folder, _ITEM* subFolder) {
  Initialize(reinterpret_cast<PCIDLIST_ABSOLUTE>(folder));
  return SetSubPath(reinterpret_cast<LPCITEMIDLIST>(subFolder));
}

STDMETHODIMP CCairnFolder::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_CairnFolder;
  return S_OK;
}

STDMETHODIMP CCairnFolder::Initialize(PCIDLIST_ABSOLUTE location) {
  const HRESULT hr = level_.location.SetPidl(location, false);
  if (FAILED(hr)) return hr;
  char path[MAX_PATH] = {};
  if (location == nullptr || !SHGetPathFromIDListA(location, path) || path[0] == 0) return E_FAIL;
  level_.archivePath = path;
  operations_ = level_.Operations();
  level_.names = operations_.Names();
  RecordKnownArchive(FromAnsi(path));
  return S_OK;
}

STDMETHODIMP CCairnFolder::ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* list,
                                            ULONG* attributes) {
  if (list == nullptr) return E_POINTER;
  *list = nullptr;
  if (name == nullptr) return E_INVALIDARG;
  std::string text = level_.names.Stored(name);
  if (text.size() > MAX_PATH - 1) text.resize(MAX_PATH - 1);
  ItemFields fields;
  fields.attributes = FILE_ATTRIBUTE_DIRECTORY;
  const std::vector<uint8_t> item = BuildItem(fields, text);
  *list = SingleItemList(item.data(), item.size()).Detach();
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
  CPidl subPath = level_.subPath;
  HRESULT hr = subPath.Concat(list);
  if (FAILED(hr)) return hr;

  ComPtr<ICairnFolder> folder;
  hr = CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnFolder, folder.OutVoid());
  if (FAILED(hr)) return hr;
  auto* sub = reinterpret_cast<_ITEM*>(const_cast<ITEMIDLIST*>(subPath.Get()));
  if (LPCITEMIDLIST location = level_.Location())
    hr = folder->FolderInitialize2(reinterpret_cast<_ITEM*>(const_cast<ITEMIDLIST*>(location)), sub);
  else
    hr = folder->FolderInitialize(const_cast<char*>(level_.archivePath.c_str()), sub);
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

CCairnFolder::~CCairnFolder() {
  // Only the thread COM was started on can end it.
  if (SUCCEEDED(comStart_) && GetCurrentThreadId() == comThread_) CoUninitialize();
}

STDMETHODIMP CCairnFolder::CreateViewObject(HWND owner, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IContextMenu) {
    // The folder's own menu: the item form, given the folder's own location as its one entry.
    LPCITEMIDLIST location = level_.Location();
    return ContextMenu(location != nullptr ? 1 : 0, &location, iid, object);
  }
  if (iid != IID_IShellView && iid != IID_IDropTarget) return E_NOINTERFACE;
  ComPtr<ICairnView> view;
  HRESULT hr = CoCreateInstance(CLSID_CairnView, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnView, view.OutVoid());
  if (hr == CO_E_NOTINITIALIZED && FAILED(comStart_)) {
    // A caller whose thread has no COM: the folder starts it there, once, and asks again; it ends
    // it when the folder goes.
    comStart_ = CoInitialize(nullptr);
    if (FAILED(comStart_)) return hr;
    comThread_ = GetCurrentThreadId();
    return CreateViewObject(owner, iid, object);
  }
  if (SUCCEEDED(hr)) hr = view->Initialize(this);
  if (SUCCEEDED(hr)) hr = view->QueryInterface(iid, object);
  if (SUCCEEDED(hr) && iid == IID_IShellView && ProcessWizardGate().ShouldRun()) RunWelcomeWizard(owner, Module::Instance());
  return hr;
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

STDMETHODIMP CCairnFolder::GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, UINT*,
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
  if (iid == IID_IExtractIconA) return E_INVALIDARG;
  if (iid == IID_IContextMenu) return some ? ContextMenu(count, items, iid, object) : E_INVALIDARG;
  if (iid == IID_IDataObject) return some ? DataObject(owner, count, items, iid, object) : E_INVALIDARG;
  if (iid == IID_IDropTarget) {
    // The drop target is the whole archive, not the item.
    if (!one) return E_INVALIDARG;
    ComPtr<ICairnDropTarget> target;
    HRESULT hr = CoCreateInstance(CLSID_CairnDropTarget, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnDropTarget,
                                  target.OutVoid());
    if (SUCCEEDED(hr)) hr = target->Initialize(this, nullptr);
    return FAILED(hr) ? hr : target->QueryInterface(iid, object);
  }
  return E_NOINTERFACE;
}

HRESULT CCairnFolder::ContextMenu(UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, void** object) {
  ComPtr<ICairnShellExt> menu;
  HRESULT hr = CoCreateInstance(CLSID_CairnShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnShellExt,
                                menu.OutVoid());
  if (SUCCEEDED(hr))
    hr = menu->InitializeExt(this, reinterpret_cast<_ITEM**>(const_cast<LPITEMIDLIST*>(items)), static_cast<int>(count));
  return FAILED(hr) ? hr : menu->QueryInterface(iid, object);
}

HRESULT CCairnFolder::DataObject(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, void** object) {
  // The items' files are written from the folder of their level: at the root, where the items are
  // snapshots, the first snapshot's contents through that snapshot's folder.
  ComPtr<ICairnFolder> source(this);
  CPidl list;
  if (AtRoot()) {
    ComPtr<IShellFolder> snapshot;
    HRESULT hr = BindToObject(items[0], nullptr, IID_IShellFolder, snapshot.OutVoid());
    if (SUCCEEDED(hr)) hr = snapshot.As(&source);
    if (FAILED(hr)) return hr;
    ComPtr<IEnumIDList> contents;
    if (FAILED(snapshot->EnumObjects(owner, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, contents.Out())) || !contents)
      return E_INVALIDARG;
    IdList item;
    while (contents->Next(1, item.Out(), nullptr) == S_OK && item) {
      hr = list.Concat(item.Get());
      if (FAILED(hr)) return hr;
    }
  } else {
    for (UINT i = 0; i < count; ++i) {
      const HRESULT hr = list.Concat(items[i]);
      if (FAILED(hr)) return hr;
    }
  }
  if (list.Empty()) return E_INVALIDARG;
  ComPtr<ICairnDataObject> data;
  HRESULT hr = CoCreateInstance(CLSID_CairnDataObject, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnDataObject,
                                data.OutVoid());
  if (SUCCEEDED(hr))
    hr = data->Initialize(owner, source.Get(), reinterpret_cast<_ITEM*>(const_cast<ITEMIDLIST*>(list.Get())));
  return FAILED(hr) ? hr : data->QueryInterface(iid, object);
}

HRESULT CCairnFolder::NameOf(const Item& item, SHGDNF flags, STRRET* name) {
  const StoredText& names = level_.names;
  switch (DisplayNameForm(flags)) {
    case NameForm::kDisplay: {
      std::wstring text;
      if (DisplayName(item, !AtRoot(), names, &text)) return WideStrRet(text, kDisplayNameBytes, name);
      // The stored name as it is: its own bytes when they are the code page's.
      if (names.Utf8()) return WideStrRet(names.Wide(item.name), kDisplayNameBytes, name);
      name->uType = STRRET_OFFSET;
      name->uOffset = kItemNameOffset;
      return S_OK;
    }
    case NameForm::kParsingFull:
    case NameForm::kParsingRelative: {
      std::wstring text = FromAnsi(DisplayNameForm(flags) == NameForm::kParsingFull
                                       ? level_.archivePath
                                       : std::string(PathFileName(level_.archivePath)));
      if (const std::optional<Item> first = FirstItem(level_.subPath.Get())) text += L"\\" + names.Wide(first->name);
      text += L"\\" + names.Wide(item.name);
      return WideStrRet(text, (text.size() + 1) * sizeof(wchar_t), name);
    }
    case NameForm::kInvalid:
      break;
  }
  return E_INVALIDARG;
}

HRESULT CCairnFolder::OwnNameOf(SHGDNF flags, STRRET* name) {
  const std::optional<std::vector<Item>> path = ReadItems(level_.subPath.Get());
  const StoredText& names = level_.names;
  std::wstring text;
  switch (DisplayNameForm(flags)) {
    case NameForm::kDisplay: {
      // As the level above shows this one: the archive file, or the last item of the sub-path.
      SHFILEINFOA info{};
      if (path && !path->empty()) {
        if (!DisplayName(path->back(), path->size() > 1, names, &text)) text = names.Wide(path->back().name);
      } else if (SHGetFileInfoA(level_.archivePath.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME)) {
        info.szDisplayName[MAX_PATH - 1] = 0;
        text = FromAnsi(info.szDisplayName);
      } else {
        text = FromAnsi(std::string(PathFileName(level_.archivePath)));
      }
      return WideStrRet(text, kDisplayNameBytes, name);
    }
    case NameForm::kParsingFull:
    case NameForm::kParsingRelative:
      text = FromAnsi(DisplayNameForm(flags) == NameForm::kParsingFull ? level_.archivePath
                                                                       : std::string(PathFileName(level_.archivePath)));
      if (path && !path->empty()) text += L"\\" + names.Wide(path->front().name);
      return WideStrRet(text, (text.size() + 1) * sizeof(wchar_t), name);
    case NameForm::kInvalid:
      break;
  }
  return E_INVALIDARG;
}

STDMETHODIMP CCairnFolder::GetDisplayNameOf(PCUITEMID_CHILD list, SHGDNF flags, STRRET* name) {
  if (name == nullptr) return E_POINTER;
  // The empty list is well formed: it names the folder itself.
  if (list != nullptr && list->mkid.cb == 0) return OwnNameOf(flags, name);
  const std::optional<Item> item = FirstItem(list);
  if (!item) return E_INVALIDARG;
  return NameOf(*item, flags, name);
}

STDMETHODIMP CCairnFolder::SetNameOf(HWND owner, PCUITEMID_CHILD list, LPCWSTR name, SHGDNF, PITEMID_CHILD* newItem) {
  if (newItem != nullptr) *newItem = nullptr;
  const std::optional<Item> item = FirstItem(list);
  if (!item || name == nullptr) return E_INVALIDARG;
  // Only snapshots can be renamed: the items of the root.
  if (!AtRoot() ||
      !operations_.RenameSnapshot(std::string(item->name), item->fields.revision, level_.names.Stored(name)))
    return E_FAIL;
  BuildContents();
  if (owner != nullptr) SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, level_.archivePath.c_str(), nullptr);
  return S_OK;
}

void CCairnFolder::BuildContents() {
  contents_.Reset();
  // The archive may have been given its names' encoding since this folder was made.
  const std::vector<uint8_t> items = operations_.LevelItems(&level_.names);
  if (!items.empty()) contents_.Append(items);
}

STDMETHODIMP CCairnFolder::GetLevel(FolderLevel* level) {
  if (level == nullptr) return E_POINTER;
  *level = level_;
  return S_OK;
}

STDMETHODIMP CCairnFolder::GetDetailsOf(PCUITEMID_CHILD list, UINT column, SHELLDETAILS* details) {
  if (details == nullptr) return E_POINTER;
  if (list == nullptr) return ColumnDetails(AtRoot(), nullptr, column, level_.names, details);
  const std::optional<Item> item = FirstItem(list);
  if (!item) return E_INVALIDARG;
  return ColumnDetails(AtRoot(), &*item, column, level_.names, details);
}

STDMETHODIMP CCairnFolder::DisplayItem(HWND owner, PCUITEMID_CHILD list) {
  const std::optional<Item> item = FirstItem(list);
  if (!item) return E_INVALIDARG;
  std::string copy;
  const bool opened = operations_.DisplayItem(owner, std::string(item->name), &copy);
  // A copy written again (an item opened twice) is kept once.
  const auto kept = [&copy](const TemporaryFile& file) { return file.Get() == copy; };
  if (!copy.empty() && std::none_of(temporaryFiles_.begin(), temporaryFiles_.end(), kept))
    temporaryFiles_.emplace_back(copy);
  return opened ? S_OK : E_FAIL;
}

STDMETHODIMP CCairnFolder::SetSnapshotComment(PCUITEMID_CHILD list, LPCSTR comment) {
  const std::optional<Item> item = FirstItem(list);
  if (!item || comment == nullptr) return E_INVALIDARG;
  if (!AtRoot() || !operations_.SetSnapshotComment(std::string(item->name), comment)) return E_FAIL;
  BuildContents();
  return S_OK;
}

}  // namespace shell
}  // namespace cairn
