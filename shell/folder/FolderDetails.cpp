#include "FolderDetails.h"

#include <commctrl.h>

#include <cstdio>

#include "AnsiText.h"
#include "ItemText.h"
#include "ViewFormat.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

struct Column {
  UINT title;
  int format;
};
const Column kSnapshotColumnSpecs[] = {{IDS_COLUMN_NAME, LVCFMT_LEFT},
                                   {IDS_COLUMN_SIZE, LVCFMT_RIGHT},
                                   {IDS_COLUMN_TYPE, LVCFMT_LEFT},
                                   {IDS_COLUMN_CREATED, LVCFMT_LEFT},
                                   {IDS_COLUMN_COMMENT, LVCFMT_LEFT}};
const Column kObjectColumnSpecs[] = {{IDS_COLUMN_NAME, LVCFMT_LEFT},     {IDS_COLUMN_IN_FOLDER, LVCFMT_LEFT},
                                 {IDS_COLUMN_SIZE, LVCFMT_RIGHT},    {IDS_COLUMN_TYPE, LVCFMT_LEFT},
                                 {IDS_COLUMN_MODIFIED, LVCFMT_LEFT}, {IDS_COLUMN_CREATED_IN, LVCFMT_LEFT}};

// The texts are formatted in buffers of this size.
constexpr size_t kFormatBytes = 600;

std::string Formatted(UINT format, const std::string& value) {
  char text[kFormatBytes];
  std::snprintf(text, sizeof text, ShellString(format).c_str(), value.c_str());
  return text;
}

std::string Counted(UINT format, size_t count) {
  char text[kFormatBytes];
  std::snprintf(text, sizeof text, ShellString(format).c_str(), static_cast<int>(count));
  return text;
}

std::string SecondString(const Item& item) { return std::string(item.second ? *item.second : std::string_view()); }

// The texts an item holds (its name, comment, created-in snapshot) are kept as the archive keeps
// its names; the others are the module's own.
std::wstring SnapshotCell(const Item& item, UINT column, const StoredText& names) {
  switch (column) {
    case 0: return names.Wide(item.name);
    case 2: return FromAnsi(ShellString(IDS_TYPE_SNAPSHOT));
    case 3: return FromAnsi(DateTime(item.fields.creationTime));
    case 4: return names.Wide(CommentLine(SecondString(item)));
    default: return std::wstring();  // Size: every snapshot is a folder
  }
}

std::wstring ObjectCell(const Item& item, UINT column, const StoredText& names) {
  const std::string name(item.name);
  switch (column) {
    case 0: {
      // As the folder names the item in its level, and as it hands the name to the shell.
      std::wstring shown;
      if (!DisplayName(item, true, names, &shown)) shown = names.Wide(name);
      if (shown.size() >= kDisplayNameBytes / sizeof(wchar_t)) shown.resize(kDisplayNameBytes / sizeof(wchar_t) - 1);
      return shown;
    }
    case 1: {
      const size_t slash = name.find_last_of('\\');
      return names.Wide(slash == std::string::npos ? std::string() : name.substr(0, slash));
    }
    case 2: return FromAnsi(ColumnSizeText(item));
    case 3: return FromAnsi(ItemTypeName(item));
    case 4: return FromAnsi(DateTime(item.fields.modificationTime));
    default: {
      // The format is the module's, the snapshot's name the archive's: joined as wide text.
      const std::wstring format = FromAnsi(ShellString(IDS_CREATED_IN_FORMAT));
      const size_t at = format.find(L"%s");
      const std::wstring created = names.Wide(SecondString(item));
      return at == std::wstring::npos ? format : format.substr(0, at) + created + format.substr(at + 2);
    }
  }
}

}  // namespace

HRESULT ColumnDetails(bool atRoot, const Item* item, UINT column, const StoredText& names, SHELLDETAILS* details) {
  if (details == nullptr) return E_POINTER;
  const Column* columns = atRoot ? kSnapshotColumnSpecs : kObjectColumnSpecs;
  const size_t count = atRoot ? kSnapshotColumns : kObjectColumns;
  if (column >= count) return E_INVALIDARG;
  details->fmt = columns[column].format;
  details->cxChar = 0;
  const std::wstring text = item == nullptr ? FromAnsi(ShellString(columns[column].title))
                            : atRoot       ? SnapshotCell(*item, column, names)
                                           : ObjectCell(*item, column, names);
  return WideStrRet(text, (text.size() + 1) * sizeof(wchar_t), &details->str);
}

int ItemOverlay(const FolderLevel& level, LPCITEMIDLIST list) {
  const std::optional<Item> item = FirstItem(list);
  return item ? OverlayOf(*item, level.ShownSnapshot()) : 0;
}

std::pair<std::string, std::string> StatusTexts(const FolderLevel& level, const std::vector<LPCITEMIDLIST>& all,
                                                const std::vector<LPCITEMIDLIST>& selected) {
  const std::vector<LPCITEMIDLIST>& counted = selected.empty() ? all : selected;
  std::string first, second;
  if (level.AtRoot()) {
    first = Counted(selected.empty() ? IDS_STATUS_SNAPSHOTS : IDS_STATUS_SNAPSHOTS_SELECTED, counted.size());
    if (selected.empty() && !all.empty()) {
      // The latest snapshot: the highest number.
      std::optional<Item> latest;
      for (LPCITEMIDLIST list : all) {
        const std::optional<Item> item = FirstItem(list);
        if (item && (!latest || item->fields.revision > latest->fields.revision)) latest = item;
      }
      if (latest) second = Formatted(IDS_STATUS_LAST_SNAPSHOT, DateTime(latest->fields.creationTime));
    } else if (selected.size() == 1) {
      if (const std::optional<Item> item = FirstItem(selected.front()))
        second = Formatted(IDS_STATUS_SNAPSHOT_CREATED, DateTime(item->fields.creationTime));
    }
  } else {
    first = Counted(selected.empty() ? IDS_STATUS_OBJECTS : IDS_STATUS_OBJECTS_SELECTED, counted.size());
    uint32_t bytes = 0;
    for (LPCITEMIDLIST list : counted)
      if (const std::optional<Item> item = FirstItem(list)) bytes += static_cast<uint32_t>(item->fields.itemSize);
    second = StatusSizeText(bytes);
  }
  return {first, second};
}

bool StoredNames(const std::vector<LPCITEMIDLIST>& items, std::vector<std::string>* names) {
  names->clear();
  for (LPCITEMIDLIST list : items) {
    const std::optional<Item> item = FirstItem(list);
    if (!item) return false;
    names->emplace_back(item->name);
  }
  return true;
}

}  // namespace shell
}  // namespace cairn
