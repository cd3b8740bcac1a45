#include "ViewFormat.h"

#include <cstdio>

namespace cairn {
namespace shell {
namespace {

constexpr uint32_t kKilo = 1024;
constexpr uint32_t kMega = 1048576;

const std::array<int, kMaxViewColumns> kSnapshotWidths = {125, 50, 100, 100, 300, 0};
const std::array<int, kMaxViewColumns> kObjectWidths = {125, 200, 50, 100, 100, 100};

std::string Format(const char* format, unsigned long whole, unsigned long hundredths = 0) {
  char text[32];
  std::snprintf(text, sizeof text, format, whole, hundredths);
  return text;
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

std::string ColumnSizeText(const Item& item) {
  if (item.IsFolder()) return std::string();
  const uint64_t low = static_cast<uint32_t>(item.fields.itemSize);
  return Format("%luKB", static_cast<unsigned long>((low + kKilo - 1) / kKilo));
}

std::string StatusSizeText(uint32_t v) {
  if (v > 10 * kMega) return Format("%luMB", v / kMega);
  if (v > kMega) return Format("%lu.%02luMB", v / kMega, static_cast<unsigned long>(uint64_t{v % kMega} * 100 / kMega));
  if (v > 10 * kKilo) return Format("%luKB", v / kKilo);
  if (v > kKilo) return Format("%lu.%02luKB", v / kKilo, (v % kKilo) * 100 / kKilo);
  if (v > 0) return Format("%lu bytes", v);
  return std::string();
}

std::string PropertySizeText(uint32_t n) {
  char text[64];
  const auto hundredths = [](uint32_t part) { return static_cast<unsigned long>(part > 99 ? 99 : part); };
  if (n <= kKilo) {
    std::snprintf(text, sizeof text, "%lu bytes (%lu bytes)", static_cast<unsigned long>(n), static_cast<unsigned long>(n));
  } else if (n <= 10 * kKilo) {
    std::snprintf(text, sizeof text, "%lu.%02luKB (%lu bytes)", static_cast<unsigned long>(n / kKilo),
                  hundredths((n % kKilo) / 10), static_cast<unsigned long>(n));
  } else if (n <= kMega) {
    std::snprintf(text, sizeof text, "%luKB (%lu bytes)", static_cast<unsigned long>(n / kKilo),
                  static_cast<unsigned long>(n));
  } else if (n <= 10 * kMega) {
    std::snprintf(text, sizeof text, "%lu.%02luMB (%lu bytes)", static_cast<unsigned long>(n / kMega),
                  hundredths((n % kMega) / 10240), static_cast<unsigned long>(n));
  } else {
    std::snprintf(text, sizeof text, "%luMB (%lu bytes)", static_cast<unsigned long>(n / kMega),
                  static_cast<unsigned long>(n));
  }
  return text;
}

ViewState DefaultViewState(bool root) {
  ViewState state;
  state.sortColumn = root ? 4 : 1;  // snapshots: creation time, later first; objects: name
  state.columns = root ? kSnapshotColumns : kObjectColumns;
  state.widths = root ? kSnapshotWidths : kObjectWidths;
  return state;
}

ViewState ReadViewState(const uint8_t* bytes, size_t size, bool root) {
  const size_t levelColumns = root ? kSnapshotColumns : kObjectColumns;
  if (bytes == nullptr || size < kViewStateBytes || Le16(bytes + 4) != levelColumns) return DefaultViewState(root);
  ViewState state;
  // Stored as the column minus 1; a column the level does not have sorts as the level's default.
  const int64_t column = int64_t{static_cast<int32_t>(Le32(bytes))} + 1;
  const int64_t count = static_cast<int64_t>(levelColumns);
  state.sortColumn = column == 0 || column > count || column < -count ? DefaultViewState(root).sortColumn
                                                                        : static_cast<int>(column);
  state.columns = levelColumns;
  for (size_t i = 0; i < kMaxViewColumns; ++i) {
    // Signed: a width "below 1" includes the negative ones.
    const int width = static_cast<int16_t>(Le16(bytes + 6 + 2 * i));
    state.widths[i] = width < 1 ? kDefaultWidth : width;
  }
  return state;
}

std::array<uint8_t, kViewStateBytes> WriteViewState(const ViewState& state, bool root) {
  std::array<uint8_t, kViewStateBytes> out{};
  const int32_t stored = state.sortColumn - 1;
  for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(stored) >> (8 * i));
  const size_t columns = root ? kSnapshotColumns : kObjectColumns;
  out[4] = static_cast<uint8_t>(columns);
  const std::array<int, kMaxViewColumns>& defaults = root ? kSnapshotWidths : kObjectWidths;
  for (size_t i = 0; i < kMaxViewColumns; ++i) {
    int width = state.widths[i] == 0 ? defaults[i] : state.widths[i];
    width = width < 0 ? 0 : (width > 0xFFFF ? 0xFFFF : width);
    out[6 + 2 * i] = static_cast<uint8_t>(width);
    out[7 + 2 * i] = static_cast<uint8_t>(width >> 8);
  }
  return out;
}

int32_t SnapshotNumberOf(std::string_view name) {
  const size_t semicolon = name.rfind(';');
  if (semicolon == std::string_view::npos) return 0;
  int64_t number = 0;
  for (char c : name.substr(semicolon + 1)) {
    if (c < '0' || c > '9') break;
    number = number * 10 + (c - '0');
    if (number > INT32_MAX) return 0;
  }
  return static_cast<int32_t>(number);
}

int OverlayOf(const Item& item, int32_t shown) {
  if (shown == 0 || item.fields.lastSnapShotChanged != shown) return 0;
  return item.fields.revision == 1 ? 1 : 3;
}

std::string IconLocationText(bool snapshot, uint32_t attributes, std::string_view registeredExtension) {
  std::string text = snapshot ? "VERSION::Version"
                              : (attributes & kAttributeFolder) ? "DIRECTO::Folder"
                                                                : "OBJECTS::" + std::string(registeredExtension);
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string IconCacheKey(std::string_view location, int index, uint32_t flags) {
  char tail[32];
  std::snprintf(tail, sizeof tail, "\" %d %08x", index, static_cast<unsigned>(flags));
  std::string key = "\"" + std::string(location) + tail;
  if (key.size() > 520) key.resize(520);
  return key;
}

std::string CommentLine(std::string_view comment) {
  std::string line(comment);
  for (char& c : line) c = c == '\n' ? ' ' : (c == '\r' ? ',' : c);
  return line;
}

}  // namespace shell
}  // namespace cairn
