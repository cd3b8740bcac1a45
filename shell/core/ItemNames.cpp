#include "ItemNames.h"

#include <cctype>

namespace cairn {
namespace shell {

std::string ItemDisplayName(std::string_view displayForm, int32_t revision, bool insideSnapshot) {
  std::string text(displayForm);
  if (insideSnapshot) text += ";" + std::to_string(revision);
  return text;
}

std::string ItemExtension(std::string_view name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return std::string();
  const size_t separator = name.find_last_of("\\ ");
  if (separator != std::string_view::npos && separator > dot) return std::string();
  return std::string(name.substr(dot));
}

std::string ExtensionLabel(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  std::string label(extension);
  for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return label;
}

std::string_view PathFileName(std::string_view path) {
  const size_t separator = path.find_last_of("\\:");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string RenamedSnapshotName(std::string_view newName, int32_t snapshotNumber) {
  const size_t semicolon = newName.find_last_of(';');
  std::string name(newName.substr(0, semicolon));
  return name + ";" + std::to_string(snapshotNumber);
}

std::string RevisionCopyName(std::string_view fileName, int32_t revision) {
  const std::string extension = ItemExtension(fileName);
  std::string name(fileName.substr(0, fileName.size() - extension.size()));
  return name + ";" + std::to_string(revision) + extension;
}

std::string BaseName(std::string_view storedName) {
  const size_t slash = storedName.find_last_of('\\');
  if (slash != std::string_view::npos) return std::string(storedName.substr(slash + 1));
  const size_t colon = storedName.find_last_of(':');
  if (colon == std::string_view::npos) return std::string(storedName);
  return std::string(colon + 1 < storedName.size() ? storedName.substr(colon + 1) : storedName.substr(0, colon));
}

std::string StoredFolderPart(std::string_view storedName) {
  size_t end = storedName.find_last_of('\\');
  if (end == std::string_view::npos) return std::string();
  if (end > 0 && storedName[end - 1] == '\\') --end;
  return std::string(storedName.substr(0, end));
}

std::string PathBelow(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '\\') path += '\\';
  return path + std::string(name);
}

bool IsAbsoluteTarget(std::string_view target) {
  const bool drive = target.size() >= 2 && std::isalpha(static_cast<unsigned char>(target[0])) && target[1] == ':' &&
                     (target.size() == 2 || target[2] == '\\');
  if (drive) return true;
  // A server's name follows the two backslashes; "." and "?" open the device namespace instead.
  if (target.size() <= 2 || target[0] != '\\' || target[1] != '\\') return false;
  const std::string_view server = target.substr(2, target.find('\\', 2) - 2);
  return !server.empty() && server != "." && server != "?";
}

NameForm DisplayNameForm(uint32_t flags) {
  const uint32_t high = flags & 0xFF00;
  const uint32_t low = flags & 0xFF;
  constexpr uint32_t kForParsing = 0x8000, kNonFileSystem = 0x2000, kForAddressBar = 0x4000;
  if ((high & ~(kNonFileSystem | kForAddressBar)) == 0)
    return low <= 1 ? NameForm::kDisplay : NameForm::kInvalid;
  if ((high & ~(kForParsing | kNonFileSystem | kForAddressBar)) == 0 && (high & kForParsing) != 0) {
    if (low == 0) return NameForm::kParsingFull;
    if (low == 1) return NameForm::kParsingRelative;
  }
  return NameForm::kInvalid;
}

}  // namespace shell
}  // namespace cairn
