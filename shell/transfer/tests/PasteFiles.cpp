// pastefiles: pastes the files on the clipboard into a folder, as Explorer's Paste does (the
// clipboard's file list copied with the shell's file operation). A process of its own, so that the
// data object it reads lives in another.
//
// usage: pastefiles <folder>   (exit code 0 when the files were copied)
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 || FAILED(OleInitialize(nullptr))) return 2;
  int result = 1;
  IDataObject* data = nullptr;
  FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (SUCCEEDED(OleGetClipboard(&data)) && SUCCEEDED(data->GetData(&files, &medium))) {
    auto drop = static_cast<HDROP>(medium.hGlobal);
    std::wstring from;
    for (UINT i = 0, n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i) {
      wchar_t path[MAX_PATH] = L"";
      DragQueryFileW(drop, i, path, MAX_PATH);
      from += std::wstring(path) + L'\0';
    }
    from += L'\0';
    const std::wstring to = std::wstring(argv[1]) + L'\0';
    SHFILEOPSTRUCTW copy = {};
    copy.wFunc = FO_COPY;
    copy.pFrom = from.c_str();
    copy.pTo = to.c_str();
    copy.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI | FOF_SILENT;
    if (SHFileOperationW(&copy) == 0 && !copy.fAnyOperationsAborted) result = 0;
    ReleaseStgMedium(&medium);
  }
  if (data != nullptr) data->Release();
  OleUninitialize();
  return result;
}
