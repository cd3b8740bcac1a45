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

STDMETHODIMP EnumSnapShots::Skip(ULONG count) {
  ArchiveHeap* heap = Heap();
  for (ULONG i = 0; heap != nullptr && i < count && cursor_.Current() != 0; ++i)
    cursor_.MoveTo(*heap, SnapshotRecord(*heap, cursor_.Current()).Next(), SnapshotRecord::kSize);
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
  cursor_.MoveTo(*heap, SnapshotRecord(*heap, cursor_.Current()).Next(), SnapshotRecord::kSize);
  return S_OK;
}

STDMETHODIMP EnumSnapShots::Next(ULONG flags, ICairnSnapShot** snapshot) {
  if (snapshot == nullptr) return E_POINTER;
  *snapshot = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  while (cursor_.Current() != 0) {
    SnapshotRecord record(*heap, cursor_.Current());
    if (!record.IsValid()) {
      LogInternalError(archive_.Get(), kModule, __LINE__);
      cursor_.SetCurrent(0);
      break;
    }
    if ((record.Flags() & flags) != 0) return HandOut(snapshot);
    cursor_.MoveTo(*heap, record.Next(), SnapshotRecord::kSize);
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
  return HandOut(snapshot);
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
  if (snapshot == nullptr) return E_POINTER;
  *snapshot = nullptr;
  ArchiveHeap* heap = Heap();
  if (heap == nullptr) return E_FAIL;
  const std::string wanted = ToAnsi(name);
  while (cursor_.Current() != 0) {
    SnapshotRecord record(*heap, cursor_.Current());
    std::string stored;
    if (!record.IsValid() || FAILED(ReadString(*heap, record.Name(), &stored))) {
      LogInternalError(archive_.Get(), kModule, __LINE__);
      cursor_.SetCurrent(0);
      break;
    }
    if (lstrcmpA(stored.c_str(), wanted.c_str()) == 0) return HandOut(snapshot);
    cursor_.MoveTo(*heap, record.Next(), SnapshotRecord::kSize);
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
    if (!record.IsValid()) {
      cursor_.SetCurrent(0);
      break;
    }
    if (record.Number() == number) break;
    cursor_.MoveTo(*heap, record.Next(), SnapshotRecord::kSize);
  }
  return S_OK;
}

}  // namespace cairn
