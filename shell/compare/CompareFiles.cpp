// The revisions written for a comparison, the person's compare program, and the choice between
// that program and the compare window.
#include "Compare.h"

#include <string>

#include "CompareWindow.h"
#include "Handle.h"
#include "ItemNames.h"
#include "LineDifference.h"
#include "RegKey.h"
#include "RestoreNames.h"
#include "RestoreWriter.h"
#include "StoredText.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Cairn";
constexpr wchar_t kCommandValue[] = L"CompareCommand";
constexpr wchar_t kCopiesFolder[] = L"Cairn Compare";
// A compare program is not told when the person is done with the files: copies are left for it
// and removed once they are older than this.
constexpr ULONGLONG kStaleCopyAge = 24ull * 60 * 60 * 10'000'000;  // a day, in FILETIME units

std::wstring CopiesRoot() {
  wchar_t temp[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return {};
  std::wstring root = std::wstring(temp, n) + kCopiesFolder;
  if (!CreateDirectoryW(root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return {};
  return root + L"\\";
}

ULONGLONG AsNumber(const FILETIME& time) { return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime; }

void RemoveStaleCopies(const std::wstring& root) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((root + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L".." || !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (AsNumber(now) - AsNumber(found.ftCreationTime) > kStaleCopyAge) RemoveComparisonCopy(root + name + L"\\x");
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A new folder of its own for each copy, so two sides named alike (the same revision of one file
// from two archives) never meet.
std::wstring NewCopyFolder(const std::wstring& root) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::wstring folder =
        root + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64() + attempt);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder + L"\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return {};
}

}  // namespace

void RemoveComparisonCopy(const std::wstring& path) {
  const std::wstring root = CopiesRoot();
  const size_t slash = path.rfind(L'\\');
  if (root.empty() || slash == std::wstring::npos || slash <= root.size() || path.compare(0, root.size(), root) != 0)
    return;
  const std::wstring folder = path.substr(0, slash);
  if (folder.find(L'\\', root.size()) != std::wstring::npos) return;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring file = folder + L"\\" + found.cFileName;
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(file.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

HRESULT WriteRevisionForCompare(ICairnRevision* revision, const std::wstring& storedName, long revisionNumber,
                                std::wstring* path) {
  if (revision == nullptr || path == nullptr) return E_INVALIDARG;
  path->clear();
  const std::wstring fileName = LastComponent(storedName);
  if (!IsSafeFileName(fileName)) return E_INVALIDARG;
  // The copy's name is made on UTF-8 text, which keeps the ';' and '.' it looks for as they are.
  const StoredText utf8(true);
  const std::wstring copyName = utf8.Wide(RevisionCopyName(utf8.Stored(fileName), revisionNumber));
  if (!IsSafeFileName(copyName)) return E_INVALIDARG;
  const std::wstring root = CopiesRoot();
  if (root.empty()) return E_FAIL;
  RemoveStaleCopies(root);
  const std::wstring folder = NewCopyFolder(root);
  if (folder.empty()) return E_FAIL;
  const std::wstring target = folder + copyName;
  RestoreWriter writer(RestoreOptions{}, [](RestoreEvent, const std::wstring&) {});
  if (!writer.WriteObject(revision, storedName, target)) {
    RemoveComparisonCopy(target);
    return E_FAIL;
  }
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
  *path = target;
  return S_OK;
}

std::wstring CompareCommand() {
  wchar_t command[2048];
  DWORD bytes = sizeof command;
  if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kCommandValue, RRF_RT_REG_SZ, nullptr, command, &bytes) !=
      ERROR_SUCCESS)
    return {};
  return command;
}

HRESULT SetCompareCommand(const std::wstring& commandLine) {
  RegKey key;
  if (key.Create(HKEY_CURRENT_USER, kSettingsKey) != ERROR_SUCCESS) return E_ACCESSDENIED;
  if (commandLine.empty()) {
    const LSTATUS status = RegDeleteValueW(key.Get(), kCommandValue);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
  }
  if (!CompareCommandLine(commandLine, L"a", L"b")) return E_INVALIDARG;
  const auto bytes = static_cast<DWORD>((commandLine.size() + 1) * sizeof(wchar_t));
  return HRESULT_FROM_WIN32(RegSetValueExW(key.Get(), kCommandValue, 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(commandLine.c_str()), bytes));
}

HRESULT ShowComparison(HWND owner, const CompareSide& older, const CompareSide& newer) {
  const std::wstring command = CompareCommand();
  if (command.empty()) {
    const HRESULT shown = OpenCompareWindow(older, newer);
    if (FAILED(shown)) {
      RemoveComparisonCopy(older.path);
      RemoveComparisonCopy(newer.path);
      ShowCompareMessage(owner, IDS_COMPARE_NOT_SHOWN, older.title);
    }
    return shown;
  }
  const std::optional<std::wstring> line = CompareCommandLine(command, older.path, newer.path);
  std::wstring text = line.value_or(command);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (line && CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return S_OK;
  }
  const HRESULT why = line ? HRESULT_FROM_WIN32(GetLastError()) : E_INVALIDARG;
  RemoveComparisonCopy(older.path);
  RemoveComparisonCopy(newer.path);
  ShowCompareMessage(owner, IDS_COMPARE_NOT_STARTED, command);
  return why;
}

}  // namespace shell
}  // namespace cairn
