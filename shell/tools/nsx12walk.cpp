// nsx12walk: prints an archive as the shell sees it. It comes in the way Explorer does (the
// desktop parses the archive's path, the folder class is created and initialised with that ID
// list), then enumerates and binds level by level, printing each item's display name, its shell
// attributes and the columns the archive view shows for it, as the folder gives them.
//
// usage: nsx12walk <archive path>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

#include "AnsiText.h"
#include "ArchiveFolder.h"
#include "ComPtr.h"
#include "IdList.h"
#include "TaskMemory.h"
#include "nsx12.h"

using namespace cairn;
using namespace cairn::shell;

namespace {

constexpr int kMaxDepth = 32;

SFGAOF AttributesOf(IShellFolder* folder, LPCITEMIDLIST list, SFGAOF asked) {
  return SUCCEEDED(folder->GetAttributesOf(1, &list, &asked)) ? asked : 0;
}

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

std::string Text(STRRET* name, LPCITEMIDLIST list) {
  wchar_t* text = nullptr;
  if (FAILED(StrRetToStrW(name, list, &text))) return "";
  const TaskMemory<wchar_t> owned(text);
  return ToAnsi(text);
}

std::string DisplayName(IShellFolder* folder, LPCITEMIDLIST list) {
  STRRET name{};
  return SUCCEEDED(folder->GetDisplayNameOf(list, SHGDN_INFOLDER, &name)) ? Text(&name, list) : "";
}

// The view's columns, as the folder gives them: at the root Name, Size, Type, Created, Comment;
// below it Name, In Folder, Size, Type, Modified, Created in.
std::string Columns(IArchiveFolder* folder, LPCITEMIDLIST list) {
  std::string line;
  SHELLDETAILS details{};
  for (UINT column = 0; SUCCEEDED(folder->GetDetailsOf(list, column, &details)); ++column)
    line += (column == 0 ? "" : " | ") + Text(&details.str, list);
  return line;
}

void Walk(IShellFolder* folder, int depth) {
  ComPtr<IEnumIDList> items;
  ComPtr<IArchiveFolder> details;
  if (depth > kMaxDepth || FAILED(folder->QueryInterface(__uuidof(IArchiveFolder), details.OutVoid())) ||
      folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, items.Out()) != S_OK)
    return;
  IdList list;
  while (items->Next(1, list.Out(), nullptr) == S_OK) {
    std::printf("%*s%s  [%s]\n%*s  %s\n", depth * 2, "", DisplayName(folder, list.Get()).c_str(),
                Attributes(folder, list.Get()).c_str(), depth * 2, "", Columns(details.Get(), list.Get()).c_str());
    ComPtr<IShellFolder> child;
    if ((AttributesOf(folder, list.Get(), SFGAO_FOLDER) & SFGAO_FOLDER) &&
        SUCCEEDED(folder->BindToObject(list.Get(), nullptr, IID_IShellFolder, child.OutVoid())))
      Walk(child.Get(), depth + 1);
  }
}

int WalkArchive(const char* path) {
  char full[MAX_PATH];
  if (GetFullPathNameA(path, MAX_PATH, full, nullptr) == 0) return 1;
  IdList location;
  if (FAILED(SHParseDisplayName(FromAnsi(full).c_str(), nullptr, location.Out(), 0, nullptr))) {
    std::fprintf(stderr, "The shell cannot find %s\n", full);
    return 1;
  }
  ComPtr<IPersistFolder> persist;
  ComPtr<IShellFolder> folder;
  HRESULT hr = CoCreateInstance(CLSID_CairnFolder, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFolder,
                                persist.OutVoid());
  if (SUCCEEDED(hr)) hr = persist->Initialize(location.Get());
  if (SUCCEEDED(hr)) hr = persist.As(&folder);
  if (FAILED(hr)) {
    std::fprintf(stderr, "The archive folder cannot be opened (%#lx); is nsx12 registered?\n",
                 static_cast<unsigned long>(hr));
    return 1;
  }
  std::printf("%s\n", full);
  Walk(folder.Get(), 1);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nsx12walk <archive path>\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 1;
  const int result = WalkArchive(argv[1]);
  CoUninitialize();
  return result;
}
