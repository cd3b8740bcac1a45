// How the engine creates its own classes: through the component system by class identifier,
// then handing the new object its state.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "ArchiveData.h"
#include "ArchiveRecords.h"
#include "ComPtr.h"
#include "Profile.h"
#include "cairn.h"

namespace cairn {

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

}  // namespace cairn
