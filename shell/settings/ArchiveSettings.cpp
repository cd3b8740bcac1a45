#include "ArchiveSettings.h"

#include <algorithm>

#include "AnsiText.h"
#include "ArchiveItems.h"

namespace cairn {
namespace shell {
namespace {

bool ReadList(ICairnArchiveFilter* filter, bool include, std::string* text) {
  Bstr list;
  const HRESULT hr = include ? filter->GetInclList(list.Out()) : filter->GetExclList(list.Out());
  if (FAILED(hr)) return false;
  *text = BstrAnsi(list.Get());
  return true;
}

// Sets or clears the bits of one step of the options, on the options as they are now.
bool WriteOptionBits(ICairnArchiveAdmin* admin, long mask, long bits) {
  long options = 0;
  return SUCCEEDED(admin->GetOptions(&options)) && SUCCEEDED(admin->SetOptions((options & ~mask) | bits));
}

bool WriteList(ICairnArchiveFilter* filter, bool include, const std::vector<std::string>& patterns) {
  const std::string text = JoinPatterns(patterns);
  std::string current;
  if (!ReadList(filter, include, &current)) return false;
  if (text == current) return true;
  const Bstr list = AnsiBstr(text);
  return SUCCEEDED(include ? filter->SetInclList(list.Get()) : filter->SetExclList(list.Get()));
}

}  // namespace

std::string JoinPatterns(const std::vector<std::string>& patterns) {
  std::string text;
  for (size_t i = 0; i < patterns.size(); ++i) text += (i == 0 ? "" : ",") + patterns[i];
  return text;
}

std::vector<std::string> SplitPatterns(const std::string& text) {
  std::vector<std::string> patterns;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(',', start), text.size());
    if (end > start) patterns.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return patterns;
}

ArchiveSettings ReadArchiveSettings(const ArchiveOperations& archive) {
  ArchiveSettings settings;
  ComPtr<ICairnArchive> reader = archive.ArchiveToRead();
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<ICairnArchiveFilter> filter;
  long options = 0;
  std::string include, exclude;
  if (!reader || FAILED(reader.As(&admin)) || FAILED(reader.As(&filter)) || FAILED(admin->GetOptions(&options)) ||
      !ReadList(filter.Get(), true, &include) || !ReadList(filter.Get(), false, &exclude))
    return settings;
  settings.read = true;
  ComPtr<IEnumSnapShots> snapshots;
  if (SUCCEEDED(reader->EnumSnapShots(0, snapshots.Out())) && snapshots) {
    ComPtr<ICairnSnapShot> snapshot;
    while (snapshots->Next(1, snapshot.Out()) == S_OK && snapshot) ++settings.snapshots;
  }
  ComPtr<ICairnSnapShot> last = LatestSnapshot(reader.Get());
  unsigned long high = 0, low = 0;
  if (settings.snapshots > 0 && last && SUCCEEDED(last->GetCreationTime(&high, &low))) {
    settings.hasLastSnapshot = true;
    settings.lastSnapshot = (uint64_t{high} << 32) | low;
  }
  settings.compress = (options & kOptionCompress) != 0;
  settings.optimiseForSpace = settings.compress && (options & kOptionOptimiseForSpace) != 0;
  settings.showActivity = (options & kOptionShowActivity) != 0;
  settings.autoDismiss = (options & kOptionAutoDismiss) != 0;
  settings.include = SplitPatterns(include);
  settings.exclude = SplitPatterns(exclude);
  return settings;
}

bool WriteArchiveSettings(const ArchiveOperations& archive, const ArchiveSettings& settings) {
  if (!settings.read) return true;
  ComPtr<ICairnArchive> writer = archive.ArchiveToWrite(ArchiveOperations::kWindowWriterWaitMs);
  // Busy, read-only, refused or moved: the change would be lost, whatever the reason.
  if (!writer) return false;
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<ICairnArchiveFilter> filter;
  if (FAILED(writer.As(&admin)) || FAILED(writer.As(&filter))) return false;
  const long compression = settings.compress
                               ? kOptionCompress | (settings.optimiseForSpace ? kOptionOptimiseForSpace : 0)
                               : 0;
  const long compressionMask = settings.compress ? kOptionCompress | kOptionOptimiseForSpace : kOptionCompress;
  return WriteOptionBits(admin.Get(), compressionMask, compression) &&
         WriteOptionBits(admin.Get(), kOptionShowActivity, settings.showActivity ? kOptionShowActivity : 0) &&
         WriteOptionBits(admin.Get(), kOptionAutoDismiss, settings.autoDismiss ? kOptionAutoDismiss : 0) &&
         WriteList(filter.Get(), true, settings.include) && WriteList(filter.Get(), false, settings.exclude);
}

}  // namespace shell
}  // namespace cairn
