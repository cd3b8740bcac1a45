// Writes an edition of the office-shaped test document through the system's structured storage
// and lists what it holds, for scripts that compare a restored copy with another reader of
// compound files. Each line is an element's path below the root ("/" between names, UTF-8, in
// hex), then "d" for a storage or "=" and the stream's bytes in hex.
// usage: officedoc DOCUMENT EDITION LISTING
#include <cstdio>
#include <cstdlib>
#include <string>

#include "OfficeDocument.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fputs("usage: officedoc DOCUMENT EDITION LISTING\n", stderr);
    return 2;
  }
  if (!cairn::testing::WriteOfficeDocument(argv[1], _wtoi(argv[2]))) {
    std::fputs("officedoc: the document could not be written\n", stderr);
    return 1;
  }
  FILE* listing = _wfopen(argv[3], L"wb");
  if (listing == nullptr) {
    std::fputs("officedoc: the listing could not be made\n", stderr);
    return 1;
  }
  for (const auto& [path, content] : cairn::testing::ReadDocumentElements(argv[1])) {
    if (path.empty()) continue;  // the root
    std::wstring name = path;
    for (wchar_t& c : name)
      if (c == L'\\') c = L'/';
    const bool storage = content.rfind("<storage ", 0) == 0;  // no stream of the document begins so
    std::fprintf(listing, "%s %s\n", Hex(Utf8(name)).c_str(), storage ? "d" : ("=" + Hex(content)).c_str());
  }
  return std::fclose(listing) == 0 ? 0 : 1;
}
