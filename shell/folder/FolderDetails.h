// What the archive view shows of a level's items, decided from their bytes here so that the view
// never reads them: the columns and each item's text in them, the overlay marking what the shown
// snapshot added or changed, the status bar's texts, and the stored names that confirmations
// quote.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

#include "FolderLevel.h"
#include "StoredText.h"
#include "ItemId.h"

namespace cairn {
namespace shell {

// The columns of a level: at the root Name, Size, Type, Created and Comment; below it Name, In
// Folder, Size, Type, Modified and Created in. For a null item the column's title, else the
// item's text, its own texts read as the archive keeps its names; E_INVALIDARG past the last
// column. As IShellFolder2::GetDetailsOf fills its record.
HRESULT ColumnDetails(bool atRoot, const Item* item, UINT column, const StoredText& names, SHELLDETAILS* details);

// Overlay of an item of the level (1 added by the shown snapshot, 3 changed by it, 0 neither).
int ItemOverlay(const FolderLevel& level, LPCITEMIDLIST item);

// The two parts of the status bar for the items shown and those selected: their counts, and at
// the root the latest snapshot's (or the one selected snapshot's) time, below it their size.
std::pair<std::string, std::string> StatusTexts(const FolderLevel& level, const std::vector<LPCITEMIDLIST>& all,
                                                const std::vector<LPCITEMIDLIST>& selected);

// The stored names of the items; false when one is malformed.
bool StoredNames(const std::vector<LPCITEMIDLIST>& items, std::vector<std::string>* names);

}  // namespace shell
}  // namespace cairn
