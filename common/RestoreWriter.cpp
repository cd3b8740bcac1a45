#include "RestoreWriter.h"

#include <utility>

#include "ArchiveAccess.h"
#include "Bstr.h"
#include "ComPtr.h"
#include "Handle.h"
#include "RestoreNames.h"
#include "StoredNames.h"
#include "TaskMemory.h"

namespace cairn {
namespace {

// The mode of every storage and stream a restore creates: create, read-write, share-exclusive.
constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr ULONG kCopyPiece = 4096;
// Deeper element trees than this are refused: a crafted archive could make a storage its own
// element, and a restore must end. (Folders end by themselves: their paths grow with depth.)
constexpr int kMaxElementDepth = 64;

// Type of a revision's content (STATSTG.type as the archive keeps it).
constexpr DWORD kPlainFile = 0;
constexpr DWORD kDocument = STGTY_STORAGE;
constexpr DWORD kElementStream = STGTY_STREAM;

std::wstring ParentFolder(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Makes the folder and any missing parents. A path shorter than three characters (a drive) and
// an existing folder need nothing; a file standing where a folder is needed fails. *failed is the
// folder that could not be made.
bool MakeFolderChain(const std::wstring& path, std::wstring* failed) {
  if (path.size() < 3) return true;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  if (!MakeFolderChain(ParentFolder(path), failed)) return false;
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  *failed = path;
  return false;
}

// Gives a written storage its stored class and commits it; a failure here is a failed write.
bool FinishStorage(IStorage* storage, REFCLSID classId) {
  if (!IsEqualCLSID(classId, CLSID_NULL) && FAILED(storage->SetClass(classId))) return false;
  return SUCCEEDED(storage->Commit(STGC_DEFAULT));
}

// A file beside a target, named so that nothing else uses it, where a restored object is written
// whole before it takes the target's place; removed unless moved there.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::wstring& target) {
    wchar_t name[MAX_PATH];
    const std::wstring folder = ParentFolder(target);
    if (GetTempFileNameW((folder.size() < 3 ? folder + L"\\" : folder).c_str(), L"crn", 0, name) != 0) path_ = name;
  }
  ~TemporaryFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool Made() const { return !path_.empty(); }
  const std::wstring& Path() const { return path_; }
  bool MoveTo(const std::wstring& target) {
    if (!MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    path_.clear();
    return true;
  }

 private:
  std::wstring path_;
};

bool LastWriteTime(const std::wstring& path, bool document, FILETIME* time) {
  if (!document) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    *time = data.ftLastWriteTime;
    return true;
  }
  // A compound document's own record of its time.
  ComPtr<IStorage> storage;
  STATSTG current{};
  if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.Out())) ||
      !storage || FAILED(storage->Stat(&current, STATFLAG_NONAME)))
    return false;
  *time = current.mtime;
  return true;
}

}  // namespace

RestoreWriter::RestoreWriter(const RestoreOptions& options, Report report, Stop stop)
    : options_(options), report_(std::move(report)), stop_(std::move(stop)) {
  if (!report_) report_ = [](RestoreEvent, const std::wstring&) {};
}

bool RestoreWriter::Stopped(const std::wstring& path) {
  if (!stop_ || !stop_()) return false;
  report_(RestoreEvent::kStopped, path);
  return true;
}

bool RestoreWriter::MakeFolders(const std::wstring& path) {
  std::wstring failed;
  if (MakeFolderChain(path, &failed)) return true;
  report_(RestoreEvent::kFolderNotMade, failed);
  return false;
}

bool RestoreWriter::WriteObject(ICairnRevision* revision, const std::wstring& storedName, const std::wstring& path) {
  // Nothing at all is made for a top-level name that is not a drive or network path.
  if (!IsAbsoluteStoredName(storedName) || !IsAbsoluteStoredName(path)) {
    report_(RestoreEvent::kUnsafeName, storedName);
    return false;
  }
  return MakeFolders(ParentFolder(path)) && WriteRevision(revision, storedName, path, nullptr);
}

bool RestoreWriter::WriteRevision(ICairnRevision* revision, const std::wstring& storedName, const std::wstring& path,
                                  const Container* parent) {
  if (Stopped(path)) return false;
  ComPtr<IStream> content;
  STATSTG stat{};
  if (FAILED(revision->GetContents(content.Out())) || !content || FAILED(content->Stat(&stat, STATFLAG_NONAME))) {
    report_(RestoreEvent::kRevisionUnreadable, path);
    return false;
  }
  const Container self{parent, revision, storedName};
  if (stat.reserved & FILE_ATTRIBUTE_DIRECTORY) {
    if (MetAgain(self)) {
      report_(RestoreEvent::kMetAgain, storedName);
      return false;
    }
    return WriteFolder(self, path);
  }
  if (stat.type == kElementStream) {
    report_(RestoreEvent::kElementAlone, path);
    return false;
  }
  if (stat.type != kPlainFile && stat.type != kDocument) {
    report_(RestoreEvent::kKindSkipped, path);
    return true;
  }
  const bool document = stat.type == kDocument;
  bool failed = false;
  if (!ShouldWrite(path, stat, document, &failed)) {
    report_(failed ? RestoreEvent::kExistingUnreadable : RestoreEvent::kKeptExisting, path);
    return !failed;
  }
  // Written whole under a name of its own beside the target, which stays as it was until then.
  TemporaryFile temporary(path);
  if (!temporary.Made()) {
    report_(document ? RestoreEvent::kDocumentNotCreated : RestoreEvent::kFileNotCreated, path);
    return false;
  }
  const bool written = document ? WriteDocument(self, temporary.Path(), path, stat)
                                : WritePlainFile(content.Get(), temporary.Path(), path, stat);
  if (!written) return false;
  if (!temporary.MoveTo(path)) {
    report_(document ? RestoreEvent::kDocumentNotCreated : RestoreEvent::kFileNotCreated, path);
    return false;
  }
  report_(RestoreEvent::kWritten, path);
  return true;
}

bool RestoreWriter::ShouldWrite(const std::wstring& path, const STATSTG& stat, bool document, bool* failed) const {
  *failed = false;
  if (!options_.compareExisting || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  FILETIME existing{};
  if (!LastWriteTime(path, document, &existing)) {
    *failed = true;
    return false;
  }
  const LONG order = CompareFileTime(&existing, &stat.mtime);
  if (!options_.overwriteOlder && order < 0) return false;
  if (!options_.overwriteNewer && order > 0) return false;
  return true;
}

bool RestoreWriter::ForEachChild(ICairnRevision* revision,
                                 const std::function<bool(ICairnObject*, ICairnRevision*)>& visit) {
  ComPtr<IEnumCairnObjects> children;
  if (FAILED(revision->EnumCairnObjects(0, children.Out())) || !children) {
    report_(RestoreEvent::kChildrenUnreadable, std::wstring());
    return false;
  }
  ComPtr<ICairnObject> child;
  HRESULT hr;
  while ((hr = children->Next(0, child.Out())) == S_OK && child) {
    ComPtr<ICairnRevision> latest;
    hr = LatestRevision(child.Get(), &latest);
    if (FAILED(hr)) break;
    if (hr != S_OK) {
      report_(RestoreEvent::kNoRevision, std::wstring());
      return false;
    }
    if (!visit(child.Get(), latest.Get())) return false;
  }
  if (FAILED(hr)) {
    // A damaged archive: the children cannot all be had, and a folder without some of them must
    // not pass for restored.
    report_(RestoreEvent::kChildrenUnreadable, std::wstring());
    return false;
  }
  return true;
}

bool RestoreWriter::MetAgain(const Container& container) {
  LONG number = -1;
  if (FAILED(container.revision->GetRevision(&number))) return false;
  for (const Container* above = container.parent; above != nullptr; above = above->parent) {
    LONG seen = -1;
    if (SUCCEEDED(above->revision->GetRevision(&seen)) && seen == number &&
        SameNameIgnoringCase(above->storedName, container.storedName))
      return true;
  }
  return false;
}

bool RestoreWriter::WriteFolder(const Container& folder, const std::wstring& path) {
  std::wstring failed;
  if (!MakeFolderChain(path, &failed)) {
    if (options_.skipFolderNotMade) {
      report_(RestoreEvent::kFolderSkipped, path);
      return true;
    }
    report_(RestoreEvent::kFolderNotMade, failed);
    return false;
  }
  return ForEachChild(folder.revision, [&](ICairnObject* child, ICairnRevision* latest) {
    return WriteFolderChild(folder, path, child, latest);
  });
}

bool RestoreWriter::WriteFolderChild(const Container& folder, const std::wstring& path, ICairnObject* child,
                                     ICairnRevision* latest) {
  Bstr name;
  if (FAILED(child->GetName(name.Out()))) {
    report_(RestoreEvent::kNameUnreadable, std::wstring());
    return false;
  }
  const std::wstring storedName = name.Text();
  const std::wstring component = LastComponent(storedName);
  if (!IsChildName(folder.storedName, storedName) || !IsSafeFileName(component)) {
    report_(RestoreEvent::kUnsafeName, storedName);
    return false;
  }
  return WriteRevision(latest, storedName, path + L"\\" + component, &folder);
}

bool RestoreWriter::WritePlainFile(IStream* content, const std::wstring& temporary, const std::wstring& path,
                                   const STATSTG& stat) {
  Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    report_(RestoreEvent::kFileNotCreated, path);
    return false;
  }
  bool ok = true;
  char piece[kCopyPiece];
  for (;;) {
    ULONG got = 0;
    if (FAILED(content->Read(piece, kCopyPiece, &got))) {
      // A revision that cannot be read whole must not pass for restored.
      report_(RestoreEvent::kContentUnreadable, path);
      ok = false;
      break;
    }
    if (got == 0) break;
    // The temporary file goes; the target stays as it was.
    if (Stopped(path)) {
      ok = false;
      break;
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), piece, got, &written, nullptr) || written != got) {
      report_(RestoreEvent::kFileNotWritten, path);
      ok = false;
      break;
    }
  }
  if (ok && !FlushFileBuffers(file.Get())) {
    report_(RestoreEvent::kFileNotWritten, path);
    ok = false;
  }
  if (ok && options_.restoreTimes && !SetFileTime(file.Get(), &stat.ctime, &stat.atime, &stat.mtime)) {
    report_(RestoreEvent::kFileTimesNotSet, path);
    ok = false;
  }
  return ok;
}

bool RestoreWriter::WriteDocument(const Container& document, const std::wstring& temporary, const std::wstring& path,
                                  const STATSTG& stat) {
  {
    ComPtr<IStorage> storage;
    if (FAILED(StgCreateDocfile(temporary.c_str(), kCreateMode, 0, storage.Out())) || !storage) {
      report_(RestoreEvent::kDocumentNotCreated, path);
      return false;
    }
    if (!CopyElements(document, storage.Get(), 0)) return false;
    if (!FinishStorage(storage.Get(), stat.clsid)) {
      report_(RestoreEvent::kStorageNotCommitted, path);
      return false;
    }
  }
  // The storage is closed; what it wrote reaches the disk, and its times are set on the file.
  Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
  if (!file) {
    report_(RestoreEvent::kDocumentNotReopened, path);
    return false;
  }
  if (!FlushFileBuffers(file.Get())) {
    report_(RestoreEvent::kStorageNotCommitted, path);
    return false;
  }
  if (!options_.restoreTimes) return true;
  if (!SetFileTime(file.Get(), &stat.ctime, &stat.atime, &stat.mtime)) {
    report_(RestoreEvent::kDocumentTimesNotSet, path);
    return false;
  }
  return true;
}

bool RestoreWriter::CopyElements(const Container& storage, IStorage* into, int depth) {
  if (depth > kMaxElementDepth) {
    report_(RestoreEvent::kTooDeep, std::wstring());
    return false;
  }
  ComPtr<IMalloc> allocator;
  if (FAILED(CoGetMalloc(1, allocator.Out())) || !allocator) {
    report_(RestoreEvent::kAllocatorMissing, std::wstring());
    return false;
  }
  return ForEachChild(storage.revision, [&](ICairnObject*, ICairnRevision* latest) {
    return CopyElement(storage, into, latest, depth);
  });
}

bool RestoreWriter::CopyElement(const Container& storage, IStorage* into, ICairnRevision* latest, int depth) {
  ComPtr<IStream> content;
  if (FAILED(latest->GetContents(content.Out())) || !content) {
    report_(RestoreEvent::kElementUnreadable, std::wstring());
    return false;
  }
  STATSTG stat{};
  if (FAILED(content->Stat(&stat, STATFLAG_DEFAULT))) {
    report_(RestoreEvent::kElementStatFailed, std::wstring());
    return false;
  }
  const TaskMemory<wchar_t> elementName(stat.pwcsName);
  const std::wstring storedName = elementName ? elementName.Get() : L"";
  const std::wstring name = LastComponent(storedName);
  if (!IsChildName(storage.storedName, storedName) || !IsElementName(name)) {
    report_(RestoreEvent::kUnsafeName, storedName);
    return false;
  }
  if (stat.type == kDocument) {
    const Container inner{&storage, latest, storedName};
    if (MetAgain(inner)) {
      report_(RestoreEvent::kMetAgain, storedName);
      return false;
    }
    ComPtr<IStorage> element;
    if (FAILED(into->CreateStorage(name.c_str(), kCreateMode, 0, 0, element.Out())) || !element) {
      report_(RestoreEvent::kStorageNotCreated, name);
      return false;
    }
    if (!CopyElements(inner, element.Get(), depth + 1)) return false;
    if (!FinishStorage(element.Get(), stat.clsid)) {
      report_(RestoreEvent::kStorageNotCommitted, name);
      return false;
    }
    return true;
  }
  if (stat.type == kElementStream) {
    ComPtr<IStream> element;
    if (FAILED(into->CreateStream(name.c_str(), kCreateMode, 0, 0, element.Out())) || !element) {
      report_(RestoreEvent::kStreamNotCreated, name);
      return false;
    }
    ULARGE_INTEGER all;
    all.QuadPart = ~0ull;
    if (FAILED(content->CopyTo(element.Get(), all, nullptr, nullptr))) {
      report_(RestoreEvent::kStreamNotCopied, name);
      return false;
    }
  }
  return true;
}

}  // namespace cairn
