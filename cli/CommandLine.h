// The command line of cn: collecting items (with @batchfile expansion) and parsing options.
//
// Portable: no Windows headers. Items are kept exactly as given; making paths absolute is done
// later by the tool itself. Strings are UTF-8, as everywhere in Cairn.
#pragma once

#include <string>
#include <vector>

namespace cairn {
namespace cn {

// Name of the new snapshot when no /n is given.
inline constexpr char kDefaultSnapshotName[] = "Snapshot";

// The snapshot argument of /l and /r when none is given: four backslash characters. It stands for
// every snapshot (/l) or for the latest snapshot (/r). It is never a snapshot name;number, so it
// cannot be confused with one given on the command line.
inline constexpr char kSnapshotMarker[] = "\\\\\\\\";

// The program's own file name: the part of argv[0] after its last backslash (or slash), or after
// a drive colon. "cn" when argv[0] names no file at all (empty, or ending in a separator).
std::string ProgramName(const std::string& argv0);

// The usage text, with the program name in its place (copied as is: a '%' in it is harmless).
std::string UsageText(const std::string& program);

// The first path component of an item: one leading '/' or '\' is skipped, and the component ends
// at the next '/' or '\'. This is the stored name a snapshot argument is looked up by.
std::string FirstPathComponent(const std::string& item);

// True when the item's first path component is a snapshot's stored name of the form name;number:
// it ends in at least one decimal digit, and the character before the run of digits is ';'.
// The name part may be empty (";5" is one).
bool IsSnapshotNameNumber(const std::string& item);

// Appends the words of a batch file to words. Every line is split into words at spaces and tabs;
// every other character, quotes included, belongs to a word, so a word cannot hold a space. A
// word beginning with '@' is kept as it is (batch files do not nest). Lines may be of any length
// and a word is never split, however long its line. The file is read as Windows reads text on
// every host: CR LF ends a line like LF, and a Ctrl-Z ends the file. A NUL byte separates words.
// False when the file cannot be opened or read; words then holds what it held before.
bool ReadBatchFile(const std::string& path, std::vector<std::string>* words);

// Collects the command items from the arguments (argv without argv[0]): an argument beginning
// with '@' is replaced, in place, by the words of the batch file named by the rest of it; any
// other argument is taken unchanged. False when a batch file cannot be read.
bool CollectItems(const std::vector<std::string>& args, std::vector<std::string>* items);

// What a command line asks for.
struct CommandLine {
  bool create = false;                              // /c
  bool verbose = false;                             // /v
  std::string snapshotName = kDefaultSnapshotName;  // /n, the last one given
  std::vector<std::string> adds;                    // /a, in command-line order
  std::vector<std::string> deletes;                 // /d, in command-line order
  std::vector<std::string> lists;                   // /l: snapshot name;number, or kSnapshotMarker
  std::vector<std::string> restores;                // /r: snapshot name;number, or kSnapshotMarker
  std::vector<std::string> archives;                // every other item, in order
};

// Parses collected items. Options begin with '/' or '-', are exactly two characters long, and
// their letter is one of c v a d n l r in lower case:
//   /a, /d, /n take the next item, whatever it is, as their argument (required);
//   /l, /r take the next item only when it is a snapshot name;number, else kSnapshotMarker;
//   /c, /v set their flags.
// Every other item is an archive. False (invalid command line) for a bad option, a missing
// argument, or no archive at all; *result is then unspecified.
bool ParseItems(const std::vector<std::string>& items, CommandLine* result);

// CollectItems followed by ParseItems. False for an invalid command line.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* result);

// The same from main's arguments; argv[0] is the program and is not an item.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* result);

}  // namespace cn
}  // namespace cairn
