// How an engine object reaches the archive data behind an ICairnArchive of this process.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>

#include "ArchiveHeap.h"
#include "ComPtr.h"
#include "WorkerPool.h"

namespace cairn {

// The archive data behind an archive object of this process.
MIDL_INTERFACE("1b7a611a-0e03-425b-8540-9cada2d8fb86")
IArchiveData : public IUnknown {
  // The open archive, or null when the object has not loaded one.
  virtual ArchiveHeap* STDMETHODCALLTYPE Heap() = 0;
  // The class object of an engine class, from the component system the first time it is asked
  // for and kept for the archive's life, so that creating the many small objects of a snapshot
  // does not look the class up again each time.
  virtual HRESULT STDMETHODCALLTYPE ClassObject(REFCLSID clsid, IClassFactory** factory) = 0;
  // Whether anything may be allocated in the archive: S_OK; E_ACCESSDENIED when it is read-only,
  // E_FAIL when it is closed or not loaded, kCorruptArchive when its free list names bytes that
  // something else holds (checked on the first call of a writer's session, then remembered).
  virtual HRESULT STDMETHODCALLTYPE MayAllocate() = 0;
  // The newest revision of an object (0 when it has none), as walking its chain from the oldest
  // finds it; kCorruptArchive when that walk fails. Remembered per object once walked and moved on
  // by RevisionLinked, so that a long chain (the log has a revision per entry) is not walked again
  // for every revision added to it.
  virtual HRESULT STDMETHODCALLTYPE NewestRevision(uint32_t object, uint32_t* newest) = 0;
  // Tells that revision was linked behind the object's newest revision.
  virtual void STDMETHODCALLTYPE RevisionLinked(uint32_t object, uint32_t revision) = 0;
  // The threads that compress and decompress for this archive, one per core, started on first
  // use and ended with the archive; null when they cannot be had (the work is then done inline).
  virtual WorkerPool* STDMETHODCALLTYPE Workers() = 0;
  // Appends bytes to the archive log as its next revision, stored as committing a copy of the log
  // stores it, at a cost that does not grow with the log. S_FALSE, with nothing written, when the
  // log is to be written the general way (it has no revision yet, or is not stored whole in
  // uncompressed pieces).
  virtual HRESULT STDMETHODCALLTYPE AppendToLog(const uint8_t* bytes, uint32_t count) = 0;
};

}  // namespace cairn

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(cairn::IArchiveData, 0x1b7a611a, 0x0e03, 0x425b, 0x85, 0x40, 0x9c, 0xad, 0xa2, 0xd8, 0xfb, 0x86)
#endif

namespace cairn {

// The archive heap behind an archive interface, or null.
inline ArchiveHeap* HeapOf(IUnknown* archive) {
  ComPtr<IArchiveData> data;
  if (archive == nullptr || FAILED(archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid()))) return nullptr;
  return data->Heap();  // the caller holds the archive, which owns the heap
}

// IArchiveData::MayAllocate of the archive behind an archive interface; E_FAIL without one.
inline HRESULT MayAllocate(IUnknown* archive) {
  ComPtr<IArchiveData> data;
  if (archive == nullptr || FAILED(archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid()))) return E_FAIL;
  return data->MayAllocate();
}

// The archive's worker pool, or null.
inline WorkerPool* WorkersOf(IUnknown* archive) {
  ComPtr<IArchiveData> data;
  if (archive == nullptr || FAILED(archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid()))) return nullptr;
  return data->Workers();  // the caller holds the archive, which owns the pool
}

}  // namespace cairn
