#include "ArchiveLog.h"

#include <cstdio>
#include <vector>

#include "ArchiveData.h"
#include "ComPtr.h"
#include "ObjectCreation.h"
#include "LogRecords.h"
#include "Module.h"
#include "Profile.h"

namespace cairn {
namespace {

// Writing an entry goes through the engine's own streams, whose failures are logged in turn:
// an entry met while one is being written is dropped rather than written recursively.
thread_local bool g_writing = false;

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

HRESULT WriteAll(IStream* stream, const void* bytes, size_t count) {
  ULONG written = 0;
  HRESULT hr = stream->Write(bytes, static_cast<ULONG>(count), &written);
  return FAILED(hr) ? hr : written == count ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT WriteText(IStream* stream, const std::string& text) { return WriteAll(stream, text.data(), text.size()); }

// "05/12/2026 14:03:07" in the user's short date and 24-hour time.
std::string LocalTime(uint64_t time) {
  FILETIME utc = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)}, local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return std::string();
  char date[80] = {}, clock[80] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, "HH':'mm':'ss", clock, sizeof clock);
  return std::string(date) + " " + clock;
}

// The message of an entry: its template from the string table with the inserts in place.
std::string Message(uint32_t id, const std::string& text) {
  char templ[260] = {};
  if (LoadStringA(Module::Instance(), id, templ, sizeof templ) <= 0) return std::string();
  std::vector<std::string> inserts = SplitInserts(text);
  // Every template may name up to 20 inserts; missing ones are empty, never read past the array.
  DWORD_PTR arguments[20];
  for (size_t i = 0; i < 20; ++i)
    arguments[i] = reinterpret_cast<DWORD_PTR>(i < inserts.size() ? inserts[i].c_str() : "");
  char* formatted = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           templ, 0, 0, reinterpret_cast<LPSTR>(&formatted), 0,
                           reinterpret_cast<va_list*>(arguments));
  std::string message = n > 0 && formatted != nullptr ? std::string(formatted, n) : std::string();
  if (formatted != nullptr) LocalFree(formatted);
  return message;
}

}  // namespace

bool WriteLogEntry(ICairnArchive* archive, uint32_t type, uint32_t id, const std::string& text) {
  if (archive == nullptr || g_writing) return false;
  profile::Scope scope(profile::kLogEntry);
  g_writing = true;
  bool stored = false;
  const std::vector<uint8_t> record = EncodeLogRecord(type, Now(), id, text);
  // Appended in place where the log allows it; the copy and the commit, with the same records,
  // cost as much as the whole log for every entry.
  ComPtr<IArchiveData> data;
  HRESULT appended = S_FALSE;
  if (SUCCEEDED(archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid())))
    appended = data->AppendToLog(record.data(), static_cast<uint32_t>(record.size()));
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<IStream> log;
  if (appended != S_FALSE) {
    stored = appended == S_OK;
  } else if (SUCCEEDED(archive->QueryInterface(IID_ICairnArchiveAdmin, admin.OutVoid())) &&
             SUCCEEDED(admin->GetLogStream(log.Out()))) {
    LARGE_INTEGER end = {};
    stored = SUCCEEDED(log->Seek(end, STREAM_SEEK_END, nullptr)) &&
             SUCCEEDED(WriteAll(log.Get(), record.data(), record.size())) &&
             SUCCEEDED(admin->CommitLogStream(log.Get()));
  }
  g_writing = false;
  return stored;
}

void LogEvent(ICairnArchive* archive, uint32_t id, const std::string& name) {
  WriteLogEntry(archive, log_type::kInformation, id, name);
}

void LogNotArchived(ICairnArchive* archive, uint32_t id, const std::string& name) {
  WriteLogEntry(archive, log_type::kWarning, id, name);
}

void LogSnapshotEvent(ICairnArchive* archive, uint32_t id, long number, const std::string& text) {
  WriteLogEntry(archive, log_type::kInformation, id, std::to_string(number) + "\r" + text);
}

void LogInternalError(ICairnArchive* archive, const char* module, int line) {
  WriteLogEntry(archive, log_type::kError, message::kInternalError, std::string(module) + "\r" + std::to_string(line));
}

void LogInternalError(ICairnArchive* archive, const char* module, int line, const std::string& name) {
  WriteLogEntry(archive, log_type::kError, message::kInternalError,
                std::string(module) + "\r" + std::to_string(line) + " (" + name + ")");
}

HRESULT RenderLog(ICairnArchiveAdmin* admin, IStream** text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  ObjectState empty;
  empty.streamKind = ObjectState::StreamKind::kEmpty;
  ComPtr<IStream> out;
  if (FAILED(CreateEngineObject(CLSID_Stream, empty, out.Out()))) return E_FAIL;
  ComPtr<IStream> log;
  HRESULT hr = admin->GetLogStream(log.Out());
  if (FAILED(hr)) return hr;

  STATSTG stat = {};
  hr = log->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) return hr;
  std::vector<uint8_t> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  if (!bytes.empty()) {
    hr = log->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    if (FAILED(hr)) return hr;
  }
  log.Reset();

  static const char* const kPrefixes[] = {"I: ", "W: ", "E: "};
  for (const LogEntry& entry : ParseLog(bytes.data(), read)) {
    if (entry.type > log_type::kError) continue;
    hr = WriteText(out.Get(), kPrefixes[entry.type]);
    if (FAILED(hr) || !entry.complete) break;
    hr = WriteText(out.Get(), LocalTime(entry.time) + ": " + Message(entry.id, entry.text) + "\r\n");
    if (FAILED(hr)) break;
  }
  if (FAILED(hr)) return hr;
  LARGE_INTEGER start = {};
  out->Seek(start, STREAM_SEEK_SET, nullptr);
  *text = out.Detach();
  return S_OK;
}

}  // namespace cairn
