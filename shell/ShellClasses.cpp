// The class table of nsx12: the classes built so far, in the order of their registration scripts.
#include "CairnFolder.h"
#include "CairnIcon.h"
#include "CairnIDEnum.h"
#include "CairnView.h"
#include "ShellModule.h"

namespace cairn {
namespace shell {

const ShellClass* ShellClasses(size_t* count) {
  static const ShellClass classes[] = {
      {&CLSID_CairnFolder, L"CairnFolder", &CCairnFolder::Create},
      {&CLSID_CairnIDEnum, L"CairnIDEnum", &CairnIDEnum::Create},
      {&CLSID_CairnView, L"CairnView", &CCairnView::Create},
      {&CLSID_CairnIcon, L"CairnIcon", &CairnIcon::Create},
  };
  *count = sizeof classes / sizeof classes[0];
  return classes;
}

}  // namespace shell
}  // namespace cairn
