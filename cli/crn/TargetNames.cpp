#include "TargetNames.h"

#include "RestoreNames.h"
#include "StoredNames.h"
#include "StoredText.h"

namespace cairn {
namespace crn {
namespace {

// Splits text at backslashes; empty components stay (and are refused by the name rules).
std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find('\\', start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool TargetComponents(const StoredText& text, const std::string& storedName, std::vector<std::string>* components) {
  components->clear();
  std::vector<std::string> rest;
  if (storedName.size() >= 3 && IsLetter(storedName[0]) && storedName[1] == ':' && storedName[2] == '\\') {
    components->push_back(std::string(1, static_cast<char>(storedName[0] & ~0x20)));
    if (storedName.size() > 3) rest = Split(storedName.substr(3));
  } else if (storedName.size() > 2 && storedName.compare(0, 2, "\\\\") == 0) {
    rest = Split(storedName.substr(2));
    if (rest.size() < 2) return false;  // a server without a share
    // "\\?\" and "\\.\" name devices and raw paths, not a share.
    if (rest[0] == "?" || rest[0] == ".") return false;
    components->push_back("UNC");
  } else {
    return false;
  }
  for (const std::string& part : rest) {
    if (!IsSafeFileName(text.Wide(part))) return false;
    components->push_back(part);
  }
  return true;
}

bool IsAbove(const std::string& stored, const std::string& path) {
  if (stored.empty() || path.size() <= stored.size()) return false;
  if (!SameNameIgnoringCase(stored, path.substr(0, stored.size()))) return false;
  return stored.back() == '\\' || path[stored.size()] == '\\';
}

}  // namespace crn
}  // namespace cairn
