// The engine's classes, in the order of the server's class table, as data for the class
// factory and for registration.
#pragma once

#include <windows.h>

#include <cstddef>

namespace cairn {

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* name;               // "CairnArchive": ProgIDs are "Cairn." + name (+ ".1")
  const wchar_t* description;        // under the ProgID keys and in the type library
  const wchar_t* clsidDescription;   // under the class identifier key
  HRESULT (*create)(REFIID iid, void** object);
};

struct ClassTable {
  const ClassEntry* entries;
  size_t count;
  const ClassEntry* Find(REFCLSID clsid) const;
};

// The classes built so far; each joins the table when it is built.
const ClassTable& EngineClasses();

}  // namespace cairn
