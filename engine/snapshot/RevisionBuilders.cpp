#include "RevisionBuilders.h"

#include "ArchiveLog.h"
#include "ArchiveText.h"
#include "ArchiveWalk.h"
#include "DiskFileCopy.h"
#include "ObjectCreation.h"
#include "Revisions.h"
#include "StatStg.h"
#include "StreamSource.h"

namespace cairn {

void RevisionBuilder::Attach(ICairnArchive* archive, ICairnObject* object, uint32_t objectRecord, uint32_t newRecord,
                             uint32_t previous) {
  archive_ = ComPtr<ICairnArchive>(archive);
  object_ = ComPtr<ICairnObject>(object);
  objectRecord_ = objectRecord;
  record_ = newRecord;
  previous_ = previous;
  if (ArchiveHeap* heap = HeapOf(archive)) {
    RevisionRecord record(*heap, newRecord);
    record.SetPrevious(previous);
    record.SetNext(0);
  }
}

bool RevisionBuilder::AddRevision(uint32_t, Stamp) { return false; }

std::string RevisionBuilder::ObjectName() const {
  std::string name;
  if (ArchiveHeap* heap = HeapOf(archive_.Get())) ReadString(*heap, ObjectRecord(*heap, objectRecord_).Name(), &name);
  return name;
}

NameCodec RevisionBuilder::Names() const {
  ArchiveHeap* heap = HeapOf(archive_.Get());
  return heap != nullptr ? NameCodec::Of(*heap) : NameCodec::Ansi();
}

bool StreamRevision::Store(IStream* current, uint32_t mode, Stamp asAt, const char* module) {
  ArchiveHeap* heap = HeapOf(archive_.Get());
  if (heap == nullptr) return false;
  // The previous revision's content, through a revision object as any client would read it.
  ObjectState state;
  state.archive = archive_.Get();
  state.object = object_.Get();
  state.record = previous_;
  ComPtr<ICairnRevision> revision;
  ComPtr<IStream> previous;
  if (FAILED(CreateEngineObject(CLSID_CairnRevision, state, revision.Out())) ||
      FAILED(revision->GetContents(previous.Out()))) {
    LogInternalError(archive_.Get(), module, __LINE__);
    return false;
  }
  // The status block is taken first, so that the revision is complete before it is linked.
  STATSTG stat = {};
  HRESULT hr = current->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) {
    LogInternalError(archive_.Get(), module, __LINE__);
    return false;
  }
  const StatBlock block = ToStatBlock(stat);
  StreamSource previousContent(previous.Get());
  StreamSource currentContent(current);
  LoggedErrors errors(archive_.Get());
  hr = StoreRevisionContent(*heap, record_, previousContent, currentContent, mode, asAt, &block, errors, module,
                            WorkersOf(archive_.Get()));
  // A large file read in place that was written while it was read is treated as one locked.
  if (hr == kSharingViolation) LogNotArchived(archive_.Get(), message::kObjectLocked, ObjectName());
  return hr == S_OK;
}

bool StreamRevision::AddRevision(uint32_t mode, Stamp asAt) {
  const std::string name = ObjectName();
  size_t cut = name.find_last_of('\\');
  if (cut == std::string::npos) cut = name.find_last_of(':');
  const std::wstring element = Names().Read(cut == std::string::npos ? name : name.substr(cut + 1));
  ComPtr<IStream> current;
  if (!storage_ || FAILED(storage_->OpenStream(element.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                               current.Out()))) {
    LogInternalError(archive_.Get(), "StreamRevision", __LINE__, name);
    return false;
  }
  return Store(current.Get(), mode, asAt, "StreamRevision");
}

bool FileRevision::AddRevision(uint32_t mode, Stamp asAt) {
  if (content_) return Store(content_.Get(), mode, asAt, "FileRevision");
  const std::wstring path = Names().Read(ObjectName());
  ObjectState state;
  state.archive = archive_.Get();
  state.object = object_.Get();
  state.streamKind = ObjectState::StreamKind::kDiskFile;
  state.path = path.c_str();
  ComPtr<IStream> current;
  // A file another program holds without sharing, or keeps changing, cannot be read, nor one
  // too large for 32-bit positions: no revision (an archived file keeps its last one), but an
  // entry that says why.
  const HRESULT hr = CreateEngineObject(CLSID_Stream, state, current.Out());
  if (hr == kFileTooLarge) LogNotArchived(archive_.Get(), message::kObjectTooLarge, ObjectName());
  if (hr == kSharingViolation || hr == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION))
    LogNotArchived(archive_.Get(), message::kObjectLocked, ObjectName());
  if (FAILED(hr)) return false;
  return Store(current.Get(), mode, asAt, "FileRevision");
}

HRESULT AddRevisionToChain(ICairnArchive* archive, ICairnObject* object, uint32_t objectRecord,
                           RevisionBuilder& builder, uint32_t mode, Stamp asAt) {
  ArchiveHeap* heap = HeapOf(archive);
  ComPtr<IArchiveData> data;
  if (heap == nullptr || FAILED(archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid()))) return E_FAIL;
  uint32_t newest = 0;
  if (FAILED(data->NewestRevision(objectRecord, &newest))) return kCorruptArchive;
  const uint32_t record = heap->Allocate(RevisionRecord::kSize);
  if (record == 0) {
    LogInternalError(archive, "RevisionBuilder", __LINE__);
    return E_OUTOFMEMORY;
  }
  builder.Attach(archive, object, objectRecord, record, newest);
  const bool stored = builder.AddRevision(mode, asAt);
  // Once the previous revision points at the new one, the new one is part of the chain, even if
  // a later step of storing it failed.
  if (stored || (newest != 0 && RevisionRecord(*heap, newest).Next() == record)) {
    if (newest != 0)
      RevisionRecord(*heap, newest).SetNext(record);
    else
      ObjectRecord(*heap, objectRecord).SetOldestRevision(record);
    data->RevisionLinked(objectRecord, record);
    return S_OK;
  }
  FreeDifferences(*heap, record);
  heap->Free(record, RevisionRecord::kSize);
  return S_FALSE;
}

}  // namespace cairn
