#include "EnumSnapShots.h"

#include "ArchiveLog.h"
#include "ArchiveWalk.h"
#include "Text.h"

namespace cairn {
namespace {
constexpr char kModule[] = "EnumSnapShots";
}

STDMETHODIMP EnumSnapShots::Setup(const ObjectState& state) { return Initialize(state.archive); }

STDMETHODIMP EnumSnapShots::Initialize(ICairnArchive* archive) {
  KeepArchive(archive);
  return Reset();
}

STDMETHODIMP EnumSnapShots::Clone(IEnumSnapShots** clone) {
  if (clone != nullptr) *clone = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP EnumSnapShots::Reset() {
  ArchiveHeap* heap = Heap();
  cursor_.Reset(heap != nullptr ? heap->HeaderField(header::kSnapshotList) : 0);
  return S_OK;
}

HRESULT EnumSnapShots::Damaged(int line) {
  if (!cursor_.Damaged()) LogInternalError(archive_.Get(), kModule, line);
  cursor_.Damage();
  return kCorruptArchive;
}

HRESULT EnumSnapShots::Step(ArchiveHeap& heap, int line) {
  SnapshotRecord record(heap, cursor_.Current());
  if (!record.IsValid() || !cursor_.MoveTo(record.Next())) return Damaged(line);
  return S_OK;
}

STDMETHODIMP EnumSnapShots::Skip(ULONG count) {
  ArchiveHeap* heap = Heap();
  if (cursor_.Damaged()) return kCorruptArchive;
  for (ULONG i = 0; heap != nullptr && i < count && cursor_.Current() != 0; ++i) {
    HRESULT hr = Step(*heap, __LINE__);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT EnumSnapShots::HandOut(ICairnSnapShot** snapshot) {
  ArchiveHeap* heap = Heap();
  ComPtr<ICairnArchive> archive;
  HRESULT hr = ArchiveForChild(kModule, __LINE__, &archive);
  if (FAILED(hr)) return hr;
  ObjectState state;
  state.archive = archive.Get();
  state.record = cursor_.Current();
  hr = CreateEngineObject(CLSID_CairnSnapShot, state, snapshot);
  if (FAILED(hr)) return hr;
  Step(*heap, __LINE__);  // a damaged link behind this snapshot is reported by the next call
  return S_OK;
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
    if ((record.Flags() & flags) != 0) return HandOut(snapshot);
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
  return HandOut(snapshot);
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
  if (snapshot == nullptr) return E_POINTER;
  *snapshot = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  if (cursor_.Damaged()) return kCorruptArchive;
  const std::string wanted = ToAnsi(name);
  while (cursor_.Current() != 0) {
    SnapshotRecord record(*heap, cursor_.Current());
    std::string stored;
    if (!record.IsValid() || FAILED(ReadString(*heap, record.Name(), &stored))) return Damaged(__LINE__);
    if (lstrcmpA(stored.c_str(), wanted.c_str()) == 0) return HandOut(snapshot);
    HRESULT hr = Step(*heap, __LINE__);
    if (FAILED(hr)) return hr;
  }
  return S_FALSE;
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
