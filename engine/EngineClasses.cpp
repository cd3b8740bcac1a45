// The engine's class table: the classes built so far, in their fixed order.
#include "CairnArchive.h"
#include "ClassTable.h"
#include "cairn.h"

namespace cairn {

const ClassTable& EngineClasses() {
  static const ClassEntry entries[] = {
      {&CLSID_CairnArchive, L"CairnArchive", L"CairnArchive Class", L"CairnArchive Class", &CairnArchive::Create},
  };
  static const ClassTable table = {entries, sizeof entries / sizeof entries[0]};
  return table;
}

}  // namespace cairn
