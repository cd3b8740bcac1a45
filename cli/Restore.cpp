// Every object below a top-level one is written at its parent's path plus the last component of
// its stored name, and only when that component cannot lead out of the parent: an archive is
// untrusted input, and a hostile one must not place files anywhere it likes. A child whose stored
// name is not its parent's plus one component, and a folder or storage revision met again below
// itself, are damage: refused before anything is written for them.
#include "Restore.h"

#include <cstdio>

#include "ArchiveAccess.h"
#include "CommandLine.h"
#include "ComPtr.h"
#include "ConsoleText.h"
#include "Handle.h"
#include "RestoreNames.h"
#include "SnapshotItem.h"
#include "StoredNames.h"
#include "TaskMemory.h"

namespace cairn {
namespace cn {
namespace {

// The element modes restore creates with: create, read-write, share-exclusive.
constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr ULONG kCopyPiece = 4096;
// Deeper element trees than this are refused: a crafted archive could make a storage its own
// element, and a restore must end. (Folders end by themselves: their paths grow with depth.)
constexpr int kMaxElementDepth = 64;

// Type of a revision's content (STATSTG.type as the archive keeps it).
constexpr DWORD kPlainFile = 0;
constexpr DWORD kCompoundFile = STGTY_STORAGE;
constexpr DWORD kElementStream = STGTY_STREAM;

void Report(const char* format, const std::wstring& path) {
  std::fprintf(stderr, format, Console(path.c_str()).c_str());
}

// Makes the folder and any missing parents. A path shorter than three characters (a drive) and
// an existing folder need nothing; a file standing where a folder is needed fails.
bool MakeFolderChain(const std::wstring& path) {
  if (path.size() < 3) return true;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  const size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos && !MakeFolderChain(path.substr(0, slash))) return false;
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  Report("Unable to make directory: %s\n", path);
  return false;
}

// The folders and storages being written, outermost first: each by its stored name and the
// number of the revision written.
using Ancestry = std::vector<std::pair<std::wstring, LONG>>;

// The child's last name component, or empty (with a message) when it is not safe to write or its
// stored name does not belong to its parent's.
std::wstring SafeChildName(const std::wstring& parentName, const std::wstring& storedName, bool isFile) {
  const std::wstring component = LastComponent(storedName);
  if (IsChildName(parentName, storedName) && (isFile ? IsSafeFileName(component) : IsSafeComponent(component)))
    return component;
  Report("Unsafe name in archive: %s\n", storedName);
  return std::wstring();
}

// Adds a folder's or storage's revision to the ancestry; false (with a message) when it is one
// of its own ancestors, which only a damaged archive can make.
bool Enter(Ancestry* ancestry, const std::wstring& storedName, ICairnRevision* revision) {
  LONG number = 0;
  if (FAILED(revision->GetRevision(&number))) number = -1;
  for (const auto& [name, seen] : *ancestry)
    if (seen == number && SameNameIgnoringCase(name, storedName)) {
      std::fputs("Internal Error\n", stderr);
      return false;
    }
  ancestry->emplace_back(storedName, number);
  return true;
}

// Calls visit(child, its latest revision) for each child of a folder's or storage's revision,
// stopping at the first failure (a message is printed for a failure met here).
template <class Visit>
bool ForEachChild(ICairnRevision* revision, Visit visit) {
  ComPtr<IEnumCairnObjects> children;
  if (FAILED(revision->EnumCairnObjects(0, children.Out())) || !children) {
    std::fputs("Unable to get enumerator!\n", stderr);
    return false;
  }
  ComPtr<ICairnObject> child;
  HRESULT hr;
  while ((hr = children->Next(0, child.Out())) == S_OK && child) {
    ComPtr<ICairnRevision> latest;
    hr = LatestRevision(child.Get(), &latest);
    if (FAILED(hr)) break;
    if (hr != S_OK) {
      std::fputs("No revisions!\n", stderr);
      return false;
    }
    if (!visit(child.Get(), latest.Get())) return false;
  }
  if (FAILED(hr)) {
    // A damaged archive: the children cannot all be had, and a folder without some of them must
    // not pass for restored.
    std::fputs("Unable to get enumerator!\n", stderr);
    return false;
  }
  return true;
}

bool RestoreRevision(ICairnRevision* revision, const std::wstring& path, const std::wstring& storedName,
                     Ancestry* ancestry);

bool RestoreFolder(ICairnRevision* revision, const std::wstring& path, const std::wstring& storedName,
                   Ancestry* ancestry) {
  if (!Enter(ancestry, storedName, revision) || !MakeFolderChain(path)) return false;
  const bool restored = ForEachChild(revision, [&](ICairnObject* child, ICairnRevision* latest) {
    Bstr name;
    if (FAILED(child->GetName(name.Out()))) {
      std::fputs("Unable to get object name!\n", stderr);
      return false;
    }
    const std::wstring component = SafeChildName(storedName, name.Text(), true);
    return !component.empty() && RestoreRevision(latest, path + L"\\" + component, name.Text(), ancestry);
  });
  ancestry->pop_back();
  return restored;
}

// Copies the stream in pieces until a read returns nothing. The times are set even after a
// failed write, as far as the file got.
bool RestorePlainFile(IStream* content, const std::wstring& path, const STATSTG& stat) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Report("Unable to create file: %s\n", path);
    return false;
  }
  bool ok = true;
  char piece[kCopyPiece];
  for (;;) {
    ULONG got = 0;
    if (FAILED(content->Read(piece, kCopyPiece, &got))) {
      // A revision that cannot be read whole must not pass for restored.
      std::fputs("Internal Error\n", stderr);
      ok = false;
      break;
    }
    if (got == 0) break;
    DWORD written = 0;
    if (!WriteFile(file.Get(), piece, got, &written, nullptr) || written != got) {
      std::fputs("Unable to write file!\n", stderr);
      ok = false;
      break;
    }
  }
  if (!SetFileTime(file.Get(), &stat.ctime, &stat.atime, &stat.mtime)) {
    std::fputs("Unable to restore modification time!\n", stderr);
    ok = false;
  }
  return ok;
}

// Copies the elements of a compound file's (or element storage's) revision, stored as
// storedName, into a storage.
bool CopyElementTree(ICairnRevision* revision, IStorage* storage, const std::wstring& storedName, Ancestry* ancestry,
                     int depth = 0) {
  if (depth > kMaxElementDepth) {
    std::fputs("Internal Error\n", stderr);
    return false;
  }
  if (!Enter(ancestry, storedName, revision)) return false;
  struct Leave {
    Ancestry* ancestry;
    ~Leave() { ancestry->pop_back(); }
  } leave{ancestry};
  ComPtr<IMalloc> allocator;
  if (FAILED(CoGetMalloc(1, allocator.Out())) || !allocator) {
    std::fputs("Unable to get CoAllocator!\n", stderr);
    return false;
  }
  return ForEachChild(revision, [&](ICairnObject*, ICairnRevision* latest) {
    ComPtr<IStream> content;
    if (FAILED(latest->GetContents(content.Out())) || !content) {
      std::fputs("Unable to get stream!\n", stderr);
      return false;
    }
    STATSTG stat{};
    if (FAILED(content->Stat(&stat, STATFLAG_DEFAULT))) {
      std::fputs("Unable to stat storage!\n", stderr);
      return false;
    }
    const TaskMemory<wchar_t> elementName(stat.pwcsName);
    const std::wstring stored = elementName ? elementName.Get() : L"";
    const std::wstring name = SafeChildName(storedName, stored, false);
    if (name.empty()) return false;
    if (stat.type == kCompoundFile) {
      ComPtr<IStorage> element;
      if (FAILED(storage->CreateStorage(name.c_str(), kCreateMode, 0, 0, element.Out())) || !element) {
        std::fputs("Unable to create storage!\n", stderr);
        return false;
      }
      if (!CopyElementTree(latest, element.Get(), stored, ancestry, depth + 1)) return false;
    } else if (stat.type == kElementStream) {
      ComPtr<IStream> element;
      if (FAILED(storage->CreateStream(name.c_str(), kCreateMode, 0, 0, element.Out())) || !element) {
        std::fputs("Unable to create stream!\n", stderr);
        return false;
      }
      ULARGE_INTEGER all;
      all.QuadPart = ~0ull;
      if (FAILED(content->CopyTo(element.Get(), all, nullptr, nullptr))) {
        std::fputs("Unable to copy stream!\n", stderr);
        return false;
      }
    }
    return true;
  });
}

bool RestoreCompoundFile(ICairnRevision* revision, const std::wstring& path, const STATSTG& stat,
                         const std::wstring& storedName, Ancestry* ancestry) {
  {
    ComPtr<IStorage> storage;
    if (FAILED(StgCreateDocfile(path.c_str(), kCreateMode, 0, storage.Out())) || !storage) {
      Report("Unable to create: %s\n", path);
      return false;
    }
    if (!CopyElementTree(revision, storage.Get(), storedName, ancestry)) return false;
  }
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Report("Unable to open: %s\n", path);
    return false;
  }
  if (!SetFileTime(file.Get(), &stat.ctime, &stat.atime, &stat.mtime)) {
    Report("Unable to set file time: %s\n", path);
    return false;
  }
  return true;
}

bool RestoreRevision(ICairnRevision* revision, const std::wstring& path, const std::wstring& storedName,
                     Ancestry* ancestry) {
  ComPtr<IStream> content;
  STATSTG stat{};
  if (FAILED(revision->GetContents(content.Out())) || !content || FAILED(content->Stat(&stat, STATFLAG_NONAME))) {
    std::fputs("Internal Error\n", stderr);
    return false;
  }
  if (stat.reserved & FILE_ATTRIBUTE_DIRECTORY) return RestoreFolder(revision, path, storedName, ancestry);
  switch (stat.type) {
    case kPlainFile:
      return RestorePlainFile(content.Get(), path, stat);
    case kCompoundFile:
      return RestoreCompoundFile(revision, path, stat, storedName, ancestry);
    case kElementStream:
      return false;  // an element cannot stand on its own
    default:
      return true;  // nothing this version knows how to write
  }
}

bool RestoreSnapshot(ICairnSnapShot* snapshot) {
  ComPtr<IEnumCairnObjects> objects;
  if (FAILED(snapshot->EnumCairnObjects(0, objects.Out())) || !objects) {
    std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
    return false;
  }
  ComPtr<ICairnObject> object;
  HRESULT hr;
  while ((hr = objects->Next(0, object.Out())) == S_OK && object) {
    Bstr name;
    if (FAILED(object->GetName(name.Out()))) {
      std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
      return false;
    }
    ComPtr<ICairnRevision> latest;
    hr = LatestRevision(object.Get(), &latest);
    if (FAILED(hr)) {
      std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
      Report("Failed to restore: %s\n", name.Text());
      return false;
    }
    if (hr != S_OK) continue;
    // A top-level object goes back to its stored full path.
    const std::wstring path = name.Text();
    Ancestry ancestry;
    const size_t slash = path.find_last_of(L'\\');
    if (!MakeFolderChain(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash)) ||
        !RestoreRevision(latest.Get(), path, path, &ancestry)) {
      Report("Failed to restore: %s\n", path);
      return false;
    }
  }
  if (FAILED(hr)) {
    // A damaged archive: the snapshot's objects cannot all be had.
    std::fputs("Internal Error: Unable to get enumerator!\n", stderr);
    return false;
  }
  return true;
}

// The newest live snapshot. The newest snapshot may have been deleted; then the newest live one
// before it is the latest the user can mean, so it is looked for from the start. The enumerator
// ends past the end either way.
HRESULT LatestLiveSnapshot(IEnumSnapShots* snapshots, ComPtr<ICairnSnapShot>* latest) {
  HRESULT hr = snapshots->Last(1, latest->Out());
  if (hr != S_FALSE) return hr;
  hr = snapshots->Reset();
  if (FAILED(hr)) return hr;
  ComPtr<ICairnSnapShot> snapshot;
  while ((hr = snapshots->Next(1, snapshot.Out())) == S_OK && snapshot) *latest = snapshot;
  if (FAILED(hr)) return hr;
  return *latest ? S_OK : S_FALSE;
}

}  // namespace

bool RestoreSnapshots(IEnumSnapShots* snapshots, const std::vector<std::string>& items, const std::string& archive) {
  for (const std::string& item : items) {
    ComPtr<ICairnSnapShot> snapshot;
    if (item == kSnapshotMarker) {
      const HRESULT hr = LatestLiveSnapshot(snapshots, &snapshot);
      if (FAILED(hr)) {
        SnapshotWalkFailed(archive);
        return false;
      }
      if (hr != S_OK || !snapshot) continue;
    } else if (!FindNamedSnapshot(snapshots, item, archive, &snapshot)) {
      return false;
    }
    if (!RestoreSnapshot(snapshot.Get())) return false;
  }
  return true;
}

}  // namespace cn
}  // namespace cairn
