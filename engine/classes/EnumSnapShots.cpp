#include "EnumSnapShots.h"

#include "ArchiveWalk.h"

namespace cairn {

STDMETHODIMP EnumSnapShots::Setup(const ObjectState& state) { return Initialize(state.archive); }

STDMETHODIMP EnumSnapShots::Initialize(ICairnArchive* archive) {
  KeepArchive(archive);
  return Reset();
}

bool EnumSnapShots::NameOf(ArchiveHeap& heap, uint32_t offset, std::string* name) const {
  SnapshotRecord record(heap, offset);
  return record.IsValid() && SUCCEEDED(ReadString(heap, record.Name(), name));
}

HRESULT EnumSnapShots::HandOutCurrent(ICairnSnapShot** snapshot) {
  ObjectState state;
  state.record = cursor_.Current();
  return HandOut(CLSID_CairnSnapShot, state, snapshot);
}

STDMETHODIMP EnumSnapShots::Next(ULONG flags, ICairnSnapShot** snapshot) {
  if (snapshot == nullptr) return E_POINTER;
  *snapshot = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  if (cursor_.Damaged()) return kCorruptArchive;
  while (cursor_.Current() != 0) {
    SnapshotRecord record(*heap, cursor_.Current());
    if (!record.IsValid()) return Damaged(__LINE__);
    if ((record.Flags() & flags) != 0) return HandOutCurrent(snapshot);
    HRESULT hr = Step(*heap, __LINE__);
    if (FAILED(hr)) return hr;
  }
  return S_FALSE;
}

STDMETHODIMP EnumSnapShots::Last(ULONG flags, ICairnSnapShot** snapshot) {
  if (snapshot == nullptr) return E_POINTER;
  *snapshot = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  Reset();
  uint32_t newest = 0;
  if (FAILED(ForEach<SnapshotRecord>(*heap, cursor_.Current(), [&](SnapshotRecord& record) {
        newest = record.Offset();
        return S_OK;
      })))
    return Damaged(__LINE__);
  cursor_.Reset(newest);
  if (newest == 0) return S_FALSE;
  if ((SnapshotRecord(*heap, newest).Flags() & flags) == 0) {
    cursor_.SetCurrent(0);
    return S_FALSE;
  }
  return HandOutCurrent(snapshot);
}

STDMETHODIMP EnumSnapShots::Prev(ULONG flags, ICairnSnapShot** snapshot) {
  if (snapshot == nullptr) return E_POINTER;
  *snapshot = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  if (cursor_.Damaged()) return kCorruptArchive;
  if (cursor_.Current() != 0) {
    SnapshotRecord current(*heap, cursor_.Current());
    if (!current.IsValid()) return Damaged(__LINE__);
    // At least one step towards the oldest, on to a match, or past the oldest.
    for (uint32_t older = current.Previous(); older != 0;) {
      if (!SnapshotRecord(*heap, older).IsValid() || !cursor_.MoveTo(older, true)) return Damaged(__LINE__);
      const SnapshotRecord record(*heap, older);
      if ((record.Flags() & flags) != 0) break;
      older = record.Previous();
      if (older == 0) cursor_.SetCurrent(0);
    }
  }
  return Next(flags, snapshot);
}

STDMETHODIMP EnumSnapShots::NextByName(BSTR name, ICairnSnapShot** snapshot) {
  return NextWithName(name, snapshot);
}

STDMETHODIMP EnumSnapShots::Set(ICairnSnapShot* snapshot) {
  if (snapshot == nullptr) return E_POINTER;
  LONG number = 0;
  HRESULT hr = snapshot->GetSnapShot(&number);
  if (FAILED(hr)) return hr;
  Reset();
  ArchiveHeap* heap = Heap();
  while (heap != nullptr && cursor_.Current() != 0) {
    SnapshotRecord record(*heap, cursor_.Current());
    if (!record.IsValid()) return Damaged(__LINE__);
    if (record.Number() == number) break;
    hr = Step(*heap, __LINE__);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace cairn
