// The file lists that data transfers carry (CF_HDROP) and the marker of the extension's own data
// objects: the one place that reads a file list, for the drop targets, Paste and the archive
// file's menu.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <optional>
#include <string>
#include <vector>

namespace cairn {
namespace shell {

// The marker format of the extension's data objects (the number of CF_SYLK): items copied out of
// an archive are never added to one.
constexpr CLIPFORMAT kOwnDataMarker = 4;

// The formats as the extension's data objects offer them and its readers ask for them: content in
// global memory.
FORMATETC FileListFormat();
FORMATETC OwnDataMarkerFormat();

// True when the data is one of the extension's own (it offers the marker).
bool OffersOwnData(IDataObject* data);
// True when the data offers a file list and is not the extension's own: what may be added.
bool OffersFilesToAdd(IDataObject* data);

// The paths of the data's file list (wide: a file may be named beyond the code page), its medium
// released here: the data's failure to give one as
// it is, kUnsoundFileList for one that is not sound.
constexpr HRESULT kUnsoundFileList = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, ERROR_INVALID_DATA);
HRESULT ReadFileList(IDataObject* data, std::vector<std::wstring>* paths);
// The paths to add from the data: its file list, when it is not the extension's own data and
// names at least one file; nullopt otherwise.
std::optional<std::vector<std::wstring>> FilesToAdd(IDataObject* data);
// The files the clipboard offers to add (the OLE clipboard, as FilesToAdd reads it).
std::optional<std::vector<std::wstring>> ClipboardFilesToAdd();
bool ClipboardOffersFilesToAdd();

// The paths of a drop list, read only when the block holds a sound list: a DROPFILES header and,
// inside the block, names ending with an empty one. nullopt otherwise.
std::optional<std::vector<std::wstring>> DroppedPaths(HGLOBAL block);

}  // namespace shell
}  // namespace cairn
