#include "CommandLine.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iterator>
#include <memory>

namespace cairn {
namespace cn {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file named in UTF-8 for reading its bytes.
FilePtr OpenForReading(const std::string& path) {
#ifdef _WIN32
  return FilePtr(_wfopen(std::filesystem::u8path(path).c_str(), L"rb"));
#else
  return FilePtr(std::fopen(path.c_str(), "rb"));
#endif
}

// Reads the whole file; false on a read error (a folder, for one, opens but cannot be read).
bool ReadAll(std::FILE* file, std::string* text) {
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
  return !std::ferror(file);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits the text of a batch file into words (see ReadBatchFile).
void SplitWords(const std::string& text, std::vector<std::string>* words) {
  std::string word;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\x1a') break;  // Ctrl-Z: end of a text file on Windows
    const bool lineEnd = c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
    if (lineEnd || c == ' ' || c == '\t' || c == '\0') {
      if (!word.empty()) words->push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words->push_back(std::move(word));
}

}  // namespace

std::string ProgramName(const std::string& argv0) {
  const size_t cut = argv0.find_last_of("\\/:");
  std::string name = cut == std::string::npos ? argv0 : argv0.substr(cut + 1);
  return name.empty() ? "cn" : name;
}

std::string UsageText(const std::string& program) {
  return "Create new snapshot in specified archive(s)\n\n" + program +
         " [/c][/v][/a <item>][/d <item>][/n <name>][/l [snapshot]][/r [snapshot]]\n"
         "\t[@batchfile] archive [<archive>]+\n\n"
         "\t/c\tCreate archive(s) if not present\n"
         "\t/v\tVerbose mode\n"
         "\t/a\tAdd specified file/folder to archive\n"
         "\t/d\tDelete specified file/folder from archive\n"
         "\t/n\tName new snapshot specified argument\n"
         "\t/l\tList snapshots, or specified snapshot\n"
         "\t/r\tRestore latest snapshot, or specified snapshot\n\n"
         "(Version 2.0)\n";
}

std::string FirstPathComponent(const std::string& item) {
  const size_t begin = !item.empty() && IsSeparator(item[0]) ? 1 : 0;
  size_t end = begin;
  while (end < item.size() && !IsSeparator(item[end])) ++end;
  return item.substr(begin, end - begin);
}

bool IsSnapshotNameNumber(const std::string& item) {
  const std::string name = FirstPathComponent(item);
  size_t digits = name.size();
  while (digits > 0 && IsDigit(name[digits - 1])) --digits;
  return digits < name.size() && digits > 0 && name[digits - 1] == ';';
}

bool ReadBatchFile(const std::string& path, std::vector<std::string>* words) {
  try {
    const FilePtr file = OpenForReading(path);
    std::string text;
    if (!file || !ReadAll(file.get(), &text)) return false;
    std::vector<std::string> found;
    SplitWords(text, &found);
    words->insert(words->end(), std::make_move_iterator(found.begin()),
                  std::make_move_iterator(found.end()));
    return true;
  } catch (const std::exception&) {
    return false;  // a name that is not UTF-8, or no memory: the file cannot be read
  }
}

bool CollectItems(const std::vector<std::string>& args, std::vector<std::string>* items) {
  for (const std::string& arg : args) {
    if (!arg.empty() && arg[0] == '@') {
      if (!ReadBatchFile(arg.substr(1), items)) return false;
    } else {
      items->push_back(arg);
    }
  }
  return true;
}

bool ParseItems(const std::vector<std::string>& items, CommandLine* result) {
  *result = CommandLine();
  size_t i = 0;
  while (i < items.size()) {
    const std::string& item = items[i];
    if (item.empty() || (item[0] != '/' && item[0] != '-')) {
      result->archives.push_back(item);
      ++i;
      continue;
    }
    if (item.size() != 2) return false;
    ++i;  // the option itself
    const bool hasNext = i < items.size();
    switch (item[1]) {
      case 'c':
        result->create = true;
        break;
      case 'v':
        result->verbose = true;
        break;
      case 'a':
      case 'd':
      case 'n':
        if (!hasNext) return false;
        if (item[1] == 'a')
          result->adds.push_back(items[i]);
        else if (item[1] == 'd')
          result->deletes.push_back(items[i]);
        else
          result->snapshotName = items[i];
        ++i;
        break;
      case 'l':
      case 'r': {
        std::vector<std::string>& list = item[1] == 'l' ? result->lists : result->restores;
        if (hasNext && IsSnapshotNameNumber(items[i])) {
          list.push_back(items[i]);
          ++i;
        } else {
          list.push_back(kSnapshotMarker);
        }
        break;
      }
      default:
        return false;
    }
  }
  return !result->archives.empty();
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* result) {
  try {
    std::vector<std::string> items;
    return CollectItems(args, &items) && ParseItems(items, result);
  } catch (const std::bad_alloc&) {
    return false;  // the item lists cannot grow
  }
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* result) {
  std::vector<std::string> args;
  try {
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  } catch (const std::bad_alloc&) {
    return false;
  }
  return ParseCommandLine(args, result);
}

}  // namespace cn
}  // namespace cairn
