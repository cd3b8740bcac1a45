// What the archive view shows and keeps, as rules on numbers and bytes: the size texts of the
// Size column, of the status bar and of the property pages, the view-state record the browser stores per folder, the
// overlay that marks items a snapshot added or changed, and the comment column's text.
// Portable: tested on every host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ItemId.h"

namespace cairn {
namespace shell {

// The Size column: "<n>KB" with the low 32 bits of ItemSize rounded up to whole KB; empty for
// folders.
std::string ColumnSizeText(const Item& item);
// The status bar's size of v bytes: MB above 10 MB, hundredths of MB above 1 MB, KB above 10 KB,
// hundredths of KB above 1 KB, bytes above 0 (all truncated); empty for 0.
std::string StatusSizeText(uint32_t bytes);
// The property pages' size of n bytes, with the byte count after it: bytes up to 1 KB, KB with
// the remainder's tenths of 1 KB as its hundredths up to 10 KB ("1.51KB" for 1536), whole KB up
// to 1 MB, MB with the remainder in units of 10240 bytes as its hundredths up to 10 MB, whole MB
// above. Hundredths never show more than 99: "1.99KB (2047 bytes)", not "1.102KB".
std::string PropertySizeText(uint32_t bytes);

// The view-state record (24 bytes, little-endian): the sort column minus 1, signed (Name
// reversed, -1, is stored as -2), the column count, six 16-bit widths and 6 reserved bytes
// (written as zero).
inline constexpr size_t kViewStateBytes = 24;
inline constexpr size_t kMaxViewColumns = 6;
inline constexpr size_t kSnapshotColumns = 5;
inline constexpr size_t kObjectColumns = 6;
inline constexpr int kDefaultWidth = 50;

struct ViewState {
  int sortColumn = 1;  // signed: |c| is the column counted from 1, negative reverses
  size_t columns = kObjectColumns;
  std::array<int, kMaxViewColumns> widths{};
};

// The defaults of the archive root (snapshots) or of the levels below it (objects).
ViewState DefaultViewState(bool root);
// The record read from a stream: used when all 24 bytes were read and it has at least one
// column; a column count that is not the level's gives the level's defaults, as does anything
// unusable. The sort column is the stored value + 1; one the level lacks (0 included) sorts as
// the level's default. A width below 1 becomes 50.
ViewState ReadViewState(const uint8_t* bytes, size_t size, bool root);
// The record to store; a width of 0 is stored as the level's default for that column.
std::array<uint8_t, kViewStateBytes> WriteViewState(const ViewState& state, bool root);

// The number after the last ';' of a snapshot's stored name; 0 without one.
int32_t SnapshotNumberOf(std::string_view name);
// Overlay of an item shown inside the snapshot numbered `shown`: 1 when the snapshot first
// recorded it (revision 1), 3 when it changed it, 0 otherwise.
int OverlayOf(const Item& item, int32_t shown);
// The location text of an item's icon, in upper case: "VERSION::VERSION" for a snapshot,
// "DIRECTO::FOLDER" for a stored folder (attribute 0x10), "OBJECTS::" and the extension with its
// dot for a file of a registered type, "OBJECTS::" alone for any other file.
std::string IconLocationText(bool snapshot, uint32_t attributes, std::string_view registeredExtension);
// The icon cache's key: the location quoted, the icon index and the location flags in hex, at
// most 520 characters.
std::string IconCacheKey(std::string_view location, int index, uint32_t flags);

// A snapshot comment on one line: each line feed a blank, each carriage return a ','.
std::string CommentLine(std::string_view comment);

}  // namespace shell
}  // namespace cairn
