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
  while (cursor_.Current() != 0) {
    SnapshotRecord record(*heap, cursor_.Current());
    if (!record.IsValid()) {
      StopAtDamage(__LINE__);
      break;
    }
    if ((record.Flags() & flags) != 0) return HandOutCurrent(snapshot);
    Advance(*heap);
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
  ForEach<SnapshotRecord>(*heap, cursor_.Current(), [&](SnapshotRecord& record) {
    newest = record.Offset();
    return S_OK;
  });
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
  if (cursor_.Current() != 0 && SnapshotRecord(*heap, cursor_.Current()).Previous() != 0) {
    do {
      cursor_.MoveTo(*heap, SnapshotRecord(*heap, cursor_.Current()).Previous(), SnapshotRecord::kSize);
    } while (cursor_.Current() != 0 && SnapshotRecord(*heap, cursor_.Current()).IsValid() &&
             (SnapshotRecord(*heap, cursor_.Current()).Flags() & flags) == 0);
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
    if (!record.IsValid()) {
      cursor_.SetCurrent(0);
      break;
    }
    if (record.Number() == number) break;
    Advance(*heap);
  }
  return S_OK;
}

}  // namespace cairn
