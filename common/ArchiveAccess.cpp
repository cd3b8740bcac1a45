#include "ArchiveAccess.h"

#include <objbase.h>

namespace cairn {
namespace {

// The object registered for the path; S_FALSE when there is none, or the table cannot be asked.
HRESULT Running(const std::wstring& path, ComPtr<ICairnArchive>* archive) {
  ComPtr<IBindCtx> context;
  ComPtr<IRunningObjectTable> table;
  ComPtr<IMoniker> moniker;
  ComPtr<IUnknown> running;
  if (SUCCEEDED(CreateBindCtx(0, context.Out())) && SUCCEEDED(context->GetRunningObjectTable(table.Out())) &&
      SUCCEEDED(CreateFileMoniker(path.c_str(), moniker.Out())) &&
      table->GetObject(moniker.Get(), running.Out()) == S_OK)
    return running.As(archive);
  return S_FALSE;
}

HRESULT NewArchiveObject(ComPtr<IPersistFile>* file) {
  return CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file->OutVoid());
}

// The writer registered for the path (S_OK), else a new archive object still to load (S_FALSE).
HRESULT RunningOrNew(const std::wstring& path, ComPtr<ICairnArchive>* archive, ComPtr<IPersistFile>* file) {
  archive->Reset();
  HRESULT hr = Running(path, archive);
  if (hr != S_FALSE) return hr;
  hr = NewArchiveObject(file);
  return FAILED(hr) ? hr : S_FALSE;
}

}  // namespace

HRESULT OpenArchiveReader(const std::wstring& path, ComPtr<ICairnArchive>* archive) {
  archive->Reset();
  ComPtr<IPersistFile> file;
  HRESULT hr = NewArchiveObject(&file);
  if (SUCCEEDED(hr)) hr = file->Load(path.c_str(), STGM_READ);
  return SUCCEEDED(hr) ? file.As(archive) : hr;
}

HRESULT OpenArchiveToRead(const std::wstring& path, ComPtr<ICairnArchive>* archive, bool readOnlyFallback) {
  ComPtr<IPersistFile> file;
  HRESULT hr = RunningOrNew(path, archive, &file);
  if (hr != S_FALSE) return hr;
  hr = file->Load(path.c_str(), STGM_READWRITE);
  if (readOnlyFallback && (hr == STG_E_ACCESSDENIED || hr == STG_E_SHAREVIOLATION))
    hr = file->Load(path.c_str(), STGM_READ);
  return SUCCEEDED(hr) ? file.As(archive) : hr;
}

HRESULT OpenArchiveToWrite(const std::wstring& path, ComPtr<ICairnArchive>* archive, bool create,
                           void (*waiting)(const void* context), const void* context, DWORD waitMs) {
  ComPtr<IPersistFile> file;
  HRESULT hr = RunningOrNew(path, archive, &file);
  if (hr != S_FALSE) return hr;
  const DWORD mode = create ? STGM_CREATE | STGM_READWRITE : STGM_READWRITE;
  hr = file->Load(path.c_str(), mode);
  if (hr == STG_E_SHAREVIOLATION && waitMs != 0) {
    // Another writer is at work (a scheduled snapshot, another window): its turn ends.
    if (waiting != nullptr) waiting(context);
    for (DWORD waited = 0; hr == STG_E_SHAREVIOLATION && waited < waitMs; waited += kWriterPollMs) {
      Sleep(kWriterPollMs);
      hr = Running(path, archive);
      if (hr != S_FALSE) return hr;  // a writer that shares itself: through it
      hr = file->Load(path.c_str(), mode);
    }
  }
  return SUCCEEDED(hr) ? file.As(archive) : hr;
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
