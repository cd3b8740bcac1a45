#include "TargetBrowse.h"

#include <commdlg.h>
#include <shlobj.h>

#include "AnsiText.h"
#include "IdList.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

int CALLBACK FolderBoxEvent(HWND box, UINT message, LPARAM lParam, LPARAM data) {
  if (message == BFFM_INITIALIZED) {
    SendMessageA(box, BFFM_SETSELECTIONA, TRUE, data);
  } else if (message == BFFM_SELCHANGED) {
    char path[MAX_PATH] = "";
    if (!SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(lParam), path)) path[0] = 0;
    SendMessageA(box, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
  }
  return 0;
}

}  // namespace

bool BrowseForTargetFolder(HWND owner, const std::string& current, std::string* chosen) {
  const std::string title = ShellString(IDS_SAVE_TO);
  char display[MAX_PATH] = "";
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_RETURNFSANCESTORS;
  info.lpfn = &FolderBoxEvent;
  info.lParam = reinterpret_cast<LPARAM>(current.c_str());
  const IdList folder(SHBrowseForFolderA(&info));
  char path[MAX_PATH] = "";
  if (!folder || !SHGetPathFromIDListA(folder.Get(), path) || path[0] == 0) return false;
  *chosen = path;
  return true;
}

bool BrowseForTargetFile(HWND owner, const std::string& current, std::string* chosen) {
  const std::string title = ShellString(IDS_SAVE_AS);
  char file[MAX_PATH] = "";
  lstrcpynA(file, current.c_str(), MAX_PATH);
  const size_t slash = current.find_last_of('\\');
  const std::string folder = slash == std::string::npos ? std::string() : current.substr(0, slash);
  OPENFILENAMEA box = {};
  box.lStructSize = sizeof box;
  box.hwndOwner = owner;
  box.lpstrFile = file;
  box.nMaxFile = MAX_PATH;
  box.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  box.lpstrTitle = title.c_str();
  box.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT;
  if (!GetSaveFileNameA(&box)) return false;
  *chosen = file;
  return true;
}

}  // namespace shell
}  // namespace cairn
