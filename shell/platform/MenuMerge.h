// Merging a popup of the module's menu resources into a menu the shell or the browser owns: the
// view's menus into the browser's, and the menu of an archive's items into the one the shell
// builds. One way for both.
#pragma once

#include <windows.h>

namespace cairn {
namespace shell {

// Copies the items of popup `popupIndex` of the module's menu resource `menuId` into `target` at
// `position` (past its end: appended), every command identifier raised by `idAdjust`; items whose
// raised identifier passes `idLast` are left out, submenus are copied with their items. With
// `separated`, a separator stands between the merged items and the target's own, never two in a
// row. Gives one more than the highest identifier inserted: idAdjust when none was, also when the
// resource cannot be loaded.
UINT MergeMenuResource(HMENU target, UINT position, UINT menuId, int popupIndex, UINT idAdjust, UINT idLast,
                       bool separated);

}  // namespace shell
}  // namespace cairn
