// What the engine's classes share among themselves and nobody else: how an object reaches the
// archive data behind an ICairnArchive, how a creator hands a new object its state, and the
// reference-counted base of the small classes.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <new>

#include "ArchiveHeap.h"
#include "ArchiveLog.h"
#include "ArchiveRecords.h"
#include "ComObject.h"
#include "Profile.h"
#include "cairn.h"

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
  // The newest revision of an object (0 when it has none), as walking its chain from the oldest
  // finds it; kCorruptArchive when that walk fails. Remembered per object once walked and moved on
  // by RevisionLinked, so that a long chain (the log has a revision per entry) is not walked again
  // for every revision added to it.
  virtual HRESULT STDMETHODCALLTYPE NewestRevision(uint32_t object, uint32_t* newest) = 0;
  // Tells that revision was linked behind the object's newest revision.
  virtual void STDMETHODCALLTYPE RevisionLinked(uint32_t object, uint32_t revision) = 0;
};

// The state a creator gives a new object of the engine (each class reads what it needs).
struct ObjectState {
  enum class StreamKind { kRevision, kDiskFile, kEmpty };
  ICairnArchive* archive = nullptr;  // the new object keeps its own reference
  uint32_t record = 0;               // SnapshotRecord, ObjectRecord, RevisionRecord, or first ListNode
  Stamp stamp;                       // the as-at stamp of the view the object belongs to
  ICairnObject* object = nullptr;    // a revision's, a revision enumerator's or a stream's object
  StreamKind streamKind = StreamKind::kRevision;
  const wchar_t* path = nullptr;     // a disk-file stream's file
  IStream* stream = nullptr;         // the stream a Storage holds
};

MIDL_INTERFACE("c854089f-29b6-45b0-9869-d3a202099e61")
IEngineObject : public IUnknown {
  // Gives a newly created object its state; called once, right after creation.
  virtual HRESULT STDMETHODCALLTYPE Setup(const ObjectState& state) = 0;
};

}  // namespace cairn

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(cairn::IArchiveData, 0x1b7a611a, 0x0e03, 0x425b, 0x85, 0x40, 0x9c, 0xad, 0xa2, 0xd8, 0xfb, 0x86)
__CRT_UUID_DECL(cairn::IEngineObject, 0xc854089f, 0x29b6, 0x45b0, 0x98, 0x69, 0xd3, 0xa2, 0x02, 0x09, 0x9e, 0x61)
#endif

namespace cairn {

// Creates an engine class through the component system, as every engine client does (through the
// class object the archive keeps, when the state names an archive), and gives it its state. The
// out-pointer is null on failure.
template <class I>
HRESULT CreateEngineObject(REFCLSID clsid, const ObjectState& state, I** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  ComPtr<IEngineObject> object;
  HRESULT hr;
  {
    profile::Scope scope(profile::kEngineObject);
    ComPtr<IArchiveData> data;
    ComPtr<IClassFactory> factory;
    if (state.archive != nullptr && SUCCEEDED(state.archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid())) &&
        SUCCEEDED(data->ClassObject(clsid, factory.Out())))
      hr = factory->CreateInstance(nullptr, __uuidof(IEngineObject), object.OutVoid());
    else
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IEngineObject), object.OutVoid());
  }
  if (FAILED(hr)) return hr;
  hr = object->Setup(state);
  if (FAILED(hr)) return hr;
  return object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(out));
}

// The archive heap behind an archive interface, or null.
inline ArchiveHeap* HeapOf(IUnknown* archive) {
  ComPtr<IArchiveData> data;
  if (archive == nullptr || FAILED(archive->QueryInterface(__uuidof(IArchiveData), data.OutVoid()))) return nullptr;
  return data->Heap();  // the caller holds the archive, which owns the heap
}

// Base of the classes with one dual interface I: reference counting, QueryInterface, IDispatch
// from the type library, the archive reference, and creation for the class table.
template <class Derived, class I>
class EngineObject : public DualInterface<I>, public IEngineObject {
 public:
  static HRESULT Create(REFIID iid, void** object) {
    Derived* created = new (std::nothrow) Derived();
    if (created == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(I))
      *object = static_cast<I*>(this);
    else if (iid == __uuidof(IEngineObject))
      *object = static_cast<IEngineObject*>(this);
    else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    this->AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = refs_.Decrement();
    if (n == 0) delete static_cast<Derived*>(this);
    return n;
  }

 protected:
  EngineObject() = default;
  virtual ~EngineObject() = default;
  // The archive data, or null when the object has no archive or the archive is closed.
  ArchiveHeap* Heap() const {
    ArchiveHeap* heap = HeapOf(archive_.Get());
    return heap != nullptr && heap->IsOpen() ? heap : nullptr;
  }
  // The archive interface handed to an object this one creates; when the archive does not answer,
  // an internal error is logged for module at line and the failure returned.
  HRESULT ArchiveForChild(const char* module, int line, ComPtr<ICairnArchive>* archive) const {
    HRESULT hr = archive_.As(archive);
    if (FAILED(hr)) LogInternalError(archive_.Get(), module, line);
    return hr;
  }
  // State common to the classes that have an archive.
  void KeepArchive(ICairnArchive* archive) { archive_ = ComPtr<ICairnArchive>(archive); }
  ComPtr<ICairnArchive> archive_;

 private:
  RefCount refs_;
};

}  // namespace cairn
