#include "ItemCompare.h"

#include <cstdint>
#include <cstdlib>

namespace cairn {
namespace shell {
namespace {

template <class T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int BySize(const Item& a, const Item& b) {
  return Order(static_cast<uint32_t>(a.fields.itemSize), static_cast<uint32_t>(b.fields.itemSize));
}

// Later first: the newer item sorts before the older one.
int ByModifiedLaterFirst(const Item& a, const Item& b) {
  return Order(b.fields.modificationTime, a.fields.modificationTime);
}

int ByType(const Item& a, const Item& b, const ItemCollation& collation) {
  return collation.CompareText(collation.TypeName(a), collation.TypeName(b));
}

// Columns beyond the tables compare equal (and never reach std::abs with INT_MIN).
constexpr int kMaxColumn = 6;

}  // namespace

int CompareSnapshotItems(const Item& a, const Item& b, int column, const ItemCollation& collation) {
  if (column < -kMaxColumn || column > kMaxColumn) return 0;
  int key = 0;
  switch (std::abs(column)) {
    case 1: key = collation.CompareText(a.name, b.name); break;
    case 2: key = BySize(a, b); break;
    case 3: key = ByType(a, b, collation); break;
    case 4: key = ByModifiedLaterFirst(a, b); break;
    default: break;
  }
  return key * column;
}

int CompareObjectItems(const Item& a, const Item& b, int column, const ItemCollation& collation) {
  if (column < -kMaxColumn || column > kMaxColumn) return 0;
  int key = 0;
  switch (std::abs(column)) {
    case 1:
    case 2: key = collation.CompareText(a.name, b.name); break;
    case 3: key = BySize(a, b); break;
    case 4: key = ByType(a, b, collation); break;
    case 5: key = ByModifiedLaterFirst(a, b); break;
    // The later snapshot first; equal numbers compare equal, so an item always equals itself.
    case 6: key = Order(b.fields.lastSnapShotChanged, a.fields.lastSnapShotChanged); break;
    default: break;
  }
  return key * column;
}

}  // namespace shell
}  // namespace cairn
