#include "CairnArchive.h"

#include <new>

#include "ArchiveCoverage.h"
#include "ArchiveLog.h"
#include "ArchiveOpen.h"
#include "ArchiveRecords.h"
#include "ArchiveWalk.h"
#include "ByteOrder.h"
#include "EngineFiles.h"
#include "ObjectCreation.h"
#include "Profile.h"
#include "RevisionAppend.h"
#include "RevisionBuilders.h"
#include "SnapshotWalk.h"
#include "ArchiveText.h"
#include "Bstr.h"
#include "RegKey.h"
#include "Registration.h"
#include "resource.h"

namespace cairn {
namespace {

constexpr char kModule[] = "CairnArchive";
constexpr wchar_t kLogName[] = L"\\\\.\\ArchiveLog";
constexpr char kLogArchiveName[] = "\\\\.\\ArchiveLog";
constexpr wchar_t kIncludeName[] = L"\\\\.\\IncFilter";
constexpr wchar_t kExcludeName[] = L"\\\\.\\ExcFilter";

// Upper case by the system's locale rules, as the filters compare names.
std::string UpperCase(std::string text) {
  if (!text.empty()) CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

Stamp Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return Stamp{now.dwLowDateTime, now.dwHighDateTime};
}

// Whether a class has an in-process server registered. Asking the component system for a class
// that is not registered can wait on its service for many seconds; the progress window is
// optional, so it is only asked for when it is there.
bool IsRegisteredInProcess(REFCLSID clsid) {
  RegKey key;
  return key.Open(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(clsid) + L"\\InprocServer32").c_str(), KEY_READ) ==
         ERROR_SUCCESS;
}

}  // namespace

void CairnArchive::OnLastRelease(CairnArchive* archive) {
  // Hold a reference while disconnecting, so that calls it causes cannot destroy us twice.
  archive->AddRef();
  if (archive->rot_.IsRegistered()) {
    CoDisconnectObject(static_cast<ICairnArchive*>(archive), 0);
    archive->rot_.Revoke();
  }
  delete archive;
  profile::Report(stderr);
}

WorkerPool* CairnArchive::Workers() {
  if (workers_ == nullptr) workers_.reset(new (std::nothrow) WorkerPool());
  return workers_.get();
}

HRESULT CairnArchive::ClassObject(REFCLSID clsid, IClassFactory** factory) {
  *factory = nullptr;
  for (const auto& known : factories_)
    if (IsEqualCLSID(known.first, clsid)) {
      *factory = ComPtr<IClassFactory>(known.second).Detach();
      return S_OK;
    }
  ComPtr<IClassFactory> found;
  HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, found.OutVoid());
  if (FAILED(hr)) return hr;
  try {
    factories_.emplace_back(clsid, found);
  } catch (const std::exception&) {
    // Not kept: the next object of the class asks again.
  }
  *factory = found.Detach();
  return S_OK;
}

HRESULT CairnArchive::NewestRevision(uint32_t object, uint32_t* newest) {
  *newest = 0;
  if (heap_ == nullptr || !heap_->IsOpen()) return E_FAIL;
  const auto known = newest_.find(object);
  if (known != newest_.end()) {
    // Still the end of the chain: nothing was linked behind it without RevisionLinked.
    const uint32_t revision = known->second;
    const bool current = revision == 0 ? ObjectRecord(*heap_, object).OldestRevision() == 0
                                       : RevisionRecord(*heap_, revision).IsValid() &&
                                             RevisionRecord(*heap_, revision).Next() == 0;
    if (current) {
      *newest = revision;
      return S_OK;
    }
  }
  uint32_t last = 0;
  if (FAILED(ForEach<RevisionRecord>(*heap_, ObjectRecord(*heap_, object).OldestRevision(), [&](RevisionRecord& r) {
        last = r.Offset();
        return S_OK;
      })))
    return kCorruptArchive;
  try {
    newest_[object] = last;
  } catch (const std::exception&) {
    // Not remembered: the next call walks again.
  }
  *newest = last;
  return S_OK;
}

void CairnArchive::RevisionLinked(uint32_t object, uint32_t revision) {
  try {
    newest_[object] = revision;
  } catch (const std::exception&) {
    newest_.erase(object);
  }
}

HRESULT CairnArchive::CheckWritable() const {
  if (heap_ == nullptr) return E_UNEXPECTED;
  if (!heap_->IsOpen()) return E_FAIL;
  return heap_->IsWritable() ? S_OK : E_ACCESSDENIED;
}

HRESULT CairnArchive::MayAllocate() {
  HRESULT hr = CheckWritable();
  if (FAILED(hr)) return hr;
  if (freeList_ == FreeListState::kUnchecked) {
    // Before the first change: a free list that names live bytes would have them overwritten.
    hr = CheckFreeList(*heap_);
    if (hr == kArchiveClosed) return E_FAIL;
    freeList_ = hr == S_OK ? FreeListState::kSound : FreeListState::kDamaged;
  }
  return freeList_ == FreeListState::kSound ? S_OK : kCorruptArchive;
}

// ---- ICairnArchive

STDMETHODIMP CairnArchive::EnumSnapShots(ULONG, IEnumSnapShots** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = nullptr;
  ComPtr<IEnumSnapShots> created;
  HRESULT hr = CoCreateInstance(CLSID_EnumSnapShots, nullptr, CLSCTX_INPROC_SERVER, IID_IEnumSnapShots,
                                created.OutVoid());
  if (FAILED(hr)) return hr;
  if (FAILED(created->Initialize(static_cast<ICairnArchive*>(this)))) return E_FAIL;
  *enumerator = created.Detach();
  return S_OK;
}

STDMETHODIMP CairnArchive::CreateSnapShot(BSTR name, SAFEARRAY* addObjects, SAFEARRAY* deleteObjects,
                                          ICairnSnapShot** snapshot) {
  if (snapshot == nullptr) {
    LogInternalError(this, kModule, __LINE__);
    return E_POINTER;
  }
  *snapshot = nullptr;
  // A damaged free list is not logged: the log lives in the archive, which is left as it is.
  HRESULT hr = MayAllocate();
  if (FAILED(hr)) return hr;
  const uint32_t options = heap_->HeaderField(header::kOptions);

  // The progress window, when the archive asks for one; the snapshot goes on without it.
  ComPtr<ICairnStatus> status;
  if ((options & options::kShowProgress) && IsRegisteredInProcess(CLSID_CairnStatus) &&
      SUCCEEDED(CoCreateInstance(CLSID_CairnStatus, nullptr, CLSCTX_INPROC_SERVER, IID_ICairnStatus,
                                 status.OutVoid()))) {
    status->Initialize(nullptr, (options & options::kAutoDismiss) ? 1 : 0);
    status->SetMax(static_cast<int>(heap_->HeaderField(header::kLastProgressCount)));
  }

  {
    profile::Scope scope(profile::kWalk);
    hr = TakeSnapshot(name, addObjects, deleteObjects, status.Get(), snapshot);
  }
  if (FAILED(hr) && heap_->IsOpen()) {
    // What the failed snapshot stored under objects it never linked (new files and folders) is
    // given back at once: on a full disk, the next snapshot needs that room.
    newest_.clear();
    ReclaimUnreachable(*heap_);
  }

  if (status) {
    int current = 0;
    if (status->Continue() == S_OK && SUCCEEDED(status->GetCurrent(&current)))
      heap_->SetHeaderField(header::kLastProgressCount, static_cast<uint32_t>(current));
    const uint32_t now = heap_->HeaderField(header::kOptions);
    if (status->Dismiss() == S_OK) {
      heap_->SetHeaderField(header::kOptions, now | options::kAutoDismiss);
      status->Destroy();
    } else {
      heap_->SetHeaderField(header::kOptions, now & ~options::kAutoDismiss);
      status->DisableStop();
    }
  }
  // A snapshot whose bytes may not have reached the disk is not reported as created. The archive
  // is then as after a snapshot stopped at its end: sound, holding the snapshot or not.
  const HRESULT flushed = heap_->Flush();
  if (hr == S_OK && FAILED(flushed)) {
    LogInternalError(this, kModule, __LINE__);
    if (*snapshot != nullptr) (*snapshot)->Release();
    *snapshot = nullptr;
    return flushed;
  }
  return hr;
}

HRESULT CairnArchive::TakeSnapshot(BSTR name, SAFEARRAY* addObjects, SAFEARRAY* deleteObjects, ICairnStatus* status,
                                   ICairnSnapShot** snapshot) {
  const uint32_t options = heap_->HeaderField(header::kOptions);
  const uint32_t record = heap_->Allocate(SnapshotRecord::kSize);
  if (record == 0) {
    LogInternalError(this, kModule, __LINE__);
    return E_OUTOFMEMORY;
  }
  uint32_t newest = 0;
  if (FAILED(ForEach<SnapshotRecord>(*heap_, heap_->HeaderField(header::kSnapshotList), [&](SnapshotRecord& s) {
        newest = s.Offset();
        return S_OK;
      }))) {
    // A damaged snapshot list has no sound end to link a snapshot to.
    LogInternalError(this, kModule, __LINE__);
    heap_->Free(record, SnapshotRecord::kSize);
    return kCorruptArchive;
  }
  uint32_t flags = snapshot_flags::kLive | snapshot_flags::kNumberedStamps;
  if (options & options::kCompress) {
    flags |= snapshot_flags::kCompressed;
    if (options & options::kBzip2) flags |= snapshot_flags::kBzip2;
  }
  const int32_t number = static_cast<int32_t>(heap_->HeaderField(header::kNextSnapshotNumber));
  {
    SnapshotRecord fresh(*heap_, record);
    fresh.SetPrevious(newest);
    fresh.SetNext(0);
    fresh.SetFlags(flags);
    fresh.SetNumber(number);
    fresh.SetCreated(Now());
  }

  WalkContext walk;
  walk.archive = this;
  walk.status = status;
  walk.asAt = NumberedStamp(number);
  walk.mode = (flags & snapshot_flags::kCompressed)
                  ? (flags & snapshot_flags::kBzip2 ? revision_flags::kCompressed | revision_flags::kBzip2
                                                    : revision_flags::kCompressed)
                  : 0;
  walk.timeAndSize = (options & options::kTimeAndSize) != 0;
  walk.names = NameCodec::ForOptions(options);
  const uint64_t refusals = heap_->Refusals(), limitRefusals = heap_->LimitRefusals();
  HRESULT hr = WalkSnapshot(walk, record, addObjects, deleteObjects);
  if (heap_->Refusals() != refusals || !heap_->IsOpen()) {
    // The archive had no room for all of it: no snapshot is recorded that would show contents it
    // could not store. The revisions it did store stay, complete, in their objects' chains under
    // this number, which the next snapshot takes again. An archive that would pass 4 GiB is full
    // whatever the disk holds, which the caller is told apart from a full disk.
    LogInternalError(this, kModule, __LINE__);
    hr = heap_->IsOpen() && heap_->LimitRefusals() != limitRefusals ? kArchiveFull : E_OUTOFMEMORY;
  }

  ComPtr<ICairnSnapShot> created;
  if (hr == S_OK) {
    ObjectState state;
    state.archive = this;
    state.record = record;
    hr = CreateEngineObject(CLSID_CairnSnapShot, state, created.Out());
    if (FAILED(hr)) LogInternalError(this, kModule, __LINE__);
  }
  if (hr == S_OK) {
    const std::string stored = walk.names.FromBstr(name) + ";" + std::to_string(number);
    const Bstr storedName = Bstr::Adopt(walk.names.ToBstr(stored));
    const Bstr empty(L"");
    hr = storedName.Get() != nullptr && empty.Get() != nullptr ? created->SetName(storedName.Get()) : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = created->SetComment(empty.Get());
    if (SUCCEEDED(hr)) {
      // The snapshot is complete: the number moves on, then one write links it (stopped in
      // between, a number is skipped, never given twice).
      heap_->SetHeaderField(header::kNextSnapshotNumber, static_cast<uint32_t>(number + 1));
      if (newest != 0)
        SnapshotRecord(*heap_, newest).SetNext(record);
      else
        heap_->SetHeaderField(header::kSnapshotList, record);
      LogEvent(this, message::kSnapshotCreated, stored);
      *snapshot = created.Detach();
      return S_OK;
    }
    LogInternalError(this, kModule, __LINE__);
  }
  created.Reset();
  SnapshotRecord unlinked(*heap_, record);
  for (uint32_t field : {unlinked.Name(), unlinked.Comment()})
    if (field != 0) FreeString(*heap_, field);
  DropEntries(*heap_, record);
  heap_->Free(record, SnapshotRecord::kSize);
  return FAILED(hr) ? hr : S_FALSE;
}

STDMETHODIMP CairnArchive::DeleteSnapShot(BSTR name) {
  HRESULT hr = CheckWritable();
  if (FAILED(hr)) return hr;
  const std::wstring wanted = name != nullptr ? name : L"";
  std::string deleted;
  const NameCodec names = NameCodec::Of(*heap_);
  hr = ForEach<SnapshotRecord>(*heap_, heap_->HeaderField(header::kSnapshotList), [&](SnapshotRecord& snapshot) {
    std::string stored;
    if (FAILED(ReadString(*heap_, snapshot.Name(), &stored))) return kCorruptArchive;
    if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, names.Read(stored).c_str(), -1, wanted.c_str(), -1) !=
        CSTR_EQUAL)
      return S_OK;
    snapshot.SetFlags((snapshot.Flags() & ~snapshot_flags::kLive) | snapshot_flags::kDeleted);
    deleted = stored;
    return S_FALSE;  // only the oldest of that name
  });
  if (FAILED(hr)) return E_FAIL;
  if (hr == S_FALSE) LogEvent(this, message::kSnapshotDeleted, deleted);
  return S_OK;
}

// ---- ICairnArchiveAdmin

uint32_t CairnArchive::FindNamedStream(const std::string& name) {
  uint32_t found = 0;
  ForEach<ListNode>(*heap_, heap_->HeaderField(header::kNamedStreams), [&](ListNode& node) {
    std::string stored;
    if (SUCCEEDED(ReadString(*heap_, ObjectRecord(*heap_, node.Object()).Name(), &stored)) && stored == name) {
      found = node.Object();
      return S_FALSE;
    }
    return S_OK;
  });
  return found;
}

STDMETHODIMP CairnArchive::GetObject(BSTR name, ICairnObject** object, LONG create) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (heap_ == nullptr) return E_UNEXPECTED;
  if (!heap_->IsOpen()) return E_FAIL;
  const std::string text = NameCodec::Of(*heap_).FromBstr(name);
  uint32_t record = FindNamedStream(text);
  const bool found = record != 0;
  if (!found) {
    if (create != 1) return E_INVALIDARG;
    HRESULT hr = MayAllocate();
    if (FAILED(hr)) return hr;
    record = heap_->Allocate(ObjectRecord::kSize);
    const uint32_t stored = record != 0 ? WriteString(*heap_, text) : 0;
    const uint32_t node = stored != 0 ? heap_->Allocate(ListNode::kSize) : 0;
    if (node == 0) {
      if (stored != 0) FreeString(*heap_, stored);
      if (record != 0) heap_->Free(record, ObjectRecord::kSize);
      LogInternalError(this, "CairnArchive", __LINE__);
      return E_OUTOFMEMORY;
    }
    ObjectRecord(*heap_, record).SetName(stored);
    ListNode(*heap_, node).SetObject(record);
    ListNode(*heap_, node).SetNext(heap_->HeaderField(header::kNamedStreams));
    heap_->SetHeaderField(header::kNamedStreams, node);
  }
  ObjectState state;
  state.archive = this;
  state.record = record;
  state.stamp = Now();
  ComPtr<ICairnObject> created;
  HRESULT hr = CreateEngineObject(CLSID_CairnObject, state, created.Out());
  if (FAILED(hr)) return hr;
  if (!found) {
    // A new named stream starts with one revision of empty content.
    ObjectState empty;
    empty.streamKind = ObjectState::StreamKind::kEmpty;
    ComPtr<IStream> nothing;
    hr = CreateEngineObject(CLSID_Stream, empty, nothing.Out());
    if (SUCCEEDED(hr)) hr = CommitStream(name, nothing.Get());
    if (FAILED(hr)) return hr;
  }
  *object = created.Detach();
  return S_OK;
}

STDMETHODIMP CairnArchive::GetStream(BSTR name, IStream** stream) {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  ComPtr<ICairnObject> object;
  HRESULT hr = GetObject(name, object.Out(), 1);
  if (FAILED(hr)) return hr;
  ComPtr<ICairnRevision> newest;
  uint32_t newestRecord = 0;
  const uint32_t record = FindNamedStream(NameCodec::Of(*heap_).FromBstr(name));
  if (SUCCEEDED(NewestRevision(record, &newestRecord)) && newestRecord != 0) {
    // The last revision an enumeration with flags 3 returns: the end of a sound chain.
    ObjectState state;
    state.archive = this;
    state.object = object.Get();
    state.record = newestRecord;
    state.stamp = Now();
    if (FAILED(CreateEngineObject(CLSID_CairnRevision, state, newest.Out()))) return E_FAIL;
  } else {
    // No revision, or a damaged chain: the enumerator decides, and reports the damaged link. It
    // returns the same revision as taking Next until the end, without an object for each one.
    ComPtr<IEnumCairnRevisions> revisions;
    ComPtr<ICairnRevision> beyond;
    if (FAILED(object->EnumCairnRevisions(0, revisions.Out()))) return E_FAIL;
    if (revisions->Last(3, newest.Out()) != S_OK) newest.Reset();
    if (newest) revisions->Next(3, beyond.Out());
  }
  ComPtr<IStream> content, copy;
  ObjectState empty;
  empty.streamKind = ObjectState::StreamKind::kEmpty;
  empty.archive = this;
  empty.object = object.Get();
  ULARGE_INTEGER all;
  all.QuadPart = ~0ull;
  LARGE_INTEGER start = {};
  if (!newest || FAILED(newest->GetContents(content.Out())) ||
      FAILED(CreateEngineObject(CLSID_Stream, empty, copy.Out())) ||
      FAILED(content->CopyTo(copy.Get(), all, nullptr, nullptr)) ||
      FAILED(copy->Seek(start, STREAM_SEEK_SET, nullptr)))
    return E_FAIL;
  *stream = copy.Detach();
  return S_OK;
}

STDMETHODIMP CairnArchive::CommitStream(BSTR name, IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  HRESULT hr = MayAllocate();
  if (FAILED(hr)) return hr;
  ComPtr<ICairnObject> object;
  hr = GetObject(name, object.Out(), 0);
  if (FAILED(hr)) return hr;
  ObjectState held;
  held.stream = stream;
  ComPtr<IStorage> storage;
  hr = CreateEngineObject(CLSID_Storage, held, storage.Out());
  if (FAILED(hr)) return hr;
  StreamRevision builder(storage.Get());
  const uint32_t record = FindNamedStream(NameCodec::Of(*heap_).FromBstr(name));
  return AddRevisionToChain(this, object.Get(), record, builder, 0, Now());
}

STDMETHODIMP CairnArchive::GetLogStream(IStream** stream) {
  const Bstr name(kLogName);
  return name.Get() != nullptr ? GetStream(name.Get(), stream) : E_OUTOFMEMORY;
}

STDMETHODIMP CairnArchive::CommitLogStream(IStream* stream) {
  const Bstr name(kLogName);
  return name.Get() != nullptr ? CommitStream(name.Get(), stream) : E_OUTOFMEMORY;
}

HRESULT CairnArchive::AppendToLog(const uint8_t* bytes, uint32_t count) {
  HRESULT hr = MayAllocate();
  if (FAILED(hr)) return hr;
  const uint32_t object = FindNamedStream(kLogArchiveName);
  uint32_t newest = 0;
  if (object == 0 || FAILED(NewestRevision(object, &newest)) || newest == 0) return S_FALSE;
  const uint32_t record = heap_->Allocate(RevisionRecord::kSize);
  if (record == 0) return heap_->IsOpen() ? E_OUTOFMEMORY : kArchiveClosed;
  RevisionRecord(*heap_, record).SetPrevious(newest);
  // The log's copy is a stream of the engine's own: its status block holds only the size.
  hr = AppendRevisionContent(*heap_, record, bytes, count, Now(), StatBlock(), &appendedLog_);
  if (hr != S_OK) {
    if (heap_->IsOpen()) heap_->Free(record, RevisionRecord::kSize);
    return hr;
  }
  RevisionLinked(object, record);
  return S_OK;
}

STDMETHODIMP CairnArchive::InterpretLogStream(IStream** stream) {
  return RenderLog(static_cast<ICairnArchiveAdmin*>(this), stream);
}

STDMETHODIMP CairnArchive::SetOptions(LONG options) {
  HRESULT hr = CheckWritable();
  if (FAILED(hr)) return hr;
  // The names a snapshot stored, even a deleted one's, stay in the encoding they were written in:
  // once there is a snapshot record, the names' encoding is fixed and a change to it is refused
  // with nothing changed.
  const uint32_t now = heap_->HeaderField(header::kOptions);
  if (((now ^ static_cast<uint32_t>(options)) & options::kUtf8Names) != 0 &&
      heap_->HeaderField(header::kSnapshotList) != 0)
    return E_INVALIDARG;
  heap_->SetHeaderField(header::kOptions, static_cast<uint32_t>(options));
  return S_OK;
}

STDMETHODIMP CairnArchive::GetOptions(LONG* options) {
  if (options == nullptr) return E_POINTER;
  *options = 0;
  if (heap_ == nullptr) return E_UNEXPECTED;
  if (!heap_->IsOpen()) return E_FAIL;
  *options = static_cast<LONG>(heap_->HeaderField(header::kOptions));
  return S_OK;
}

STDMETHODIMP CairnArchive::GetArchiveDetails(LONG* free, LONG* largest, LONG* smallest, LONG* segments) {
  if (free == nullptr || largest == nullptr || smallest == nullptr || segments == nullptr) return E_POINTER;
  *free = *largest = *smallest = *segments = 0;
  if (heap_ == nullptr) return E_UNEXPECTED;
  FreeSpaceReport report;
  if (FAILED(heap_->FreeSpace(&report))) return E_FAIL;
  *free = static_cast<LONG>(report.total);
  *largest = static_cast<LONG>(report.largest);
  *smallest = static_cast<LONG>(report.smallest);
  *segments = static_cast<LONG>(report.blocks);
  return S_OK;
}

// ---- ICairnArchiveFilter

HRESULT CairnArchive::GetFilterList(const wchar_t* streamName, BSTR* list) {
  if (list == nullptr) return E_POINTER;
  *list = nullptr;
  const Bstr name(streamName);
  ComPtr<IStream> stream;
  HRESULT hr = name.Get() != nullptr ? GetStream(name.Get(), stream.Out()) : E_OUTOFMEMORY;
  if (FAILED(hr)) return hr;
  uint8_t head[8];
  ULONG n = 0;
  if (FAILED(stream->Read(head, 8, &n)) || n < 8) return S_OK;  // never set
  const uint32_t length = LoadLE32(head + 4);
  if (length > kMaxNameLength) return E_FAIL;
  std::string text(length, '\0');
  if (length != 0 && (FAILED(stream->Read(&text[0], length, &n)) || n != length)) return E_FAIL;
  *list = NameCodec::Ansi().ToBstr(text);
  return *list != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CairnArchive::SetFilterList(const wchar_t* streamName, BSTR list) {
  const std::string text = NameCodec::Ansi().FromBstr(list);
  const Bstr name(streamName);
  ComPtr<IStream> stream;
  HRESULT hr = name.Get() != nullptr ? GetStream(name.Get(), stream.Out()) : E_OUTOFMEMORY;
  if (SUCCEEDED(hr)) {
    uint8_t head[8];
    StoreLE32(head, 1);
    StoreLE32(head + 4, static_cast<uint32_t>(text.size()));
    ULONG n = 0;
    LARGE_INTEGER start = {};
    // Bytes of a longer earlier list stay behind the record; readers stop at its length.
    hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = stream->Write(head, 8, &n);
    if (SUCCEEDED(hr) && !text.empty()) hr = stream->Write(text.data(), static_cast<ULONG>(text.size()), &n);
    if (SUCCEEDED(hr)) hr = CommitStream(name.Get(), stream.Get());
  }
  if (hr != S_OK) return E_FAIL;
  reloadInclude_ = reloadExclude_ = true;
  return S_OK;
}

STDMETHODIMP CairnArchive::GetExclList(BSTR* list) { return GetFilterList(kExcludeName, list); }
STDMETHODIMP CairnArchive::GetInclList(BSTR* list) { return GetFilterList(kIncludeName, list); }
STDMETHODIMP CairnArchive::SetInclList(BSTR list) { return SetFilterList(kIncludeName, list); }
STDMETHODIMP CairnArchive::SetExclList(BSTR list) { return SetFilterList(kExcludeName, list); }

void CairnArchive::ReloadFilter(bool include) {
  bool& reload = include ? reloadInclude_ : reloadExclude_;
  if (!reload) return;
  reload = false;
  Bstr list;
  if (FAILED(include ? GetInclList(list.Out()) : GetExclList(list.Out()))) return;  // the cache stays as it was
  (include ? include_ : exclude_).Set(UpperCase(NameCodec::Ansi().FromBstr(list.Get())));
}

STDMETHODIMP CairnArchive::NotFiltered(BSTR fileName) {
  if (heap_ == nullptr) return E_UNEXPECTED;
  const std::string name = UpperCase(LastComponent(NameCodec::Ansi().FromBstr(fileName)));
  ReloadFilter(false);
  if (exclude_.Matches(name)) return S_FALSE;
  ReloadFilter(true);
  if (include_.IsEmpty()) return S_OK;
  return include_.Matches(name) ? S_OK : S_FALSE;
}

// ---- IPersistFile

STDMETHODIMP CairnArchive::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_CairnArchive;
  return S_OK;
}

STDMETHODIMP CairnArchive::IsDirty() { return S_FALSE; }

STDMETHODIMP CairnArchive::Load(LPCOLESTR fileName, DWORD mode) {
  if (fileName == nullptr) return E_POINTER;
  if (heap_ != nullptr) return E_UNEXPECTED;
  const bool create = (mode & STGM_CREATE) != 0;
  const bool write = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
  std::unique_ptr<ArchiveHeap> heap;
  HRESULT hr = OpenArchive(EngineFiles(), ToUtf8(fileName), create, write, &heap);
  if (hr == kNewerVersion) {
    MessageBoxW(nullptr, Module::String(IDS_NEWER_VERSION).c_str(), Module::String(IDS_OPEN_ERROR_CAPTION).c_str(),
                MB_OK | MB_ICONWARNING);
    return E_FAIL;
  }
  if (hr == kNotAnArchive) return E_ACCESSDENIED;
  // Another archive object, perhaps in another process, is writing the file.
  if (hr == kSharingViolation) return STG_E_SHAREVIOLATION;
  // Writing is not allowed (a read-only file or medium): the caller may open it for reading.
  if (write && (hr == E_ACCESSDENIED || hr == HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT))) return STG_E_ACCESSDENIED;
  if (FAILED(hr)) return E_FAIL;
  heap_ = std::move(heap);
  appendedLog_ = AppendedPieces();  // offsets of another file's log say nothing of this one

  // Only a writer is offered to others: one that found a reader there could not write through it,
  // and would wait on the reader's thread for what it can read itself.
  if (!write) return S_OK;
  return rot_.Register(static_cast<ICairnArchive*>(this), fileName);
}

STDMETHODIMP CairnArchive::Save(LPCOLESTR, BOOL) { return S_OK; }
STDMETHODIMP CairnArchive::SaveCompleted(LPCOLESTR) { return S_OK; }

STDMETHODIMP CairnArchive::GetCurFile(LPOLESTR* fileName) {
  if (fileName == nullptr) return E_POINTER;
  *fileName = nullptr;
  return E_FAIL;
}

}  // namespace cairn
