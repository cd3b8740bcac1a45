#include "NotArchived.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "ConsoleText.h"
#include "LogRecords.h"

namespace cairn {
namespace cn {
namespace {

constexpr uint32_t kObjectMissing = 110;  // "Object deleted, locked or excluded: %1"

ComPtr<IStream> LogStream(ICairnArchive* archive) {
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<IStream> log;
  if (FAILED(archive->QueryInterface(IID_ICairnArchiveAdmin, admin.OutVoid())) || !admin ||
      FAILED(admin->GetLogStream(log.Out())))
    log.Reset();
  return log;
}

std::wstring FromAnsi(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

}  // namespace

uint64_t SnapshotStart() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
}

void ReportNotArchived(ICairnArchive* archive, uint64_t start) {
  ComPtr<IStream> log = LogStream(archive);
  LARGE_INTEGER zero = {};
  if (!log || FAILED(log->Seek(zero, STREAM_SEEK_SET, nullptr))) return;
  std::vector<uint8_t> bytes;
  uint8_t piece[4096];
  ULONG got = 0;
  while (SUCCEEDED(log->Read(piece, sizeof piece, &got)) && got > 0) bytes.insert(bytes.end(), piece, piece + got);
  for (const LogEntry& entry : ParseLog(bytes.data(), bytes.size())) {
    // A name converted with losses holds the code page's '?', which no file name on the disk
    // can: such a missing object was left out for its name, not deleted or locked.
    if (entry.time < start || entry.id != kObjectMissing || entry.text.find('?') == std::string::npos) continue;
    std::fprintf(stderr, "Not archived, the name cannot be stored: %s\n", Console(FromAnsi(entry.text).c_str()).c_str());
  }
}

}  // namespace cn
}  // namespace cairn
