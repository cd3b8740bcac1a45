// The Windows side of naming and comparing items: the shell's display form of a name, the type
// name from the registry, and the system's collation (times are TimeText's).
#pragma once

#include <string>

#include "ItemCompare.h"
#include "ItemId.h"
#include "StoredText.h"
#include "TimeText.h"

namespace cairn {
namespace shell {

// Display names are handed to the shell in a buffer of this many bytes.
inline constexpr size_t kDisplayNameBytes = 520;

// The item's display name (ItemDisplayName over the shell's display form of Name, which is kept
// as the archive keeps its names); false when the shell gives no display form.
bool DisplayName(const Item& item, bool insideSnapshot, const StoredText& names, std::wstring* name);

// The type name (Type column, type sorting, property pages): the registered class's text for the
// extension, else "<EXT> File"; without an extension "Folder" or "Unknown".
std::string ItemTypeName(const Item& item);

// Names in the system's collation; type names as ItemTypeName gives them.
class SystemCollation final : public ItemCollation {
 public:
  int CompareText(std::string_view a, std::string_view b) const override;
  std::string TypeName(const Item& item) const override { return ItemTypeName(item); }
};

}  // namespace shell
}  // namespace cairn
