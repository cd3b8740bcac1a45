#include "FolderLevel.h"

#include <shlwapi.h>

#include <utility>

#include "AnsiText.h"
#include "TaskMemory.h"
#include "ViewFormat.h"

namespace cairn {
namespace shell {
namespace {

std::string ParsingName(IShellFolder* folder, LPCITEMIDLIST item) {
  STRRET name = {};
  wchar_t* text = nullptr;
  if (FAILED(folder->GetDisplayNameOf(item, SHGDN_FORPARSING | SHGDN_FORADDRESSBAR, &name)) ||
      FAILED(StrRetToStrW(&name, item, &text)) || text == nullptr)
    return std::string();
  const TaskMemory<wchar_t> owned(text);
  return ToAnsi(text);
}

}  // namespace

ArchiveOperations FolderLevel::Operations() const {
  std::vector<std::string> names;
  if (const std::optional<std::vector<Item>> items = ReadItems(subPath.Get()))
    for (const Item& item : *items) names.emplace_back(item.name);
  return ArchiveOperations(archivePath, std::move(names));
}

int32_t FolderLevel::ShownSnapshot() const {
  const std::optional<Item> first = FirstItem(subPath.Get());
  return first ? SnapshotNumberOf(first->name) : 0;
}

std::string FolderLevel::Address(IShellFolder* folder) const {
  std::string address = archivePath;
  const std::optional<std::vector<Item>> path = ReadItems(subPath.Get());
  if (path && path->size() >= 2) {
    // The folder names its own items below the snapshot; the last one is this level.
    address = ParsingName(folder, ILFindLastID(subPath.Get()));
  } else if (path && path->size() == 1) {
    // The folder would put the snapshot's name in twice; the level is the snapshot itself.
    address += "\\" + std::string(path->front().name);
  }
  while (!address.empty() && address.back() == '\\') address.pop_back();
  return address;
}

}  // namespace shell
}  // namespace cairn
