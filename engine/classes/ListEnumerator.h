// What the three enumerators share: a cursor over one of the archive's linked lists of Record,
// Clone, Reset, Skip, the hand-out of the item at the cursor, and the search by stored name.
#pragma once

#include <string>

#include "ArchiveText.h"
#include "EngineObject.h"
#include "ListCursor.h"

namespace cairn {

// Derived provides kModule (for internal errors) and First(heap), the list's first record.
template <class Derived, class I, class Record>
class ListEnumerator : public EngineObject<Derived, I> {
 public:
  // Clone: E_NOTIMPL.
  STDMETHODIMP Clone(I** clone) override {
    if (clone != nullptr) *clone = nullptr;
    return E_NOTIMPL;
  }
  // Reset: back to the first record.
  STDMETHODIMP Reset() override {
    ArchiveHeap* heap = this->Heap();
    cursor_.Reset(heap != nullptr ? static_cast<Derived*>(this)->First(*heap) : 0);
    return S_OK;
  }
  // Every method that walks reports a damaged list (a link outside the archive, into the header,
  // without room for its record, an unsound record, or a loop) as kCorruptArchive, never as an
  // end.
  // Skip: moves forward, stopping past the end; S_OK.
  STDMETHODIMP Skip(ULONG count) override {
    ArchiveHeap* heap = this->Heap();
    if (cursor_.Damaged()) return kCorruptArchive;
    for (ULONG i = 0; heap != nullptr && i < count && cursor_.Current() != 0; ++i) {
      HRESULT hr = Step(*heap, __LINE__);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

 protected:
  // Moves to the record after the current one.
  HRESULT Step(ArchiveHeap& heap, int line) {
    const Record record(heap, cursor_.Current());
    if (!record.IsValid() || !cursor_.MoveTo(record.Next())) return Damaged(line);
    return S_OK;
  }
  // Reports damage met at line: logged once, then kCorruptArchive until the next Reset.
  HRESULT Damaged(int line) {
    if (!cursor_.Damaged()) LogInternalError(this->archive_.Get(), Derived::kModule, line);
    cursor_.Damage();
    return kCorruptArchive;
  }

  // Creates the item of class clsid with state (the archive filled in here) and moves past the
  // cursor's record.
  template <class Item>
  HRESULT HandOut(REFCLSID clsid, ObjectState state, Item** item) {
    ArchiveHeap* heap = this->Heap();
    ComPtr<ICairnArchive> archive;
    HRESULT hr = this->ArchiveForChild(Derived::kModule, __LINE__, &archive);
    if (FAILED(hr)) return hr;
    state.archive = archive.Get();
    hr = CreateEngineObject(clsid, state, item);
    if (FAILED(hr)) return hr;
    Step(*heap, __LINE__);  // a damaged link behind this record is reported by the next call
    return S_OK;
  }

  // From the cursor on, the first record whose stored name (Derived::NameOf, false when the
  // record is damaged) equals name exactly, letter case counting: handed out by Derived's
  // HandOutCurrent. S_FALSE when none does.
  template <class Item>
  HRESULT NextWithName(BSTR name, Item** item) {
    if (item == nullptr) return E_POINTER;
    *item = nullptr;
    ArchiveHeap* heap = this->Heap();
    if (heap == nullptr) return E_FAIL;
    if (cursor_.Damaged()) return kCorruptArchive;
    const NameCodec names = NameCodec::Of(*heap);
    const std::string wanted = names.Store(name);
    while (cursor_.Current() != 0) {
      std::string stored;
      if (!static_cast<Derived*>(this)->NameOf(*heap, cursor_.Current(), &stored)) return Damaged(__LINE__);
      if (names.SameText(stored, wanted)) return static_cast<Derived*>(this)->HandOutCurrent(item);
      HRESULT hr = Step(*heap, __LINE__);
      if (FAILED(hr)) return hr;
    }
    return S_FALSE;
  }

  ListCursor cursor_;
};

}  // namespace cairn
