// How items are named: the text shown for an item, its type's extension, the name a renamed
// snapshot is stored under, the file name of an opened revision's copy, and which name form a
// caller of GetDisplayNameOf asks for. Portable.
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
enum class NameForm {
  kDisplay,          // the item's display name
  kParsingFull,      // the archive's path, then the levels below it
  kParsingRelative,  // the archive's file name, then the levels below it
  kInvalid,          // E_INVALIDARG
};
NameForm DisplayNameForm(uint32_t flags);

}  // namespace shell
}  // namespace cairn
