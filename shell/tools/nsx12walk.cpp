// nsx12walk: prints an archive as the shell sees it. It comes in the way Explorer does (the
// desktop parses the archive's path, the folder class is created and initialised with that ID
// list), then enumerates and binds level by level, printing each item's display name, its shell
// attributes and the columns the archive view shows for it.
//
// usage: nsx12walk <archive path>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

#include "ComPtr.h"
#include "ItemText.h"
#include "Module.h"
#include "Pidl.h"
#include "ShellText.h"
#include "ViewFormat.h"
#include "nsx12.h"
#include "resource.h"

using namespace cairn;
using namespace cairn::shell;

namespace {

constexpr int kMaxDepth = 32;

std::string Attributes(IShellFolder* folder, LPCITEMIDLIST list) {
  SFGAOF attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_CANCOPY | SFGAO_CANDELETE | SFGAO_CANRENAME |
                      SFGAO_READONLY;
  if (FAILED(folder->GetAttributesOf(1, &list, &attributes))) return "?";
  std::string text;
  const std::pair<SFGAOF, const char*> names[] = {
      {SFGAO_FOLDER, "folder"}, {SFGAO_HASSUBFOLDER, "subfolders"}, {SFGAO_CANCOPY, "copy"},
      {SFGAO_CANDELETE, "delete"}, {SFGAO_CANRENAME, "rename"}, {SFGAO_READONLY, "read-only"}};
  for (const auto& name : names)
    if (attributes & name.first) text += (text.empty() ? "" : ",") + std::string(name.second);
  return text;
}

std::string DisplayName(IShellFolder* folder, LPCITEMIDLIST list) {
  STRRET name{};
  wchar_t* text = nullptr;
  if (FAILED(folder->GetDisplayNameOf(list, SHGDN_INFOLDER, &name)) || FAILED(StrRetToStrW(&name, list, &text)))
    return "";
  const std::string result = ToAnsi(text);
  CoTaskMemFree(text);
  return result;
}

// The view's columns: at the root Name, Size, Type, Created, Comment; below it Name, In Folder,
// Size, Type, Modified, Created in.
std::string Columns(IShellFolder* folder, LPCITEMIDLIST list, const Item& item, bool root) {
  const std::string name(item.name);
  if (root) {
    std::string comment(item.second ? *item.second : "");
    for (char& c : comment) c = c == '\n' ? ' ' : (c == '\r' ? ',' : c);
    return name + " | " + ColumnSizeText(item) + " | " + ShellString(IDS_TYPE_SNAPSHOT) + " | " +
           DateTime(item.fields.creationTime) + " | " + comment;
  }
  const size_t slash = name.find_last_of('\\');
  return DisplayName(folder, list) + " | " + (slash == std::string::npos ? "" : name.substr(0, slash)) + " | " +
         ColumnSizeText(item) + " | " + ItemTypeName(item) + " | " + DateTime(item.fields.modificationTime) + " | " +
         std::string(item.second ? *item.second : "");
}

void Walk(IShellFolder* folder, bool root, int depth) {
  ComPtr<IEnumIDList> items;
  if (depth > kMaxDepth ||
      folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, items.Out()) != S_OK)
    return;
  LPITEMIDLIST list = nullptr;
  while (items->Next(1, &list, nullptr) == S_OK) {
    const std::optional<Item> item = FirstItem(list);
    if (item) {
      std::printf("%*s%s  [%s]\n%*s  %s\n", depth * 2, "", DisplayName(folder, list).c_str(),
                  Attributes(folder, list).c_str(), depth * 2, "", Columns(folder, list, *item, root).c_str());
      ComPtr<IShellFolder> child;
      if (item->IsFolder() && SUCCEEDED(folder->BindToObject(list, nullptr, IID_IShellFolder, child.OutVoid())))
        Walk(child.Get(), false, depth + 1);
    }
    CoTaskMemFree(list);
  }
}

int WalkArchive(const char* path) {
  char full[MAX_PATH];
  if (GetFullPathNameA(path, MAX_PATH, full, nullptr) == 0) return 1;
  LPITEMIDLIST location = nullptr;
  if (FAILED(SHParseDisplayName(FromAnsi(full).c_str(), nullptr, &location, 0, nullptr))) {
    std::fprintf(stderr, "The shell cannot find %s\n", full);
    return 1;
  }
  ComPtr<IPersistFolder> persist;
  ComPtr<IShellFolder> folder;
  HRESULT hr = CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFolder,
                                persist.OutVoid());
  if (SUCCEEDED(hr)) hr = persist->Initialize(location);
  if (SUCCEEDED(hr)) hr = persist.As(&folder);
  CoTaskMemFree(location);
  if (FAILED(hr)) {
    std::fprintf(stderr, "The archive folder cannot be opened (%#lx); is nsx12 registered?\n",
                 static_cast<unsigned long>(hr));
    return 1;
  }
  std::printf("%s\n", full);
  Walk(folder.Get(), true, 1);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nsx12walk <archive path>\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 1;
  Module::Attach(GetModuleHandleW(nullptr));
  const int result = WalkArchive(argv[1]);
  CoUninitialize();
  return result;
}
