#include "StatStg.h"

#include <cstring>

namespace cairn {
namespace {

uint64_t Join(const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

FILETIME Split(uint64_t v) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(v);
  t.dwHighDateTime = static_cast<DWORD>(v >> 32);
  return t;
}

}  // namespace

StatBlock ToStatBlock(const STATSTG& stat) {
  StatBlock block;
  block.type = stat.type;
  block.size = stat.cbSize.QuadPart;
  block.modified = Join(stat.mtime);
  block.created = Join(stat.ctime);
  block.accessed = Join(stat.atime);
  block.mode = stat.grfMode;
  block.locksSupported = stat.grfLocksSupported;
  static_assert(sizeof stat.clsid == sizeof block.classId, "class identifiers are 16 bytes");
  std::memcpy(block.classId, &stat.clsid, sizeof block.classId);
  block.stateBits = stat.grfStateBits;
  block.attributes = stat.reserved;
  return block;
}

STATSTG ToStatStg(const StatBlock& block) {
  STATSTG stat = {};
  stat.pwcsName = nullptr;
  stat.type = block.type;
  stat.cbSize.QuadPart = block.size;
  stat.mtime = Split(block.modified);
  stat.ctime = Split(block.created);
  stat.atime = Split(block.accessed);
  stat.grfMode = block.mode;
  stat.grfLocksSupported = block.locksSupported;
  std::memcpy(&stat.clsid, block.classId, sizeof block.classId);
  stat.grfStateBits = block.stateBits;
  stat.reserved = block.attributes;
  return stat;
}

}  // namespace cairn
