#include "Storage.h"

namespace cairn {

STDMETHODIMP Storage::Setup(const ObjectState& state) {
  stream_ = ComPtr<IStream>(state.stream);
  return S_OK;
}

STDMETHODIMP Storage::OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream** stream) {
  if (stream == nullptr) return E_POINTER;
  *stream = nullptr;
  if (!stream_) return E_FAIL;
  LARGE_INTEGER start = {};
  stream_->Seek(start, STREAM_SEEK_SET, nullptr);
  *stream = ComPtr<IStream>(stream_).Detach();
  return S_OK;
}

STDMETHODIMP Storage::CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream**) { return E_NOTIMPL; }
STDMETHODIMP Storage::CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage**) { return E_NOTIMPL; }
STDMETHODIMP Storage::OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage**) { return E_NOTIMPL; }
STDMETHODIMP Storage::CopyTo(DWORD, const IID*, SNB, IStorage*) { return E_NOTIMPL; }
STDMETHODIMP Storage::MoveElementTo(LPCOLESTR, IStorage*, LPCOLESTR, DWORD) { return E_NOTIMPL; }
STDMETHODIMP Storage::Commit(DWORD) { return E_NOTIMPL; }
STDMETHODIMP Storage::Revert() { return E_NOTIMPL; }
STDMETHODIMP Storage::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) { return E_NOTIMPL; }
STDMETHODIMP Storage::DestroyElement(LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP Storage::RenameElement(LPCOLESTR, LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP Storage::SetElementTimes(LPCOLESTR, const FILETIME*, const FILETIME*, const FILETIME*) { return E_NOTIMPL; }
STDMETHODIMP Storage::SetClass(REFCLSID) { return E_NOTIMPL; }
STDMETHODIMP Storage::SetStateBits(DWORD, DWORD) { return E_NOTIMPL; }
STDMETHODIMP Storage::Stat(STATSTG*, DWORD) { return E_NOTIMPL; }

}  // namespace cairn
