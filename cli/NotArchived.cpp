#include "NotArchived.h"

#include <cstdio>
#include <string>
#include <vector>

#include "ArchiveHeap.h"
#include "ComPtr.h"
#include "ConsoleText.h"
#include "LogRecords.h"
#include "NotArchivedLines.h"
#include "Result.h"

namespace cairn {
namespace cn {
namespace {

ComPtr<IStream> LogStream(ICairnArchive* archive) {
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<IStream> log;
  if (FAILED(archive->QueryInterface(IID_ICairnArchiveAdmin, admin.OutVoid())) || !admin ||
      FAILED(admin->GetLogStream(log.Out())))
    log.Reset();
  return log;
}

// Whether the archive has a live snapshot, whose objects a snapshot walks even when it adds none.
bool HasLiveSnapshot(ICairnArchive* archive) {
  ComPtr<IEnumSnapShots> snapshots;
  ComPtr<ICairnSnapShot> last;
  return SUCCEEDED(archive->EnumSnapShots(0, snapshots.Out())) && snapshots &&
         snapshots->Last(1, last.Out()) == S_OK && last;
}

// A stored name as wide text, in the encoding the archive's options give its names.
std::wstring StoredName(const std::string& text, bool utf8) {
  const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

bool HasUtf8Names(ICairnArchive* archive) {
  ComPtr<ICairnArchiveAdmin> admin;
  LONG options = 0;
  return SUCCEEDED(archive->QueryInterface(IID_ICairnArchiveAdmin, admin.OutVoid())) && admin &&
         SUCCEEDED(admin->GetOptions(&options)) && (static_cast<uint32_t>(options) & options::kUtf8Names) != 0;
}

}  // namespace

uint64_t SnapshotStart() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
}

void ReportNotArchived(ICairnArchive* archive, uint64_t start, HRESULT result, bool adding) {
  if (result == kArchiveFull) std::fputs("The archive is full: it cannot grow past 4 GB.\n", stderr);
  if (FAILED(result) || (result == S_FALSE && !adding && !HasLiveSnapshot(archive))) return;
  ComPtr<IStream> log = LogStream(archive);
  LARGE_INTEGER zero = {};
  if (!log || FAILED(log->Seek(zero, STREAM_SEEK_SET, nullptr))) return;
  std::vector<uint8_t> bytes;
  uint8_t piece[4096];
  ULONG got = 0;
  while (SUCCEEDED(log->Read(piece, sizeof piece, &got)) && got > 0) bytes.insert(bytes.end(), piece, piece + got);
  const bool utf8 = HasUtf8Names(archive);
  for (const NotArchivedLine& line : NotArchivedLines(ParseLog(bytes.data(), bytes.size()), start)) {
    if (line.name.empty())
      std::fprintf(stderr, "%s\n", line.reason.c_str());
    else
      std::fprintf(stderr, "%s: %s\n", line.reason.c_str(), Console(StoredName(line.name, utf8).c_str()).c_str());
  }
}

}  // namespace cn
}  // namespace cairn
