#include "ArchiveSettings.h"

#include <algorithm>

#include "AnsiText.h"
#include "ArchiveItems.h"
#include "Handle.h"

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

bool WriteList(ICairnArchiveFilter* filter, bool include, const std::string& text) {
  const Bstr list = AnsiBstr(text);
  return SUCCEEDED(include ? filter->SetInclList(list.Get()) : filter->SetExclList(list.Get()));
}

// The options word with the page's bits set as the settings say; the other bits as they are.
long OptionsWith(long options, const ArchiveSettings& settings) {
  const long compression = settings.compress
                               ? kOptionCompress | (settings.optimiseForSpace ? kOptionOptimiseForSpace : 0)
                               : 0;
  const long compressionMask = settings.compress ? kOptionCompress | kOptionOptimiseForSpace : kOptionCompress;
  options = (options & ~compressionMask) | compression;
  const auto set = [&options](long bit, bool on) { options = (options & ~bit) | (on ? bit : 0); };
  set(kOptionModifiedTime, settings.modifiedTime);
  set(kOptionFindMovedData, settings.findMovedData);
  set(kOptionUtf8Names, settings.utf8Names);
  set(kOptionShowActivity, settings.showActivity);
  set(kOptionAutoDismiss, settings.autoDismiss);
  return options;
}

// Why the archive could not be opened for writing, as the page tells it: a writer at work by the
// engine's answer, the rest by the file itself, since the answers for them vary.
SettingsWritten OpenFailure(HRESULT why, const std::string& path) {
  if (why == STG_E_SHAREVIOLATION || why == STG_E_LOCKVIOLATION || why == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) ||
      why == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION))
    return SettingsWritten::kBusy;
  const DWORD attributes = GetFileAttributesW(FromAnsi(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return SettingsWritten::kGone;
  if (why == E_ACCESSDENIED || why == STG_E_ACCESSDENIED || (attributes & FILE_ATTRIBUTE_READONLY))
    return SettingsWritten::kDenied;
  // The file's own answer to a writer (an immutable file refuses one without the attribute).
  Handle file(CreateFileW(FromAnsi(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr));
  if (file) return SettingsWritten::kFailed;
  const DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return SettingsWritten::kBusy;
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ? SettingsWritten::kDenied
                                                                      : SettingsWritten::kFailed;
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
  if (!reader) return settings;
  settings.read = true;
  ComPtr<ICairnArchiveAdmin> admin;
  long options = 0;
  if (SUCCEEDED(reader.As(&admin)) && SUCCEEDED(admin->GetOptions(&options))) {
    settings.optionsRead = true;
    settings.compress = (options & kOptionCompress) != 0;
    settings.optimiseForSpace = settings.compress && (options & kOptionOptimiseForSpace) != 0;
    settings.modifiedTime = (options & kOptionModifiedTime) != 0;
    settings.findMovedData = (options & kOptionFindMovedData) != 0;
    settings.utf8Names = (options & kOptionUtf8Names) != 0;
    settings.showActivity = (options & kOptionShowActivity) != 0;
    settings.autoDismiss = (options & kOptionAutoDismiss) != 0;
  }
  ComPtr<ICairnArchiveFilter> filter;
  std::string include, exclude;
  if (SUCCEEDED(reader.As(&filter))) {
    settings.includeRead = ReadList(filter.Get(), true, &include);
    settings.excludeRead = ReadList(filter.Get(), false, &exclude);
  }
  settings.include = SplitPatterns(include);
  settings.exclude = SplitPatterns(exclude);
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
  return settings;
}

SettingsWritten WriteArchiveSettings(const ArchiveOperations& archive, const ArchiveSettings& settings) {
  if (!settings.read) return SettingsWritten::kWritten;
  HRESULT why = S_OK;
  ComPtr<ICairnArchive> writer = archive.ArchiveToWrite(ArchiveOperations::kWindowWriterWaitMs, &why);
  if (!writer) return OpenFailure(why, archive.ArchivePath());
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<ICairnArchiveFilter> filter;
  // What the archive holds now: the values to compare with, and to put back after a failed step.
  long options = 0;
  std::string include, exclude;
  if (FAILED(writer.As(&admin)) || FAILED(writer.As(&filter)) || FAILED(admin->GetOptions(&options)) ||
      !ReadList(filter.Get(), true, &include) || !ReadList(filter.Get(), false, &exclude))
    return SettingsWritten::kFailed;
  const long newOptions = settings.optionsRead ? OptionsWith(options, settings) : options;
  const std::string newInclude = settings.includeRead ? JoinPatterns(settings.include) : include;
  const std::string newExclude = settings.excludeRead ? JoinPatterns(settings.exclude) : exclude;
  const bool optionsChange = newOptions != options, includeChange = newInclude != include;
  if (optionsChange && FAILED(admin->SetOptions(newOptions))) return SettingsWritten::kFailed;
  bool written = !includeChange || WriteList(filter.Get(), true, newInclude);
  written = written && (newExclude == exclude || WriteList(filter.Get(), false, newExclude));
  if (written) return SettingsWritten::kWritten;
  if (includeChange) WriteList(filter.Get(), true, include);
  if (optionsChange) admin->SetOptions(options);
  return SettingsWritten::kFailed;
}

}  // namespace shell
}  // namespace cairn
