// The archive's log as the engine writes and renders it: each entry becomes a new revision of
// the named stream \\.\ArchiveLog. Writing never fails an operation: its outcome is ignored.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>

#include "ByteSource.h"
#include "cairn.h"

namespace cairn {

// Message ids of the log (the engine's string table holds their templates).
namespace message {
constexpr uint32_t kCommentSet = 101;
constexpr uint32_t kNameSet = 102;
constexpr uint32_t kSnapshotDeleted = 103;
constexpr uint32_t kSnapshotCreated = 104;
constexpr uint32_t kObjectDeleted = 105;
constexpr uint32_t kObjectChanged = 106;
constexpr uint32_t kObjectAdded = 107;
constexpr uint32_t kInternalError = 108;
constexpr uint32_t kObjectLocked = 109;
constexpr uint32_t kObjectGone = 110;
// A file whose size passes the 32-bit sizes of the format; the snapshot goes on without it.
constexpr uint32_t kObjectTooLarge = 111;
}  // namespace message

// Appends an entry of the given type and message with its inserts already joined by '\r'.
// Returns whether it was stored.
bool WriteLogEntry(ICairnArchive* archive, uint32_t type, uint32_t id, const std::string& text);

// An information entry with one insert ("%s").
void LogEvent(ICairnArchive* archive, uint32_t id, const std::string& name);
// A warning entry with one insert ("%s"): an object the snapshot could not read (109, 111).
void LogNotArchived(ICairnArchive* archive, uint32_t id, const std::string& name);
// An information entry about a snapshot ("%ld\r%s": its number, then the text).
void LogSnapshotEvent(ICairnArchive* archive, uint32_t id, long number, const std::string& text);
// An error entry 108 naming the engine module and the place ("%s\r%d").
void LogInternalError(ICairnArchive* archive, const char* module, int line);
// The same with the object's name after the place ("%s\r%d (%s)").
void LogInternalError(ICairnArchive* archive, const char* module, int line, const std::string& name);

// Reports the core's failures to the archive log.
class LoggedErrors final : public InternalErrors {
 public:
  explicit LoggedErrors(ICairnArchive* archive) : archive_(archive) {}
  void Report(const char* module, int line) override { LogInternalError(archive_, module, line); }

 private:
  ICairnArchive* archive_;
};

// The log as text lines in a new stream positioned at its start ("I: ", "W: " or "E: ", the
// local short date and 24-hour time, ": ", the message, CR LF).
HRESULT RenderLog(ICairnArchiveAdmin* admin, IStream** text);

}  // namespace cairn
