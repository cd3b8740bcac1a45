#include "SnapshotItem.h"

#include <cstdio>

#include "CommandLine.h"
#include "ConsoleText.h"

namespace cairn {
namespace cn {

bool FindNamedSnapshot(IEnumSnapShots* snapshots, const std::string& item, ComPtr<ICairnSnapShot>* snapshot) {
  Bstr name(Wide(FirstPathComponent(item)));
  if (snapshots->NextByName(name.Get(), snapshot->Out()) == S_OK && *snapshot) return true;
  std::fprintf(stderr, "Snapshot, %s does not exists\n", Console(item).c_str());
  return false;
}

}  // namespace cn
}  // namespace cairn
