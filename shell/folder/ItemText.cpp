#include "ItemText.h"

#include <windows.h>
#include <shellapi.h>

#include <climits>

#include "AnsiText.h"
#include "ItemNames.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// The default value of HKCR\key, or false. A key without one answers success with the empty
// text (a size of 1, its terminator): that names no type.
bool ClassesText(const std::string& key, std::string* text) {
  char value[MAX_PATH];
  LONG size = sizeof value;
  if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS || size <= 1) return false;
  value[sizeof value - 1] = 0;
  *text = value;
  return !text->empty();
}

std::string Format(UINT id, const std::string& argument) {
  const std::string format = ShellString(id);
  const size_t at = format.find("%s");
  return at == std::string::npos ? format : format.substr(0, at) + argument + format.substr(at + 2);
}

int Clamp(size_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

}  // namespace

bool DisplayName(const Item& item, bool insideSnapshot, const StoredText& names, std::wstring* name) {
  SHFILEINFOW info{};
  const std::wstring stored = names.Wide(item.name);
  // Only the Windows attribute bits: the extension's own bits mean nothing to the shell.
  if (SHGetFileInfoW(stored.c_str(), item.fields.attributes & 0xFFFF, &info, sizeof info,
                     SHGFI_USEFILEATTRIBUTES | SHGFI_DISPLAYNAME) == 0)
    return false;
  info.szDisplayName[MAX_PATH - 1] = 0;
  *name = names.Wide(ItemDisplayName(names.Stored(info.szDisplayName), item.fields.revision, insideSnapshot));
  return true;
}

std::string ItemTypeName(const Item& item) {
  const std::string extension = ItemExtension(item.name);
  if (extension.empty()) return ShellString(item.IsFolder() ? IDS_TYPE_FOLDER : IDS_TYPE_UNKNOWN);
  std::string className, typeName;
  if (ClassesText(extension, &className) && ClassesText(className, &typeName)) return typeName;
  return Format(IDS_TYPE_FILE, ExtensionLabel(extension));
}

int SystemCollation::CompareText(std::string_view a, std::string_view b) const {
  const int result = CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, a.data(), Clamp(a.size()), b.data(), Clamp(b.size()));
  return result == 0 ? 0 : result - CSTR_EQUAL;
}

}  // namespace shell
}  // namespace cairn
