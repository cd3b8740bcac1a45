// CairnArchive: one open archive file, shared through the Running Object Table.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <exception>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ArchiveData.h"
#include "ArchiveHeap.h"
#include "RevisionAppend.h"
#include "ComObject.h"
#include "Dispatch.h"
#include "FilterPatterns.h"
#include "RotRegistration.h"
#include "cairn.h"

namespace cairn {

class CairnArchive final : public ComObject<CairnArchive, DualInterface<ICairnArchive>, DualInterface<ICairnArchiveAdmin>,
                                            DualInterface<ICairnArchiveFilter>, IPersistFile, IArchiveData,
                                            DualInterface<ICairnArchiveCheck>> {
 public:

  // ICairnArchive
  // EnumSnapShots: an enumerator over the snapshots, from the oldest (flags are the
  // enumerator's, per call); E_FAIL when it cannot be set up.
  STDMETHODIMP EnumSnapShots(ULONG flags, IEnumSnapShots** enumerator) override;
  // CreateSnapShot: walks the newest live snapshot's objects and the items to add, stores a new
  // revision of everything that changed, and records a snapshot named "name;number" when
  // anything did (S_OK); S_FALSE and nothing recorded when nothing changed; E_OUTOFMEMORY and
  // nothing recorded when the disk had no room for all of it, kArchiveFull when the archive
  // would have passed 4 GiB.
  STDMETHODIMP CreateSnapShot(BSTR name, SAFEARRAY* addObjects, SAFEARRAY* deleteObjects,
                              ICairnSnapShot** snapshot) override;
  // DeleteSnapShot: marks the oldest snapshot with this stored name (any letter case) deleted.
  // S_OK also when none matches.
  STDMETHODIMP DeleteSnapShot(BSTR name) override;

  // ICairnArchiveAdmin
  // GetStream: a writable copy of the named stream's newest content, at its start (a missing
  // named stream is created empty); E_FAIL when it has no revision or the copy fails.
  STDMETHODIMP GetStream(BSTR name, IStream** stream) override;
  // CommitStream: stores the stream as a new revision of the named stream (uncompressed, stamped
  // now); S_FALSE when it equals the newest revision, E_OUTOFMEMORY when the archive is full.
  STDMETHODIMP CommitStream(BSTR name, IStream* stream) override;
  // GetObject: the named stream of that name (letter case counts), seen as at now; with create
  // exactly 1 a missing one is made with one empty revision; else E_INVALIDARG when missing.
  STDMETHODIMP GetObject(BSTR name, ICairnObject** object, LONG create) override;
  STDMETHODIMP GetLogStream(IStream** stream) override;
  STDMETHODIMP CommitLogStream(IStream* stream) override;
  // InterpretLogStream: the log as text lines.
  STDMETHODIMP InterpretLogStream(IStream** stream) override;
  // SetOptions: stores the word as it is; GetOptions returns it.
  STDMETHODIMP SetOptions(LONG options) override;
  STDMETHODIMP GetOptions(LONG* options) override;
  // GetArchiveDetails: the free-space report (total, largest, smallest, number of blocks).
  STDMETHODIMP GetArchiveDetails(LONG* free, LONG* largest, LONG* smallest, LONG* segments) override;

  // ICairnArchiveFilter
  // GetExclList, GetInclList: the list as it was set; a null string when none was ever set;
  // E_FAIL when the stored list is cut short.
  STDMETHODIMP GetExclList(BSTR* list) override;
  STDMETHODIMP GetInclList(BSTR* list) override;
  // SetInclList, SetExclList: stores the list as a new revision of its named stream; E_FAIL
  // when that fails or the list is already stored as it is.
  STDMETHODIMP SetInclList(BSTR list) override;
  STDMETHODIMP SetExclList(BSTR list) override;
  // NotFiltered: S_OK when the file may be archived, S_FALSE when a filter rejects it.
  STDMETHODIMP NotFiltered(BSTR fileName) override;

  // ICairnArchiveCheck (CairnArchiveCheck.cpp)
  // Check: checks every link and every revision of every object, reading only; progress (may be
  // null) is told after each object and may stop the check. *damage holds four texts per damaged
  // item: the object's name, the revision number, the snapshots that hold the revision (", "
  // between names) and what is wrong; for a problem of the links the first three are empty.
  // S_OK when the archive is sound, S_FALSE when it is damaged; E_ABORT when progress stopped it,
  // E_OUTOFMEMORY, E_UNEXPECTED when nothing is loaded, E_FAIL when the archive was closed.
  STDMETHODIMP Check(ICairnCheckProgress* progress, SAFEARRAY** damage, ULONG* objects, ULONG* revisions) override;

  // IArchiveData
  ArchiveHeap* STDMETHODCALLTYPE Heap() override { return heap_.get(); }
  HRESULT STDMETHODCALLTYPE ClassObject(REFCLSID clsid, IClassFactory** factory) override;
  HRESULT STDMETHODCALLTYPE MayAllocate() override;
  HRESULT STDMETHODCALLTYPE NewestRevision(uint32_t object, uint32_t* newest) override;
  void STDMETHODCALLTYPE RevisionLinked(uint32_t object, uint32_t revision) override;
  WorkerPool* STDMETHODCALLTYPE Workers() override;
  HRESULT STDMETHODCALLTYPE AppendToLog(const uint8_t* bytes, uint32_t count) override;

  // IPersistFile
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  // IsDirty: S_FALSE, since every change is already in the mapped file.
  STDMETHODIMP IsDirty() override;
  // Load: maps the archive (STGM_CREATE creates it, STGM_WRITE or STGM_READWRITE make it
  // writable); a writer registers the object in the Running Object Table under the path's
  // moniker. One writer at a time: STG_E_SHAREVIOLATION when another object has the file open
  // for writing; STG_E_ACCESSDENIED when writing was asked for and the file or its medium does
  // not allow it (opening for reading may still work). Readers are let in beside a writer, and
  // see what it has linked. E_FAIL when the file cannot be opened or was written by a newer
  // version (after telling the user); E_ACCESSDENIED when it is not an archive.
  STDMETHODIMP Load(LPCOLESTR fileName, DWORD mode) override;
  STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override;
  STDMETHODIMP SaveCompleted(LPCOLESTR fileName) override;
  // GetCurFile: E_FAIL; the archive does not report its file this way.
  STDMETHODIMP GetCurFile(LPOLESTR* fileName) override;

 private:
  friend ComObject;
  CairnArchive() = default;
  ~CairnArchive() = default;
  // At the last release: leaves the Running Object Table, then goes.
  static void OnLastRelease(CairnArchive* archive);
  // Why a writing call cannot go ahead: not loaded, read-only or closed after a failed growth.
  HRESULT CheckWritable() const;
  // The ObjectRecord of the named stream called name, or 0.
  uint32_t FindNamedStream(const std::string& name);
  // CreateSnapShot without the progress window's start and end.
  HRESULT TakeSnapshot(BSTR name, SAFEARRAY* addObjects, SAFEARRAY* deleteObjects, ICairnStatus* status,
                       ICairnSnapShot** snapshot);
  HRESULT GetFilterList(const wchar_t* stream, BSTR* list);
  HRESULT SetFilterList(const wchar_t* stream, BSTR list);
  // Re-reads a filter list into its cache (upper case) when its reload flag is set.
  void ReloadFilter(bool include);

  std::unique_ptr<ArchiveHeap> heap_;
  std::unique_ptr<WorkerPool> workers_;  // see Workers
  std::vector<std::pair<CLSID, ComPtr<IClassFactory>>> factories_;  // see ClassObject
  std::unordered_map<uint32_t, uint32_t> newest_;                     // see NewestRevision
  AppendedPieces appendedLog_;  // the log's pieces as this writer's last entry left them
  RotRegistration rot_;
  // The filter lists, compiled from their named streams; reloaded when their flag is set.
  FilterList include_, exclude_;
  bool reloadInclude_ = true;
  bool reloadExclude_ = true;
  // The free list is checked once a session, before the first allocation; this writer's own
  // changes keep a sound one sound.
  enum class FreeListState { kUnchecked, kSound, kDamaged };
  FreeListState freeList_ = FreeListState::kUnchecked;
};

}  // namespace cairn
