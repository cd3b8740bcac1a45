// The General pages: of several items, of a snapshot, and of a stored file or folder.
#include <cstdio>

#include "AnsiText.h"
#include "CairnIcon.h"
#include "IdList.h"
#include "ItemNames.h"
#include "ItemText.h"
#include "PropertyPage.h"
#include "PropertyResource.h"
#include "UserObjects.h"
#include "ViewFormat.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

constexpr SHCONTF kAllItems = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;

// The selection holds more than one item: the page only says so.
class SeveralItems final : public PropertyPage {
 public:
  using PropertyPage::PropertyPage;
  void OnInit() override {}
};

class SnapshotGeneral final : public PropertyPage {
 public:
  using PropertyPage::PropertyPage;

  void OnInit() override {
    const Item snapshot = Subject();
    const std::string name(snapshot.name);
    SetStoredText(IDC_PROP_SNAPSHOT_NAME, name);
    SetText(IDC_PROP_ARCHIVE_LOCATION, data_->level.archivePath);
    SetText(IDC_PROP_CONTAINS, Contains());
    SetText(IDC_PROP_SNAPSHOT_CREATED, LongDateTime(snapshot.fields.creationTime));
    SetText(IDC_PROP_SUPERCEDED, Superceded(name));
  }

 private:
  // How many files and folders the snapshot holds at its top level.
  std::string Contains() const {
    int files = 0, folders = 0;
    ComPtr<IShellFolder> inside;
    ComPtr<IEnumIDList> objects;
    if (SUCCEEDED(data_->folder->BindToObject(data_->items.front().Get(), nullptr, IID_IShellFolder,
                                              inside.OutVoid())) &&
        inside && inside->EnumObjects(Page(), kAllItems, objects.Out()) == S_OK && objects) {
      IdList object;
      while (objects->Next(1, object.Out(), nullptr) == S_OK && object) {
        const std::optional<Item> item = FirstItem(object.Get());
        if (item) ++(item->IsFolder() ? folders : files);
      }
    }
    char text[128];
    std::snprintf(text, sizeof text, ShellString(IDS_FILES_AND_FOLDERS).c_str(), files, folders);
    return text;
  }

  // The creation time of the snapshot that came after this one, or "Latest snapshot".
  std::string Superceded(const std::string& name) const {
    ComPtr<IEnumIDList> snapshots;
    bool found = false;
    if (data_->folder->EnumObjects(Page(), kAllItems, snapshots.Out()) == S_OK && snapshots) {
      IdList snapshot;
      while (snapshots->Next(1, snapshot.Out(), nullptr) == S_OK && snapshot) {
        const std::optional<Item> item = FirstItem(snapshot.Get());
        if (!item) continue;
        if (found) return LongDateTime(item->fields.creationTime);
        found = item->name == name;
      }
    }
    return ShellString(IDS_LATEST_SNAPSHOT);
  }
};

class ObjectGeneral final : public PropertyPage {
 public:
  using PropertyPage::PropertyPage;

  void OnInit() override {
    const Item object = Subject();
    const std::string name(object.name);
    SetStoredText(IDC_PROP_OBJECT_NAME, BaseName(name));
    ShowIcon();
    SetText(IDC_PROP_TYPE, ItemTypeName(object));
    const size_t slash = name.find_last_of('\\');
    SetStoredText(IDC_PROP_LOCATION, slash == std::string::npos ? std::string() : name.substr(0, slash));
    SetText(IDC_PROP_SIZE, object.IsFolder() ? std::string()
                                             : PropertySizeText(static_cast<uint32_t>(object.fields.itemSize)));
    // The short form exists only while a file stands at the stored path.
    const StoredText& names = data_->level.names;
    wchar_t shortPath[MAX_PATH] = L"";
    const DWORD length = GetShortPathNameW(names.Wide(name).c_str(), shortPath, MAX_PATH);
    SetStoredText(IDC_PROP_SHORT_NAME, BaseName(length > 0 && length < MAX_PATH ? names.Stored(shortPath) : name));
    SetText(IDC_PROP_CREATED, LongDateTime(object.fields.creationTime));
    SetText(IDC_PROP_MODIFIED, LongDateTime(object.fields.modificationTime));
    SetText(IDC_PROP_ACCESSED, LongDateTime(object.fields.accessTime));
    const struct {
      int box;
      uint32_t attribute;
    } boxes[] = {{IDC_PROP_READONLY, FILE_ATTRIBUTE_READONLY},
                 {IDC_PROP_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
                 {IDC_PROP_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE},
                 {IDC_PROP_SYSTEM, FILE_ATTRIBUTE_SYSTEM}};
    for (const auto& each : boxes)
      CheckDlgButton(Page(), each.box, (object.fields.attributes & each.attribute) ? BST_CHECKED : BST_UNCHECKED);
  }

 private:
  // The item's own icon, as the folder's icon handler gives it.
  void ShowIcon() {
    LPCITEMIDLIST item = data_->items.front().Get();
    ComPtr<IExtractIconA> extract;
    char location[MAX_PATH] = "";
    int index = 0;
    UINT flags = 0;
    if (FAILED(data_->folder->GetUIObjectOf(Page(), 1, &item, IID_IExtractIconA, nullptr, extract.OutVoid())) ||
        !extract || FAILED(extract->GetIconLocation(0, location, MAX_PATH, &index, &flags)) ||
        !(flags & GIL_NOTFILENAME))
      return;
    const UINT sizes = MAKELONG(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXSMICON));
    if (extract->Extract(location, static_cast<UINT>(index), large_.Out(), small_.Out(), sizes) != S_OK) return;
    SendDlgItemMessageA(Page(), IDC_PROP_ICON, STM_SETICON, reinterpret_cast<WPARAM>(large_.Get()), 0);
  }

  // Shown by the page's icon control, which does not own them: they go with the page.
  Icon large_, small_;
};

}  // namespace

std::unique_ptr<PropertyPage> SeveralItemsPage(std::shared_ptr<SheetData> data) {
  return std::make_unique<SeveralItems>(std::move(data));
}

std::unique_ptr<PropertyPage> SnapshotGeneralPage(std::shared_ptr<SheetData> data) {
  return std::make_unique<SnapshotGeneral>(std::move(data));
}

std::unique_ptr<PropertyPage> ObjectGeneralPage(std::shared_ptr<SheetData> data) {
  return std::make_unique<ObjectGeneral>(std::move(data));
}

}  // namespace shell
}  // namespace cairn
