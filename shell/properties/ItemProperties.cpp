#include "ItemProperties.h"

#include "AnsiText.h"
#include "Module.h"
#include "PropertyResource.h"
#include "resource.h"

namespace cairn {
namespace shell {

std::unique_ptr<ItemProperties> ItemProperties::Create(IShellFolder* folder, const std::vector<LPCITEMIDLIST>& items) {
  auto data = std::make_shared<SheetData>();
  if (folder == nullptr || items.empty() ||
      FAILED(folder->QueryInterface(__uuidof(IArchiveFolder), data->archiveFolder.OutVoid())) ||
      FAILED(data->archiveFolder->GetLevel(&data->level)))
    return nullptr;
  data->folder = ComPtr<IShellFolder>(folder);
  for (LPCITEMIDLIST item : items) {
    CPidl copy;
    if (FAILED(copy.SetPidl(item)) || !FirstItem(copy.Get())) return nullptr;
    data->items.push_back(std::move(copy));
  }
  return std::unique_ptr<ItemProperties>(new ItemProperties(std::move(data)));
}

std::vector<HPROPSHEETPAGE> ItemProperties::MakePages() const {
  std::vector<HPROPSHEETPAGE> pages;
  const auto add = [&](std::unique_ptr<PropertyPage> page, UINT dialog) {
    if (HPROPSHEETPAGE made = PropertyPage::Create(std::move(page), dialog)) pages.push_back(made);
  };
  if (data_->items.size() > 1) {
    add(SeveralItemsPage(data_), IDD_PROPERTIES_SEVERAL);
  } else if (data_->level.AtRoot()) {
    add(SnapshotGeneralPage(data_), IDD_PROPERTIES_SNAPSHOT);
    add(ContentsPage(data_), IDD_PROPERTIES_CONTENTS);
    add(CommentPage(data_), IDD_PROPERTIES_COMMENT);
  } else {
    add(ObjectGeneralPage(data_), IDD_PROPERTIES_OBJECT);
    add(RevisionsPage(data_), IDD_PROPERTIES_REVISIONS);
  }
  return pages;
}

INT_PTR ItemProperties::Show(HWND owner) const {
  std::vector<HPROPSHEETPAGE> pages = MakePages();
  if (pages.empty()) return -1;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  const std::string caption = ShellString(IDS_PROPERTIES);
  PROPSHEETHEADERA sheet = {};
  sheet.dwSize = sizeof sheet;
  sheet.dwFlags = PSH_NOCONTEXTHELP;
  sheet.hwndParent = owner;
  sheet.hInstance = Module::Instance();
  sheet.pszCaption = caption.c_str();
  sheet.nPages = static_cast<UINT>(pages.size());
  sheet.phpage = pages.data();
  return PropertySheetA(&sheet);
}

}  // namespace shell
}  // namespace cairn
