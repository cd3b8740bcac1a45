// The engine's class table.
#pragma once

#include "ClassTable.h"

namespace cairn {

// The classes of the engine, in their fixed order.
const ClassTable& EngineClasses();

}  // namespace cairn
