// The class table of nsx12: the classes built so far, in the order of their registration scripts.
#include "ShellClasses.h"

#include "CairnFolder.h"
#include "CairnIcon.h"
#include "CairnIDEnum.h"
#include "CairnView.h"

namespace cairn {
namespace shell {

const ClassTable& ShellClasses() {
  static const ClassEntry entries[] = {
      {&CLSID_CairnFolder, L"CairnFolder", L"CairnFolder Class", L"CairnFolder Class", &CCairnFolder::Create},
      {&CLSID_CairnIDEnum, L"CairnIDEnum", L"CairnIDEnum Class", L"CairnIDEnum Class", &CairnIDEnum::Create},
      {&CLSID_CairnView, L"CairnView", L"CairnView Class", L"CairnView Class", &CCairnView::Create},
      {&CLSID_CairnIcon, L"CairnIcon", L"CairnIcon Class", L"CairnIcon Class", &CairnIcon::Create},
  };
  static const ClassTable table = {entries, sizeof entries / sizeof entries[0]};
  return table;
}

}  // namespace shell
}  // namespace cairn
