// The class table of nsx12: the classes built so far, in the order of their registration scripts.
#include "ShellClasses.h"

#include "CairnDataObject.h"
#include "CairnDropSource.h"
#include "CairnDropTarget.h"
#include "CairnFolder.h"
#include "CairnHistory.h"
#include "CairnIcon.h"
#include "CairnIDEnum.h"
#include "CairnShellExt.h"
#include "CairnView.h"
#include "ObjFormats.h"

namespace cairn {
namespace shell {

const ClassTable& ShellClasses() {
  static const ClassEntry entries[] = {
      {&CLSID_CairnFolder, L"CairnFolder", L"CairnFolder Class", L"CairnFolder Class", &CCairnFolder::Create},
      {&CLSID_CairnIDEnum, L"CairnIDEnum", L"CairnIDEnum Class", L"CairnIDEnum Class", &CairnIDEnum::Create},
      {&CLSID_CairnView, L"CairnView", L"CairnView Class", L"CairnView Class", &CCairnView::Create},
      {&CLSID_CairnShellExt, L"CairnShellExt", L"CairnShellExt Class", L"CairnShellExt Class", &CairnShellExt::Create},
      {&CLSID_ObjFormats, L"ObjFormats", L"ObjFormats Class", L"ObjFormats Class", &ObjFormats::Create},
      {&CLSID_CairnDropSource, L"CairnDropSource", L"CairnDropSource Class", L"CairnDropSource Class",
       &CairnDropSource::Create},
      {&CLSID_CairnDataObject, L"CairnDataObject", L"CairnDataObject Class", L"CairnDataObject Class",
       &CairnDataObject::Create},
      {&CLSID_CairnDropTarget, L"CairnDropTarget", L"CairnDropTarget Class", L"CairnDropTarget Class",
       &CairnDropTarget::Create},
      {&CLSID_CairnIcon, L"CairnIcon", L"CairnIcon Class", L"CairnIcon Class", &CairnIcon::Create},
      {&CLSID_CairnHistory, L"CairnHistory", L"CairnHistory Class", L"CairnHistory Class", &CairnHistory::Create},
  };
  static const ClassTable table = {entries, sizeof entries / sizeof entries[0]};
  return table;
}

}  // namespace shell
}  // namespace cairn
