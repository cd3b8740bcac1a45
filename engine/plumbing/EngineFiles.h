// The platform layer through which the engine opens archives and the temporary files of rebuilt
// contents: the operating system's files, unless the engine's test settings put a fault-injecting
// layer in their place.
#pragma once

#include "PlatformFile.h"

namespace cairn {

PlatformFiles& EngineFiles();

// Makes files the engine's platform layer (null: the operating system's files again). Called
// before any archive is opened; files must outlive every use.
void UseEngineFiles(PlatformFiles* files);

}  // namespace cairn
