// The base of the engine's classes with one dual interface I.
#pragma once

#include "ArchiveData.h"
#include "ArchiveLog.h"
#include "ComObject.h"
#include "Dispatch.h"
#include "ObjectCreation.h"

namespace cairn {

// Reference counting, QueryInterface (IUnknown, IDispatch, I, IEngineObject), IDispatch from the
// type library, creation for the class table, and the archive reference.
template <class Derived, class I>
class EngineObject : public ComObject<Derived, DualInterface<I>, IEngineObject> {
 protected:
  EngineObject() = default;
  ~EngineObject() = default;
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
  // The frame of a method with one out-parameter: E_POINTER for a null out, else out cleared,
  // then E_FAIL without an open archive or what answer(heap) returns.
  template <class T, class Answer>
  HRESULT AnswerFromHeap(T* out, Answer answer) const {
    if (out == nullptr) return E_POINTER;
    *out = T();
    ArchiveHeap* heap = Heap();
    return heap != nullptr ? answer(*heap) : E_FAIL;
  }
  // State common to the classes that have an archive.
  void KeepArchive(ICairnArchive* archive) { archive_ = ComPtr<ICairnArchive>(archive); }
  ComPtr<ICairnArchive> archive_;
};

}  // namespace cairn
