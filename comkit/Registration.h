// Registry entries as data: rows of keys and values with placeholders, written with rollback
// and removed exactly.
//
// A row names a key below one of the roots and, optionally, one value of it (a string, possibly
// empty, or a DWORD). Its key mode says what writing and removing do with the key:
//   kCreate        written if missing; removed, with everything below it, on removal;
//   kReplaceWhole  deleted with everything below it before it is written (nothing of an older
//                  registration stays); removed like kCreate;
//   kNoRemove      a shared key (a file type's shellex list, the Approved list): created if
//                  missing but never removed; removal deletes only the row's value.
// Removal walks the rows from the last to the first, so a row's subkeys go before the key.
//
// Keys, value names and string data may hold placeholders such as %CLSID% or %MODULE%; each
// is replaced by its value, and a placeholder with no value makes the rows invalid.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace cairn {

enum class RegistryRoot { kClassesRoot, kLocalMachine, kCurrentUser };
enum class KeyMode { kCreate, kReplaceWhole, kNoRemove };
enum class ValueKind { kNone, kString, kDword };

struct RegistryRow {
  RegistryRoot root;
  const wchar_t* key;
  KeyMode mode;
  ValueKind kind;
  const wchar_t* valueName;  // null: the key's default value
  const wchar_t* text;       // kString's data
  DWORD number;              // kDword's data
};

struct RegistryRows {
  const RegistryRow* rows;
  size_t count;
};

// The values of the placeholders, by name without the percent signs ("CLSID" for %CLSID%).
class Placeholders {
 public:
  void Set(const wchar_t* name, std::wstring value);
  // text with every placeholder replaced; false when one has no value or a % is unmatched.
  bool Expand(const wchar_t* text, std::wstring* out) const;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> values_;
};

// What a write did, so that it can be undone: the keys it created (the topmost new one of each
// path) and the values it replaced with their old contents. The replaced contents of a
// kReplaceWhole key are gone for good; undoing removes what was written there.
class RegistryJournal {
 public:
  RegistryJournal() = default;
  RegistryJournal(const RegistryJournal&) = delete;
  RegistryJournal& operator=(const RegistryJournal&) = delete;

  // Undoes every step, the last first, and forgets them.
  void Undo();

 private:
  friend HRESULT WriteRegistryRows(const RegistryRows&, const Placeholders&, RegistryJournal*);
  struct Step {
    Step(HKEY root, std::wstring key, bool createdKey) : root(root), key(std::move(key)), createdKey(createdKey) {}
    HKEY root;
    std::wstring key;
    bool createdKey;         // true: delete key's tree; false: restore the value below
    bool hadValue = false;
    std::wstring valueName;  // empty with defaultValue: the default value
    bool defaultValue = false;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  std::vector<Step> steps_;
};

// Writes the rows in order. On the first failure it undoes what this call wrote and returns that
// failure; on success the steps stay in journal (when given) for the caller to undo after a
// later step fails. E_INVALIDARG for a row with a placeholder that has no value.
HRESULT WriteRegistryRows(const RegistryRows& rows, const Placeholders& values, RegistryJournal* journal);

// Removes what the rows write (see kNoRemove). Keys and values already gone are not an error;
// the first other failure is returned after every row was tried.
HRESULT RemoveRegistryRows(const RegistryRows& rows, const Placeholders& values);

// The text of a GUID in braces, as the registry holds class and library identifiers.
std::wstring GuidText(const GUID& guid);

}  // namespace cairn
