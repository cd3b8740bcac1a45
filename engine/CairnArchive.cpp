#include "CairnArchive.h"

#include <new>

#include "ArchiveRecords.h"
#include "ArchiveWalk.h"
#include "Text.h"
#include "resource.h"

namespace cairn {

HRESULT CairnArchive::Create(REFIID iid, void** object) {
  CairnArchive* archive = new (std::nothrow) CairnArchive();
  if (archive == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = archive->QueryInterface(iid, object);
  archive->Release();
  return hr;
}

STDMETHODIMP CairnArchive::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ICairnArchive)
    *object = static_cast<ICairnArchive*>(this);
  else if (iid == IID_ICairnArchiveAdmin)
    *object = static_cast<ICairnArchiveAdmin*>(this);
  else if (iid == IID_ICairnArchiveFilter)
    *object = static_cast<ICairnArchiveFilter*>(this);
  else if (iid == IID_IPersistFile || iid == IID_IPersist)
    *object = static_cast<IPersistFile*>(this);
  else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CairnArchive::Release() {
  ULONG n = refs_.Decrement();
  if (n != 0) return n;
  // Hold a reference while disconnecting, so that calls it causes cannot destroy us twice.
  refs_.Increment();
  if (rot_.IsRegistered()) {
    CoDisconnectObject(static_cast<ICairnArchive*>(this), 0);
    rot_.Revoke();
  }
  delete this;
  return 0;
}

HRESULT CairnArchive::CheckWritable() const {
  if (heap_ == nullptr) return E_UNEXPECTED;
  if (!heap_->IsOpen()) return E_FAIL;
  return heap_->IsWritable() ? S_OK : E_ACCESSDENIED;
}

// ---- ICairnArchive

STDMETHODIMP CairnArchive::EnumSnapShots(ULONG, IEnumSnapShots** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnArchive::CreateSnapShot(BSTR, SAFEARRAY*, SAFEARRAY*, ICairnSnapShot** snapshot) {
  if (snapshot == nullptr) return E_POINTER;
  *snapshot = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnArchive::DeleteSnapShot(BSTR name) {
  HRESULT hr = CheckWritable();
  if (FAILED(hr)) return hr;
  const std::wstring wanted = name != nullptr ? name : L"";
  hr = ForEach<SnapshotRecord>(*heap_, heap_->HeaderField(header::kSnapshotList), [&](SnapshotRecord& snapshot) {
    std::string stored;
    if (FAILED(ReadString(*heap_, snapshot.Name(), &stored))) return kCorruptArchive;
    if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, FromAnsi(stored).c_str(), -1, wanted.c_str(), -1) !=
        CSTR_EQUAL)
      return S_OK;
    snapshot.SetFlags((snapshot.Flags() & ~snapshot_flags::kLive) | snapshot_flags::kDeleted);
    return S_FALSE;  // only the oldest of that name
  });
  return FAILED(hr) ? E_FAIL : S_OK;
}

// ---- ICairnArchiveAdmin

STDMETHODIMP CairnArchive::GetStream(BSTR, IStream** stream) {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnArchive::CommitStream(BSTR, IStream*) { return E_NOTIMPL; }

STDMETHODIMP CairnArchive::GetObject(BSTR, ICairnObject** object, LONG) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnArchive::GetLogStream(IStream** stream) {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnArchive::CommitLogStream(IStream*) { return E_NOTIMPL; }

STDMETHODIMP CairnArchive::InterpretLogStream(IStream** stream) {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnArchive::SetOptions(LONG options) {
  HRESULT hr = CheckWritable();
  if (FAILED(hr)) return hr;
  heap_->SetHeaderField(header::kOptions, static_cast<uint32_t>(options));
  return S_OK;
}

STDMETHODIMP CairnArchive::GetOptions(LONG* options) {
  if (options == nullptr) return E_POINTER;
  *options = 0;
  if (heap_ == nullptr) return E_UNEXPECTED;
  if (!heap_->IsOpen()) return E_FAIL;
  *options = static_cast<LONG>(heap_->HeaderField(header::kOptions));
  return S_OK;
}

STDMETHODIMP CairnArchive::GetArchiveDetails(LONG* free, LONG* largest, LONG* smallest, LONG* segments) {
  if (free == nullptr || largest == nullptr || smallest == nullptr || segments == nullptr) return E_POINTER;
  *free = *largest = *smallest = *segments = 0;
  if (heap_ == nullptr) return E_UNEXPECTED;
  FreeSpaceReport report;
  if (FAILED(heap_->FreeSpace(&report))) return E_FAIL;
  *free = static_cast<LONG>(report.total);
  *largest = static_cast<LONG>(report.largest);
  *smallest = static_cast<LONG>(report.smallest);
  *segments = static_cast<LONG>(report.blocks);
  return S_OK;
}

// ---- ICairnArchiveFilter

STDMETHODIMP CairnArchive::GetExclList(BSTR* list) {
  if (list == nullptr) return E_POINTER;
  *list = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnArchive::GetInclList(BSTR* list) {
  if (list == nullptr) return E_POINTER;
  *list = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CairnArchive::SetInclList(BSTR) { return E_NOTIMPL; }
STDMETHODIMP CairnArchive::SetExclList(BSTR) { return E_NOTIMPL; }
STDMETHODIMP CairnArchive::NotFiltered(BSTR) { return E_NOTIMPL; }

// ---- IPersistFile

STDMETHODIMP CairnArchive::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_CairnArchive;
  return S_OK;
}

STDMETHODIMP CairnArchive::IsDirty() { return S_FALSE; }

STDMETHODIMP CairnArchive::Load(LPCOLESTR fileName, DWORD mode) {
  if (fileName == nullptr) return E_POINTER;
  if (heap_ != nullptr) return E_UNEXPECTED;
  const bool create = (mode & STGM_CREATE) != 0;
  const bool write = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
  std::unique_ptr<ArchiveHeap> heap;
  HRESULT hr = ArchiveHeap::Open(PlatformFiles::Native(), ToUtf8(fileName), create, write, &heap);
  if (hr == kNewerVersion) {
    MessageBoxW(nullptr, Module::String(IDS_NEWER_VERSION).c_str(), Module::String(IDS_OPEN_ERROR_CAPTION).c_str(),
                MB_OK | MB_ICONWARNING);
    return E_FAIL;
  }
  if (hr == kNotAnArchive) return E_ACCESSDENIED;
  if (FAILED(hr)) return E_FAIL;
  heap_ = std::move(heap);

  return rot_.Register(static_cast<ICairnArchive*>(this), fileName);
}

STDMETHODIMP CairnArchive::Save(LPCOLESTR, BOOL) { return S_OK; }
STDMETHODIMP CairnArchive::SaveCompleted(LPCOLESTR) { return S_OK; }

STDMETHODIMP CairnArchive::GetCurFile(LPOLESTR* fileName) {
  if (fileName == nullptr) return E_POINTER;
  *fileName = nullptr;
  return E_FAIL;
}

}  // namespace cairn
