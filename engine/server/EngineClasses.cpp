// The engine's class table: the classes built so far, in their fixed order.
#include "CairnArchive.h"
#include "CairnObject.h"
#include "CairnRevision.h"
#include "CairnSnapShot.h"
#include "CairnStatus.h"
#include "EngineClasses.h"
#include "EnumCairnObjects.h"
#include "EnumCairnRevisions.h"
#include "EnumSnapShots.h"
#include "Storage.h"
#include "Stream.h"
#include "cairn.h"

namespace cairn {

const ClassTable& EngineClasses() {
  static const ClassEntry entries[] = {
      {&CLSID_CairnArchive, L"CairnArchive", L"CairnArchive Class", L"CairnArchive Class", &CairnArchive::Create},
      {&CLSID_EnumSnapShots, L"EnumSnapShots", L"EnumSnapShots Class", L"EnumSnapShots Class",
       &EnumSnapShots::Create},
      {&CLSID_CairnSnapShot, L"CairnSnapShot", L"CairnSnapShot Class", L"CairnSnapShot Class",
       &CairnSnapShot::Create},
      {&CLSID_CairnObject, L"CairnObject", L"CairnObject Class", L"CairnObject Class", &CairnObject::Create},
      {&CLSID_EnumCairnObjects, L"EnumCairnObjects", L"EnumCairnObjects Class", L"EnumObjects Class",
       &EnumCairnObjects::Create},
      {&CLSID_Stream, L"Stream", L"Stream Class", L"Stream Class", &Stream::Create},
      {&CLSID_Storage, L"Storage", L"Storage Class", L"Storage Class", &Storage::Create},
      {&CLSID_CairnRevision, L"CairnRevision", L"CairnRevision Class", L"CairnRevision Class",
       &CairnRevision::Create},
      {&CLSID_EnumCairnRevisions, L"EnumCairnRevisions", L"EnumCairnRevisions Class", L"EnumCairnRevisions Class",
       &EnumCairnRevisions::Create},
      {&CLSID_CairnStatus, L"CairnStatus", L"CairnStatus Class", L"CairnStatus Class", &CairnStatus::Create},
  };
  static const ClassTable table = {entries, sizeof entries / sizeof entries[0]};
  return table;
}

}  // namespace cairn
