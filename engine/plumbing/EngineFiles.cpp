#include "EngineFiles.h"

namespace cairn {
namespace {
PlatformFiles* g_files = nullptr;
}  // namespace

PlatformFiles& EngineFiles() { return g_files != nullptr ? *g_files : PlatformFiles::Native(); }

void UseEngineFiles(PlatformFiles* files) { g_files = files; }

}  // namespace cairn
