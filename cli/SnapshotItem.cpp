#include "SnapshotItem.h"

#include <cstdio>

#include "CommandLine.h"
#include "ConsoleText.h"

namespace cairn {
namespace cn {

bool FindNamedSnapshot(IEnumSnapShots* snapshots, const std::string& item, const std::string& archive,
                       ComPtr<ICairnSnapShot>* snapshot) {
  Bstr name(Wide(FirstPathComponent(item)));
  const HRESULT hr = snapshots->NextByName(name.Get(), snapshot->Out());
  if (hr == S_OK && *snapshot) return true;
  if (FAILED(hr))
    SnapshotWalkFailed(archive);
  else
    std::fprintf(stderr, "Snapshot, %s does not exists\n", Console(item).c_str());
  return false;
}

void SnapshotWalkFailed(const std::string& archive) {
  std::fprintf(stderr, "Failed to get snapshot enumerator for %s\n", Console(archive).c_str());
}

}  // namespace cn
}  // namespace cairn
