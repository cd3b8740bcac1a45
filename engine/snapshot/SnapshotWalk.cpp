#include "SnapshotWalk.h"

#include <oleauto.h>

#include <cstring>
#include <functional>
#include <set>

#include "ArchiveLog.h"
#include "ArchiveText.h"
#include "ArchiveWalk.h"
#include "Bstr.h"
#include "ObjectCreation.h"
#include "Profile.h"
#include "StatStg.h"

namespace cairn {
namespace {

constexpr char kDirectory[] = "DirectoryRevision";
constexpr char kStorage[] = "StorageRevision";
constexpr char kArchive[] = "CairnArchive";

uint64_t Join(const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

std::string ChildName(const std::string& parent, const std::string& entry) {
  return !parent.empty() && parent.back() == '\\' ? parent + entry : parent + "\\" + entry;
}

std::string NameOf(ArchiveHeap& heap, uint32_t object) {
  std::string name;
  ReadString(heap, ObjectRecord(heap, object).Name(), &name);
  return name;
}

// The object records a list of ListNodes names, in list order.
std::vector<uint32_t> ListObjects(ArchiveHeap& heap, uint32_t first) {
  std::vector<uint32_t> objects;
  ForEach<ListNode>(heap, first, [&](ListNode& node) {
    if (ObjectRecord(heap, node.Object()).IsValid()) objects.push_back(node.Object());
    return S_OK;
  });
  return objects;
}

std::vector<uint32_t> Revisions(ArchiveHeap& heap, uint32_t object) {
  std::vector<uint32_t> revisions;
  ForEach<RevisionRecord>(heap, ObjectRecord(heap, object).OldestRevision(), [&](RevisionRecord& revision) {
    revisions.push_back(revision.Offset());
    return S_OK;
  });
  return revisions;
}

// Pushes a node for object at the head of the list whose head word is at headField.
bool PushNode(ArchiveHeap& heap, uint32_t headField, uint32_t object) {
  const uint32_t node = heap.Allocate(ListNode::kSize);
  if (node == 0) return false;
  ListNode(heap, node).SetObject(object);
  ListNode(heap, node).SetNext(heap.Read32(headField));
  heap.Write32(headField, node);  // the node is complete before it is linked
  return true;
}

void FreeNodes(ArchiveHeap& heap, uint32_t headField) {
  std::vector<uint32_t> nodes;
  ForEach<ListNode>(heap, heap.Read32(headField), [&](ListNode& node) {
    nodes.push_back(node.Offset());
    return S_OK;
  });
  heap.Write32(headField, 0);  // unlinked first, freed after
  for (uint32_t node : nodes) heap.Free(node, ListNode::kSize);
}

// A new ObjectRecord named name; 0 when the archive is full.
uint32_t NewObject(ArchiveHeap& heap, const std::string& name) {
  const uint32_t text = WriteString(heap, name);
  const uint32_t object = text != 0 ? heap.Allocate(ObjectRecord::kSize) : 0;
  if (object == 0) {
    if (text != 0) FreeString(heap, text);
    return 0;
  }
  ObjectRecord(heap, object).SetName(text);
  return object;
}

void FreeObject(ArchiveHeap& heap, uint32_t object) {
  const uint32_t text = ObjectRecord(heap, object).Name();
  heap.Free(object, ObjectRecord::kSize);
  if (text != 0) FreeString(heap, text);
}

// The items of a safe array as the archive names them. With adding set, an item whose full path
// is longer than an archive name can hold, or that the archive's names cannot hold, is logged
// as missing (message 110) and left out: cut to fit or converted with losses, it would name some
// other file or folder.
std::vector<std::string> ArrayItems(WalkContext& walk, SAFEARRAY* array, bool adding) {
  std::vector<std::string> items;
  LONG low = 0, high = -1;
  if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &low)) ||
      FAILED(SafeArrayGetUBound(array, 1, &high)))
    return items;
  for (LONG i = low; i <= high; ++i) {
    Bstr item;
    if (FAILED(SafeArrayGetElement(array, &i, item.Out()))) {
      LogInternalError(walk.archive, kArchive, __LINE__);
      walk.changed = false;
      continue;
    }
    const std::string name = walk.names.Store(item.Get());
    if (adding && (name.size() > kMaxNameLength || !walk.names.Holds(item.Get())))
      LogEvent(walk.archive, message::kObjectGone, name);
    else
      items.push_back(walk.names.FromBstr(item.Get()));
  }
  return items;
}

// The disk file as the Stream a FileRevision reads, or null when it cannot be opened.
ComPtr<IStream> OpenDiskFile(ICairnArchive* archive, ICairnObject* object, const std::wstring& path) {
  ObjectState state;
  state.archive = archive;
  state.object = object;
  state.streamKind = ObjectState::StreamKind::kDiskFile;
  state.path = path.c_str();
  ComPtr<IStream> content;
  if (FAILED(CreateEngineObject(CLSID_Stream, state, content.Out()))) content.Reset();
  return content;
}

// With archive option kTimeAndSize: whether the disk file's size, last-write time and attributes
// are those of the object's newest revision, so that it is unchanged without being read. A
// compound document is tested as a whole file; its revision keeps the attributes of no file, so
// a revision without any is not held to them (attributes alone never change a content either).
bool SameTimeAndSize(ICairnArchive* archive, uint32_t objectRecord, const std::wstring& path) {
  ArchiveHeap* heap = HeapOf(archive);
  ComPtr<IArchiveData> data;
  uint32_t newest = 0;
  WIN32_FILE_ATTRIBUTE_DATA listing;
  if (heap == nullptr || FAILED(archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid())) ||
      FAILED(data->NewestRevision(objectRecord, &newest)) || newest == 0 ||
      !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &listing))
    return false;
  StatBlock stat;
  const RevisionRecord revision(*heap, newest);
  if (!revision.ReadStat(&stat) || (stat.attributes & kFolderAttribute) != 0 ||
      (stat.type != revision_type::kFile && stat.type != revision_type::kStorage))
    return false;
  const bool attributes = stat.attributes == listing.dwFileAttributes ||
                          (stat.type == revision_type::kStorage && stat.attributes == 0);
  return attributes && stat.size == (static_cast<uint64_t>(listing.nFileSizeHigh) << 32 | listing.nFileSizeLow) &&
         stat.modified == Join(listing.ftLastWriteTime);
}

// Whether the content's first 8 bytes are the compound-file signature; the content is left at 0.
bool BeginsWithCompoundSignature(IStream* content) {
  static const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  uint8_t head[8] = {};
  ULONG read = 0;
  const bool same = SUCCEEDED(content->Read(head, sizeof head, &read)) && read == sizeof head &&
                    std::memcmp(head, kSignature, sizeof head) == 0;
  LARGE_INTEGER start = {};
  content->Seek(start, STREAM_SEEK_SET, nullptr);
  return same;
}

}  // namespace

void WalkContext::Processing(const std::string& name) const {
  if (status == nullptr) return;
  const Bstr text = Bstr::Adopt(names.ToBstr(name));
  if (SUCCEEDED(status->SetProcessing(text.Get()))) status->IncrementProgress();
}
void WalkContext::Added() const {
  if (status != nullptr) status->IncrementAdded();
}
void WalkContext::Changed() const {
  if (status != nullptr) status->IncrementChanged();
}
void WalkContext::Deleted() const {
  if (status != nullptr) status->IncrementDeleted();
}
bool WalkContext::Stopped() const { return status != nullptr && status->Continue() == S_FALSE; }

bool WalkContext::NewerThanBase(uint32_t object) const {
  if (!hasBase) return false;
  ComPtr<IArchiveData> data;
  uint32_t newest = 0;
  ArchiveHeap* heap = HeapOf(archive);
  if (heap == nullptr || FAILED(archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid())) ||
      FAILED(data->NewestRevision(object, &newest)) || newest == 0) {
    LogInternalError(archive, kArchive, __LINE__);
    return true;
  }
  return CompareStamps(baseStamp, RevisionRecord(*heap, newest).AsAt()) < 0;
}

bool IsAncestor(const NameCodec& names, const std::string& a, const std::string& b) {
  std::string parent = b;
  for (;;) {
    const size_t cut = parent.find_last_of('\\');
    if (cut == std::string::npos) return false;
    parent.resize(cut);
    if (parent.size() < a.size()) return false;
    if (names.SameName(parent, a)) return true;
  }
}

Outcome CreateRevision(WalkContext& walk, uint32_t objectRecord, const std::string& name) {
  const std::wstring path = walk.names.Read(name);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Outcome::kMissing;
  // After Stop, an archived object keeps its newest revision without its content being compared.
  // New objects are still added, since the walk may have dropped entries they are to take over.
  if (walk.Stopped()) {
    ArchiveHeap* heap = HeapOf(walk.archive);
    if (heap != nullptr && ObjectRecord(*heap, objectRecord).OldestRevision() != 0) return Outcome::kUnchanged;
  }

  ObjectState state;
  state.archive = walk.archive;
  state.record = objectRecord;
  state.stamp = walk.asAt;
  ComPtr<ICairnObject> object;
  if (FAILED(CreateEngineObject(CLSID_CairnObject, state, object.Out()))) {
    LogInternalError(walk.archive, kArchive, __LINE__, name);
    return Outcome::kFailed;
  }

  HRESULT hr;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    DirectoryRevision builder(walk);
    hr = AddRevisionToChain(walk.archive, object.Get(), objectRecord, builder, walk.mode, walk.asAt);
  } else {
    ComPtr<ICairnArchiveFilter> filter;
    if (SUCCEEDED(walk.archive->QueryInterface(IID_ICairnArchiveFilter, filter.OutVoid()))) {
      const Bstr text = Bstr::Adopt(walk.names.ToBstr(name));
      const HRESULT passes = filter->NotFiltered(text.Get());
      if (passes == S_FALSE) return Outcome::kExcluded;
    }
    if (walk.timeAndSize && SameTimeAndSize(walk.archive, objectRecord, path)) return Outcome::kUnchanged;
    // The file is opened once for both its test and its content: a file that does not begin with
    // the compound-file signature is no compound file, and only one that does is asked about.
    ComPtr<IStream> content = OpenDiskFile(walk.archive, object.Get(), path);
    bool compound = false;
    if (!content || BeginsWithCompoundSignature(content.Get())) {
      profile::Scope scope(profile::kOpenFile);
      compound = StgIsStorageFile(path.c_str()) == S_OK;
    }
    if (compound) {
      content.Reset();
      StorageRevision builder(walk, nullptr);
      hr = AddRevisionToChain(walk.archive, object.Get(), objectRecord, builder, walk.mode, walk.asAt);
    } else {
      FileRevision builder(content.Get());
      hr = AddRevisionToChain(walk.archive, object.Get(), objectRecord, builder, walk.mode, walk.asAt);
    }
  }
  if (hr == S_OK) return Outcome::kChanged;
  if (hr == S_FALSE || hr == E_OUTOFMEMORY) return Outcome::kUnchanged;
  return Outcome::kFailed;
}

uint32_t FindExistingObject(ICairnArchive* archive, const std::string& name, bool everyAncestorRevision) {
  ArchiveHeap* heap = HeapOf(archive);
  if (heap == nullptr) return 0;
  const NameCodec names = NameCodec::Of(*heap);
  std::vector<uint32_t> snapshots;
  ForEach<SnapshotRecord>(*heap, heap->HeaderField(header::kSnapshotList), [&](SnapshotRecord& snapshot) {
    snapshots.push_back(snapshot.Offset());
    return S_OK;
  });
  std::set<uint32_t> searched;  // each folder once, whatever a damaged archive links
  // The object itself, or the match found inside an ancestor folder.
  std::function<uint32_t(uint32_t)> look = [&](uint32_t object) -> uint32_t {
    const std::string objectName = NameOf(*heap, object);
    if (names.SameName(objectName, name)) return object;
    if (!IsAncestor(names, objectName, name) || !searched.insert(object).second) return 0;
    std::vector<uint32_t> revisions = Revisions(*heap, object);
    const size_t cut = name.find_last_of('\\');
    const bool directParent = cut != std::string::npos && names.SameName(name.substr(0, cut), objectName);
    if (!everyAncestorRevision && !directParent && revisions.size() > 1) revisions.resize(1);
    for (uint32_t revision : revisions)
      for (uint32_t child : ListObjects(*heap, RevisionRecord(*heap, revision).Children()))
        if (uint32_t found = look(child)) return found;
    return 0;
  };
  for (auto it = snapshots.rbegin(); it != snapshots.rend(); ++it)
    for (uint32_t entry : ListObjects(*heap, SnapshotRecord(*heap, *it).Entries()))
      if (uint32_t found = look(entry)) return found;
  return 0;
}

// ---- folders and compound files

uint32_t DirectoryRevision::PreviousChild(const std::string& name) {
  ArchiveHeap* heap = HeapOf(archive_.Get());
  if (heap == nullptr || previous_ == 0) return 0;
  // The previous revision's list does not change while this one is made.
  if (!previousIndexed_) {
    for (uint32_t child : ListObjects(*heap, RevisionRecord(*heap, previous_).Children()))
      if (child != 0) previousChildren_.Add(NameOf(*heap, child), child);
    previousIndexed_ = true;
  }
  return previousChildren_.Find(name);
}

template <class MakeRevision>
void DirectoryRevision::Child(const std::string& childName, bool report, bool* changed, MakeRevision&& makeRevision) {
  ArchiveHeap* heap = HeapOf(archive_.Get());
  if (heap == nullptr) return;
  const char* module = report ? kDirectory : kStorage;
  bool keep = false;
  if (const uint32_t previous = PreviousChild(childName)) {
    const Outcome outcome = makeRevision(previous);
    // A revision that no snapshot shows yet changes the folder as much as a new one.
    if (outcome == Outcome::kChanged || (outcome == Outcome::kUnchanged && walk_.NewerThanBase(previous))) {
      if (report) {
        LogEvent(archive_.Get(), message::kObjectChanged, childName);
        walk_.Changed();
      }
      *changed = true;
    }
    keep = outcome == Outcome::kChanged || outcome == Outcome::kUnchanged;
    if (keep && !PushNode(*heap, record_ + 12, previous)) LogInternalError(archive_.Get(), module, __LINE__, childName);
  } else if (const uint32_t found = FindExistingObject(archive_.Get(), childName, false)) {
    const Outcome outcome = makeRevision(found);
    keep = outcome == Outcome::kChanged || outcome == Outcome::kUnchanged;
    if (keep) {
      if (report) {
        LogEvent(archive_.Get(), outcome == Outcome::kChanged ? message::kObjectChanged : message::kObjectAdded, childName);
        if (outcome == Outcome::kChanged)
          walk_.Changed();
        else
          walk_.Added();
      }
      *changed = true;
      if (!PushNode(*heap, record_ + 12, found)) LogInternalError(archive_.Get(), module, __LINE__, childName);
    }
  } else {
    const uint32_t object = NewObject(*heap, childName);
    if (object == 0) {
      LogInternalError(archive_.Get(), module, __LINE__, childName);
      return;
    }
    keep = makeRevision(object) == Outcome::kChanged;
    if (!keep) {
      FreeObject(*heap, object);
      return;
    }
    if (report) {
      LogEvent(archive_.Get(), message::kObjectAdded, childName);
      walk_.Added();
    }
    *changed = true;
    if (!PushNode(*heap, record_ + 12, object)) LogInternalError(archive_.Get(), module, __LINE__, childName);
  }
  if (keep) kept_.Add(childName, 1);
}

bool DirectoryRevision::Finish(bool changed, Stamp asAt) {
  ArchiveHeap* heap = HeapOf(archive_.Get());
  if (heap == nullptr) return false;
  if (!changed && previous_ != 0) {
    FreeNodes(*heap, record_ + 12);
    return false;
  }
  RevisionRecord record(*heap, record_);
  record.SetNumber(previous_ != 0 ? RevisionRecord(*heap, previous_).Number() + 1 : 1);
  record.SetAsAt(asAt);
  return true;
}

bool DirectoryRevision::AddRevision(uint32_t, Stamp asAt) {
  ArchiveHeap* heap = HeapOf(archive_.Get());
  if (heap == nullptr) return false;
  const std::string name = ObjectName();
  StatBlock stat;
  bool statFilled = false;
  bool changed = false;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(walk_.names.Read(ChildName(name, "*.*")).c_str(), &found);
  // A folder that cannot be listed gets an empty child list.
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring entry = found.cFileName;
      if (entry == L"." || entry == L"..") {
        if (entry == L".") {
          stat.attributes = found.dwFileAttributes;
          stat.size = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
          stat.modified = Join(found.ftLastWriteTime);
          stat.created = Join(found.ftCreationTime);
          stat.accessed = Join(found.ftLastAccessTime);
          statFilled = true;
        }
        continue;
      }
      const std::string childName = ChildName(name, walk_.names.Store(entry.c_str()));
      walk_.Processing(childName);
      if (!walk_.names.Holds(entry.c_str())) {
        // Its stored name would be another file's or none at all: left out, but never silently.
        LogEvent(archive_.Get(), message::kObjectGone, childName);
        continue;
      }
      Child(childName, true, &changed, [&](uint32_t object) { return CreateRevision(walk_, object, childName); });
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  if (!statFilled) {  // a drive's root folder lists no "." entry
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(walk_.names.Read(name).c_str(), GetFileExInfoStandard, &data)) {
      stat.attributes = data.dwFileAttributes;
      stat.modified = Join(data.ftLastWriteTime);
      stat.created = Join(data.ftCreationTime);
      stat.accessed = Join(data.ftLastAccessTime);
    } else {
      stat.attributes = FILE_ATTRIBUTE_DIRECTORY;
    }
  }
  RevisionRecord(*heap, record_).WriteStat(stat);

  if (previous_ != 0) {
    for (uint32_t child : ListObjects(*heap, RevisionRecord(*heap, previous_).Children())) {
      const std::string childName = NameOf(*heap, child);
      if (Kept(childName)) continue;
      LogEvent(archive_.Get(), message::kObjectGone, childName);
      walk_.Deleted();
      changed = true;
    }
  }
  return Finish(changed, asAt);
}

bool StorageRevision::AddRevision(uint32_t mode, Stamp asAt) {
  ArchiveHeap* heap = HeapOf(archive_.Get());
  if (heap == nullptr) return false;
  const std::string name = ObjectName();
  ComPtr<IStorage> storage;
  HRESULT hr;
  WIN32_FILE_ATTRIBUTE_DATA listing = {};
  if (!parent_) {
    const std::wstring path = walk_.names.Read(name);
    hr = StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_NONE | STGM_PRIORITY, nullptr, 0,
                        storage.Out());
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &listing);
  } else {
    const size_t cut = name.find_last_of('\\');
    const std::wstring element = walk_.names.Read(cut == std::string::npos ? name : name.substr(cut + 1));
    hr = parent_->OpenStorage(element.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.Out());
  }
  if (FAILED(hr)) {
    // A document another program holds without sharing is locked, as a plain file would be.
    if (!parent_ && (hr == STG_E_SHAREVIOLATION || hr == STG_E_LOCKVIOLATION))
      LogNotArchived(archive_.Get(), message::kObjectLocked, name);
    else
      LogInternalError(archive_.Get(), kStorage, __LINE__, name);
    return false;
  }
  auto writeStat = [&] {
    STATSTG stat = {};
    if (FAILED(storage->Stat(&stat, STATFLAG_NONAME))) return;
    if (!parent_) {
      stat.cbSize.LowPart = listing.nFileSizeLow;
      stat.cbSize.HighPart = listing.nFileSizeHigh;
      // Some compound-file implementations keep no times for the root storage; a whole file's
      // times are then the file's own, so that restore and listings show them.
      auto orListing = [](FILETIME* time, const FILETIME& fromListing) {
        if (time->dwLowDateTime == 0 && time->dwHighDateTime == 0) *time = fromListing;
      };
      orListing(&stat.ctime, listing.ftCreationTime);
      orListing(&stat.atime, listing.ftLastAccessTime);
      orListing(&stat.mtime, listing.ftLastWriteTime);
    }
    RevisionRecord(*heap, record_).WriteStat(ToStatBlock(stat));
  };
  writeStat();

  bool changed = false;
  ComPtr<IEnumSTATSTG> elements;
  if (SUCCEEDED(storage->EnumElements(0, nullptr, 0, elements.Out()))) {
    STATSTG element;
    while (elements->Next(1, &element, nullptr) == S_OK) {
      const std::string childName = ChildName(name, walk_.names.Store(element.pwcsName));
      const DWORD type = element.type;
      CoTaskMemFree(element.pwcsName);
      Child(childName, false, &changed, [&](uint32_t object) {
        ObjectState state;
        state.archive = archive_.Get();
        state.record = object;
        state.stamp = asAt;
        ComPtr<ICairnObject> child;
        if (FAILED(CreateEngineObject(CLSID_CairnObject, state, child.Out()))) return Outcome::kFailed;
        HRESULT added;
        if (type == STGTY_STORAGE) {
          StorageRevision builder(walk_, storage.Get());
          added = AddRevisionToChain(archive_.Get(), child.Get(), object, builder, mode, asAt);
        } else if (type == STGTY_STREAM) {
          StreamRevision builder(storage.Get());
          added = AddRevisionToChain(archive_.Get(), child.Get(), object, builder, mode, asAt);
        } else {
          added = E_FAIL;
        }
        return added == S_OK ? Outcome::kChanged : added == S_FALSE ? Outcome::kUnchanged : Outcome::kFailed;
      });
    }
  } else {
    LogInternalError(archive_.Get(), kStorage, __LINE__, name);
  }
  if (previous_ != 0) {
    for (uint32_t child : ListObjects(*heap, RevisionRecord(*heap, previous_).Children())) {
      changed = changed || !Kept(NameOf(*heap, child));
    }
  }
  if (!Finish(changed, asAt)) return false;
  RevisionRecord(*heap, record_).SetFlags(mode);
  writeStat();
  return true;
}

// ---- the walk

void DropEntries(ArchiveHeap& heap, uint32_t snapshot) { FreeNodes(heap, snapshot + 8); }

HRESULT WalkSnapshot(WalkContext& walk, uint32_t snapshot, SAFEARRAY* addObjects, SAFEARRAY* deleteObjects) {
  ArchiveHeap* heap = HeapOf(walk.archive);
  if (heap == nullptr) return E_FAIL;
  const uint32_t entries = snapshot + 8;  // the entry list's head word
  heap->Write32(entries, 0);
  const std::vector<std::string> adds = ArrayItems(walk, addObjects, true);
  const std::vector<std::string> deletes = ArrayItems(walk, deleteObjects, false);
  auto deleted = [&](const std::string& name) {
    for (const std::string& d : deletes)
      if (walk.names.SameName(d, name)) return true;
    return false;
  };

  // The base: the newest snapshot before this one that is not deleted.
  uint32_t base = SnapshotRecord(*heap, snapshot).Previous();
  LoopCheck loop;
  loop.Restart(base);
  while (base != 0 && (SnapshotRecord(*heap, base).Flags() & snapshot_flags::kDeleted)) {
    base = SnapshotRecord(*heap, base).Previous();
    if (!loop.Step(base) || (base != 0 && !SnapshotRecord(*heap, base).IsValid())) {
      LogInternalError(walk.archive, kArchive, __LINE__);
      return kCorruptArchive;
    }
  }

  if (base != 0) {
    walk.hasBase = true;
    walk.baseStamp = NumberedStamp(SnapshotRecord(*heap, base).Number());
  }

  std::vector<std::string> kept;
  auto keep = [&](uint32_t object, const std::string& name) {
    if (PushNode(*heap, entries, object)) {
      kept.push_back(name);
    } else {
      LogInternalError(walk.archive, kArchive, __LINE__, name);
      walk.changed = false;
    }
  };

  // Carry over the base snapshot's entries. A damaged entry list would carry over only part of
  // them, and the new snapshot would silently lose the rest.
  if (base != 0 && FAILED(ForEach<ListNode>(*heap, SnapshotRecord(*heap, base).Entries(), [&](ListNode& node) {
        return ObjectRecord(*heap, node.Object()).IsValid() ? S_OK : kCorruptArchive;
      }))) {
    LogInternalError(walk.archive, kArchive, __LINE__);
    return kCorruptArchive;
  }
  if (base != 0) {
    for (uint32_t object : ListObjects(*heap, SnapshotRecord(*heap, base).Entries())) {
      const std::string name = NameOf(*heap, object);
      bool dropped = deleted(name);
      for (const std::string& a : adds) dropped = dropped || IsAncestor(walk.names, a, name);
      if (dropped) {
        walk.changed = true;
        continue;
      }
      walk.Processing(name);
      switch (CreateRevision(walk, object, name)) {
        case Outcome::kChanged:
          LogEvent(walk.archive, message::kObjectChanged, name);
          walk.Changed();
          walk.changed = true;
          keep(object, name);
          break;
        case Outcome::kUnchanged:
          if (walk.NewerThanBase(object)) {
            LogEvent(walk.archive, message::kObjectAdded, name);
            walk.Added();
            walk.changed = true;
          }
          keep(object, name);
          break;
        case Outcome::kMissing:
        case Outcome::kExcluded:
          LogEvent(walk.archive, message::kObjectGone, name);
          walk.Deleted();
          walk.changed = true;
          break;
        case Outcome::kFailed:
          break;
      }
    }
  }

  // The items to add.
  for (const std::string& item : adds) {
    bool skip = deleted(item);
    for (const std::string& entry : kept)
      skip = skip || walk.names.SameName(entry, item) || IsAncestor(walk.names, entry, item);
    if (skip) continue;
    walk.Processing(item);
    if (const uint32_t found = FindExistingObject(walk.archive, item, true)) {
      const Outcome outcome = CreateRevision(walk, found, item);
      if (outcome == Outcome::kChanged || outcome == Outcome::kUnchanged) {
        keep(found, item);
        LogEvent(walk.archive, message::kObjectAdded, item);
        walk.Added();
        walk.changed = true;
      }
      continue;
    }
    const uint32_t object = NewObject(*heap, item);
    if (object == 0) {
      LogInternalError(walk.archive, kArchive, __LINE__, item);
      walk.changed = false;
      continue;
    }
    if (CreateRevision(walk, object, item) == Outcome::kChanged) {
      keep(object, item);
      LogEvent(walk.archive, message::kObjectAdded, item);
      walk.Added();
      walk.changed = true;
    } else {
      LogEvent(walk.archive, message::kObjectGone, item);
      FreeObject(*heap, object);
    }
  }

  if (!walk.changed) {
    FreeNodes(*heap, entries);
    return S_FALSE;
  }
  return S_OK;
}

}  // namespace cairn
