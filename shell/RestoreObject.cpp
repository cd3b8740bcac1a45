// The restore object routine: one archived object written at its latest revision to one path,
// by its kind. Below the object, every child goes to its parent's path plus the last component
// of its stored name, and only when that component cannot lead out of the parent (the rules cn
// applies): an archive is untrusted input.
#include <windows.h>
#include <objbase.h>

#include <algorithm>

#include "CairnFolder.h"
#include "FileSystem.h"
#include "RestoreNames.h"
#include "ShellText.h"

namespace cairn {
namespace shell {
namespace {

constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr ULONG kCopyPiece = 4096;
// A crafted archive could make a storage its own element; restores end at this depth.
constexpr int kMaxElementDepth = 64;
constexpr DWORD kPlainFile = 0;

struct Options {
  bool overwriteOlder;
  bool overwriteNewer;
  bool restoreTimes;
};

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (Valid()) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The safe last component of a stored name, or empty.
std::wstring SafeChild(const std::wstring& storedName, bool isFile) {
  const std::wstring component = LastComponent(storedName);
  return (isFile ? IsSafeFileName(component) : IsSafeComponent(component)) ? component : std::wstring();
}

// The overwrite rule: false when an existing file must be kept (a skip, which is a success);
// *failed when the times cannot be compared.
bool ShouldWrite(const std::string& path, const STATSTG& stat, bool compound, const Options& options, bool* failed) {
  *failed = false;
  if (options.overwriteOlder && options.overwriteNewer && !options.restoreTimes) return true;
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  FILETIME existing{};
  if (compound) {
    ComPtr<IStorage> storage;
    STATSTG current{};
    if (FAILED(StgOpenStorage(FromAnsi(path).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                              storage.Out())) ||
        !storage || FAILED(storage->Stat(&current, STATFLAG_NONAME))) {
      *failed = true;
      return false;
    }
    existing = current.mtime;
  } else {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
      *failed = true;
      return false;
    }
    existing = data.ftLastWriteTime;
  }
  const LONG order = CompareFileTime(&existing, &stat.mtime);
  if (!options.overwriteOlder && order < 0) return false;
  if (!options.overwriteNewer && order > 0) return false;
  return true;
}

bool SetTimes(const std::string& path, const STATSTG& stat) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() && SetFileTime(file.Get(), &stat.ctime, &stat.atime, &stat.mtime);
}

template <class Visit>
bool ForEachChild(ICairnRevision* revision, Visit visit) {
  ComPtr<IEnumCairnObjects> children;
  if (FAILED(revision->EnumCairnObjects(0, children.Out())) || !children) return false;
  ComPtr<ICairnObject> child;
  while (children->Next(0, child.Out()) == S_OK && child) {
    ComPtr<ICairnRevision> latest = LatestRevision(child.Get());
    if (!latest || !visit(child.Get(), latest.Get())) return false;
  }
  return true;
}

bool WriteRevision(ICairnRevision* revision, const std::string& path, const Options& options);

bool WriteFolder(ICairnRevision* revision, const std::string& path, const Options& options) {
  if (!MakeFolderChain(path)) return true;  // a folder that cannot be made is skipped
  return ForEachChild(revision, [&](ICairnObject* child, ICairnRevision* latest) {
    Bstr name;
    if (FAILED(child->GetName(name.Out()))) return false;
    const std::wstring component = SafeChild(name.Get() ? name.Get() : L"", true);
    return !component.empty() && WriteRevision(latest, path + "\\" + ToAnsi(component.c_str()), options);
  });
}

bool WritePlainFile(IStream* content, const std::string& path, const STATSTG& stat, const Options& options) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  char piece[kCopyPiece];
  for (;;) {
    ULONG got = 0;
    // A revision that cannot be read whole must not pass for restored.
    if (FAILED(content->Read(piece, kCopyPiece, &got))) return false;
    if (got == 0) break;
    DWORD written = 0;
    if (!WriteFile(file.Get(), piece, got, &written, nullptr) || written != got) return false;
  }
  return !options.restoreTimes || SetFileTime(file.Get(), &stat.ctime, &stat.atime, &stat.mtime);
}

bool CopyElements(ICairnRevision* revision, IStorage* storage, int depth) {
  if (depth > kMaxElementDepth) return false;
  return ForEachChild(revision, [&](ICairnObject*, ICairnRevision* latest) {
    ComPtr<IStream> content;
    STATSTG stat{};
    if (FAILED(latest->GetContents(content.Out())) || !content || FAILED(content->Stat(&stat, STATFLAG_DEFAULT)))
      return false;
    const std::wstring name = SafeChild(stat.pwcsName ? stat.pwcsName : L"", false);
    CoTaskMemFree(stat.pwcsName);
    if (name.empty()) return false;
    if (stat.type == STGTY_STORAGE) {
      ComPtr<IStorage> element;
      return SUCCEEDED(storage->CreateStorage(name.c_str(), kCreateMode, 0, 0, element.Out())) && element &&
             CopyElements(latest, element.Get(), depth + 1);
    }
    if (stat.type == STGTY_STREAM) {
      ComPtr<IStream> element;
      ULARGE_INTEGER all;
      all.QuadPart = ~0ull;
      return SUCCEEDED(storage->CreateStream(name.c_str(), kCreateMode, 0, 0, element.Out())) && element &&
             SUCCEEDED(content->CopyTo(element.Get(), all, nullptr, nullptr));
    }
    return true;
  });
}

bool WriteCompoundFile(ICairnRevision* revision, const std::string& path, const STATSTG& stat, const Options& options) {
  {
    ComPtr<IStorage> storage;
    if (FAILED(StgCreateDocfile(FromAnsi(path).c_str(), kCreateMode, 0, storage.Out())) || !storage ||
        !CopyElements(revision, storage.Get(), 0))
      return false;
  }
  return !options.restoreTimes || SetTimes(path, stat);
}

bool WriteRevision(ICairnRevision* revision, const std::string& path, const Options& options) {
  ComPtr<IStream> content;
  STATSTG stat{};
  if (FAILED(revision->GetContents(content.Out())) || !content || FAILED(content->Stat(&stat, STATFLAG_NONAME)))
    return false;
  if (stat.reserved & FILE_ATTRIBUTE_DIRECTORY) return WriteFolder(revision, path, options);
  const bool compound = stat.type == STGTY_STORAGE;
  if (stat.type == STGTY_STREAM) return false;  // an element cannot stand on its own
  if (stat.type != kPlainFile && !compound) return true;  // nothing this version knows how to write
  bool failed = false;
  if (!ShouldWrite(path, stat, compound, options, &failed)) return !failed;
  return compound ? WriteCompoundFile(revision, path, stat, options)
                  : WritePlainFile(content.Get(), path, stat, options);
}

}  // namespace

bool CCairnFolder::ExtractObject(ICairnObject* object, const std::string& path, bool record, bool overwriteOlder,
                                 bool overwriteNewer, bool restoreTimes) {
  ComPtr<ICairnRevision> revision = LatestRevision(object);
  if (!revision || path.empty() || !MakeFolderChain(FolderPart(path))) return false;
  if (!WriteRevision(revision.Get(), path, Options{overwriteOlder, overwriteNewer, restoreTimes})) return false;
  // A copy written again (an item opened twice) is listed once.
  if (record && std::find(temporaryFiles_.begin(), temporaryFiles_.end(), path) == temporaryFiles_.end())
    temporaryFiles_.push_back(path);
  return true;
}

}  // namespace shell
}  // namespace cairn
