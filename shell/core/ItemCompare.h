// How two items of one level compare, by a signed column number c: |c| picks the key, a
// negative c reverses the order, and the result is the key's comparison (-1, 0 or +1) times c.
// Snapshot items (the archive root) and object items have different key tables:
//
//   |c|  snapshot items             object items
//   1    Name                       Name
//   2    low 32 bits of ItemSize    Name
//   3    type name                  low 32 bits of ItemSize
//   4    modified, later first      type name
//   5    (equal)                    modified, later first
//   6    (equal)                    LastSnapShotChanged, higher first
//   other: equal
#pragma once

#include <string>
#include <string_view>

#include "ItemId.h"

namespace cairn {
namespace shell {

// The text comparisons of the platform: names in the system's collation, and the type name of
// an item (which reads the registry).
class ItemCollation {
 public:
  virtual ~ItemCollation() = default;
  // -1, 0 or +1.
  virtual int CompareText(std::string_view a, std::string_view b) const = 0;
  virtual std::string TypeName(const Item& item) const = 0;
};

int CompareSnapshotItems(const Item& a, const Item& b, int column, const ItemCollation& collation);
int CompareObjectItems(const Item& a, const Item& b, int column, const ItemCollation& collation);

}  // namespace shell
}  // namespace cairn
