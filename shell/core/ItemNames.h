// How items are named: the text shown for an item, its type's extension, the name a renamed
// snapshot is stored under, the file name of an opened revision's copy, which name form a caller
// of GetDisplayNameOf asks for, and the names a restore writes to. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cairn {
namespace shell {

// Inside a snapshot an item shows as its shell display form, ";" and its revision number
// ("report.doc;3"); at the archive root a snapshot shows as the display form alone.
std::string ItemDisplayName(std::string_view displayForm, int32_t revision, bool insideSnapshot);

// The extension of a stored name with its dot: the text from the last "." that follows the last
// "\" or blank; empty when there is none.
std::string ItemExtension(std::string_view name);

// An extension as the "%s File" type name shows it: without its dot, in upper case.
std::string ExtensionLabel(std::string_view extension);

// The file name of a path: the text after its last "\" or ":".
std::string_view PathFileName(std::string_view path);

// The name a snapshot is stored under after a rename to newName: newName cut at its last ";",
// then ";" and the snapshot's own number, so a stored name always ends in its number.
std::string RenamedSnapshotName(std::string_view newName, int32_t snapshotNumber);

// The file name of a revision's read-only copy: ";" and the revision number go before the
// extension ("report;3.doc"), or at the end when there is none.
std::string RevisionCopyName(std::string_view fileName, int32_t revision);

// What GetDisplayNameOf is asked for, from its flags: the low byte (0 normal, 1 in folder) and
// the high byte (0, 0x2000 and 0x4000 for display names; 0x8000 with those for parsing names).
// The base name of a stored name, which a restore writes below its target: the text after the
// last "\"; without one, the text after the last ":" when any follows it, else the text before
// that ":" ("C:" gives "C"); without either, the whole name. The caller still checks that it is a
// name a restore may write.
std::string BaseName(std::string_view storedName);

// The folder part of a stored name, the restore dialog's default target for a folder or several
// items: everything before its last "\", a "\" right before that one dropped too; empty when it
// has no "\".
std::string StoredFolderPart(std::string_view storedName);

// A path below a restore's target folder: one "\" between them, also when the target ends in one
// (a drive's root).
std::string PathBelow(std::string_view folder, std::string_view name);

// True for a target a restore may write to: a drive ("C:", "C:\...") or a network path
// ("\\server\..."), never a device path ("\\.\", "\\?\"). Anything else would be read against the
// current folder of the process.
bool IsAbsoluteTarget(std::string_view target);

enum class NameForm {
  kDisplay,          // the item's display name
  kParsingFull,      // the archive's path, then the levels below it
  kParsingRelative,  // the archive's file name, then the levels below it
  kInvalid,          // E_INVALIDARG
};
NameForm DisplayNameForm(uint32_t flags);

}  // namespace shell
}  // namespace cairn
