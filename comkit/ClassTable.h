// A server's classes as data, for its class factory and its registration.
#pragma once

#include <windows.h>

#include <cstddef>

namespace cairn {

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* name;              // %NAME% of the registration rows, e.g. "CairnArchive"
  const wchar_t* description;       // %DESCRIPTION%: under the ProgID keys and in the type library
  const wchar_t* clsidDescription;  // %CLSIDDESCRIPTION%: under the class identifier key
  HRESULT (*create)(REFIID iid, void** object);
};

struct ClassTable {
  const ClassEntry* entries;
  size_t count;
  const ClassEntry* Find(REFCLSID clsid) const;
};

}  // namespace cairn
