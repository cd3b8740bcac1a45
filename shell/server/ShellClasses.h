// The class table of nsx12.
#pragma once

#include "ClassTable.h"

namespace cairn {
namespace shell {

// The classes built so far, in the order of their registration scripts.
const ClassTable& ShellClasses();

}  // namespace shell
}  // namespace cairn
