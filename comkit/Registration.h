// Writing and removing the registry entries of the engine's classes and its type library.
#pragma once

#include <windows.h>

#include "ClassTable.h"

namespace cairn {

// Writes the entries of every class (ProgIDs and class identifier key, with the module as the
// in-process server) and registers the type library. Returns the first failure.
HRESULT RegisterClasses(const ClassTable& classes, const GUID& libraryId, const wchar_t* modulePath);

// Removes exactly what RegisterClasses wrote and unregisters the type library. Keys that are
// already gone are not an error.
HRESULT UnregisterClasses(const ClassTable& classes, const GUID& libraryId);

}  // namespace cairn
