// The files the archive view opens: the read-only copy of a stored file, and the log as text.
#include "ArchiveOperations.h"

#include "AnsiText.h"
#include "ArchiveItems.h"
#include "Handle.h"
#include "ItemNames.h"
#include "RestoreNames.h"
#include "RestoreWriter.h"

namespace cairn {
namespace shell {
namespace {

constexpr DWORD kLogPiece = 4096;

std::string TempFolder() {
  char path[MAX_PATH];
  const DWORD n = GetTempPathA(MAX_PATH, path);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

}  // namespace

bool DisplayRevision(HWND owner, ICairnRevision* revision, const std::wstring& storedName, std::string* copy) {
  copy->clear();
  long number = 0;
  if (revision == nullptr || FAILED(revision->GetRevision(&number))) return false;
  // The copy is named after the stored name's last component, which must stay a plain name in
  // the temporary folder. Its path is in the code page: a name the code page cannot hold is not
  // opened.
  const std::wstring fileName = LastComponent(storedName);
  const std::string folder = TempFolder();
  if (folder.empty() || !IsSafeFileName(fileName) || FromAnsi(ToAnsi(fileName.c_str())) != fileName) return false;
  const std::string copyName = RevisionCopyName(ToAnsi(fileName.c_str()), number);
  if (!IsSafeFileName(FromAnsi(copyName))) return false;
  const std::string path = folder + copyName;

  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
  RestoreOptions options;
  options.restoreTimes = false;
  options.skipFolderNotMade = true;
  RestoreWriter writer(options, nullptr);
  if (!writer.WriteObject(revision, storedName, FromAnsi(path))) return false;
  *copy = path;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  const auto result =
      reinterpret_cast<INT_PTR>(ShellExecuteA(owner, nullptr, path.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
  return result > 32;
}

bool ArchiveOperations::DisplayItem(HWND owner, const std::string& storedName, std::string* copy) const {
  copy->clear();
  ComPtr<ICairnObject> object = FindObject(storedName);
  ComPtr<ICairnRevision> revision = LatestRevision(object.Get());
  Bstr stored;
  if (!revision || FAILED(object->GetName(stored.Out()))) return false;
  return DisplayRevision(owner, revision.Get(), stored.Text(), copy);
}

void ArchiveOperations::ShowArchiveLog(HWND owner) const {
  ComPtr<ICairnArchive> archive = ArchiveToRead();
  ComPtr<ICairnArchiveAdmin> admin;
  char name[MAX_PATH] = {};
  const std::string folder = TempFolder();
  if (!archive || FAILED(archive.As(&admin)) || folder.empty() || GetTempFileNameA(folder.c_str(), "Log", 1, name) == 0)
    return;
  // The log always has the same name: the one shown last is deleted here, and never while its
  // viewer, however slowly it starts, may still be opening it.
  std::string path = name;
  const std::string extension = ItemExtension(path);
  path = path.substr(0, path.size() - extension.size()) + ".txt";
  DeleteFileA(path.c_str());
  ComPtr<IStream> log;
  if (FAILED(admin->InterpretLogStream(log.Out())) || !log) return;
  {
    Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file) return;
    char piece[kLogPiece];
    ULONG got = 0;
    DWORD written = 0;
    // The log names objects as the archive keeps its names: UTF-8 text is marked so, for the viewer.
    static const char kUtf8Mark[] = "\xEF\xBB\xBF";
    if (NamesOf(archive.Get()).Utf8() && !WriteFile(file.Get(), kUtf8Mark, 3, &written, nullptr)) return;
    while (SUCCEEDED(log->Read(piece, kLogPiece, &got)) && got > 0 &&
           WriteFile(file.Get(), piece, got, &written, nullptr)) {
    }
  }
  ShellExecuteA(owner, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace shell
}  // namespace cairn
