// Storage: the least IStorage there is, holding one stream that the engine gives it, so that a
// caller's stream can be stored like an element of a compound document.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "ComObject.h"
#include "ObjectCreation.h"

namespace cairn {

class Storage final : public ComObject<Storage, IStorage, IEngineObject> {
 public:
  // Setup: state.stream is the stream to hold (a reference is kept until the storage goes).
  STDMETHODIMP Setup(const ObjectState& state) override;

  // OpenStream: the held stream, whatever the name and mode, seeked to its start, with a new
  // reference; E_FAIL when none is held.
  STDMETHODIMP OpenStream(LPCOLESTR name, void* reserved1, DWORD mode, DWORD reserved2, IStream** stream) override;
  // Every other method: E_NOTIMPL.
  STDMETHODIMP CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream**) override;
  STDMETHODIMP CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage**) override;
  STDMETHODIMP OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage**) override;
  STDMETHODIMP CopyTo(DWORD, const IID*, SNB, IStorage*) override;
  STDMETHODIMP MoveElementTo(LPCOLESTR, IStorage*, LPCOLESTR, DWORD) override;
  STDMETHODIMP Commit(DWORD) override;
  STDMETHODIMP Revert() override;
  STDMETHODIMP EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override;
  STDMETHODIMP DestroyElement(LPCOLESTR) override;
  STDMETHODIMP RenameElement(LPCOLESTR, LPCOLESTR) override;
  STDMETHODIMP SetElementTimes(LPCOLESTR, const FILETIME*, const FILETIME*, const FILETIME*) override;
  STDMETHODIMP SetClass(REFCLSID) override;
  STDMETHODIMP SetStateBits(DWORD, DWORD) override;
  STDMETHODIMP Stat(STATSTG*, DWORD) override;

 private:
  friend class ComObject<Storage, IStorage, IEngineObject>;
  Storage() = default;
  ~Storage() = default;
  ComPtr<IStream> stream_;
};

}  // namespace cairn
