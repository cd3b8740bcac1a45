#include "MenuMerge.h"

#include <shlobj.h>

#include "Module.h"
#include "UserObjects.h"

namespace cairn {
namespace shell {

UINT MergeMenuResource(HMENU target, UINT position, UINT menuId, int popupIndex, UINT idAdjust, UINT idLast,
                       bool separated) {
  const Menu source(LoadMenuA(Module::Instance(), MAKEINTRESOURCEA(menuId)));
  HMENU items = source ? GetSubMenu(source.Get(), popupIndex) : nullptr;
  if (target == nullptr || items == nullptr) return idAdjust;
  return Shell_MergeMenus(target, items, position, idAdjust, idLast, separated ? MM_ADDSEPARATOR : 0);
}

}  // namespace shell
}  // namespace cairn
