#include "ArchiveAccess.h"

#include <objbase.h>

namespace cairn {
namespace {

// The running object for the path, else the file loaded with the mode. A table that cannot be
// asked is passed over: the file is loaded then.
HRESULT RunningOrLoaded(const std::wstring& path, DWORD mode, bool readOnlyFallback, ComPtr<ICairnArchive>* archive) {
  archive->Reset();
  ComPtr<IBindCtx> context;
  ComPtr<IRunningObjectTable> table;
  ComPtr<IMoniker> moniker;
  ComPtr<IUnknown> running;
  if (SUCCEEDED(CreateBindCtx(0, context.Out())) && SUCCEEDED(context->GetRunningObjectTable(table.Out())) &&
      SUCCEEDED(CreateFileMoniker(path.c_str(), moniker.Out())) &&
      table->GetObject(moniker.Get(), running.Out()) == S_OK)
    return running.As(archive);

  ComPtr<IPersistFile> file;
  HRESULT hr = CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid());
  if (FAILED(hr)) return hr;
  hr = file->Load(path.c_str(), mode);
  if (readOnlyFallback && (hr == STG_E_ACCESSDENIED || hr == STG_E_SHAREVIOLATION))
    hr = file->Load(path.c_str(), STGM_READ);
  if (FAILED(hr)) return hr;
  return file.As(archive);
}

}  // namespace

HRESULT OpenArchiveToRead(const std::wstring& path, ComPtr<ICairnArchive>* archive, bool readOnlyFallback) {
  return RunningOrLoaded(path, STGM_READWRITE, readOnlyFallback, archive);
}

HRESULT OpenArchiveToWrite(const std::wstring& path, ComPtr<ICairnArchive>* archive, bool create) {
  return RunningOrLoaded(path, create ? STGM_CREATE | STGM_READWRITE : STGM_READWRITE, false, archive);
}

HRESULT LatestRevision(ICairnObject* object, ComPtr<ICairnRevision>* revision) {
  revision->Reset();
  ComPtr<IEnumCairnRevisions> revisions;
  HRESULT hr = object->EnumCairnRevisions(0, revisions.Out());
  if (FAILED(hr)) return hr;
  if (!revisions) return E_FAIL;
  hr = revisions->Last(1, revision->Out());
  return hr == S_OK && !*revision ? E_FAIL : hr;
}

}  // namespace cairn
