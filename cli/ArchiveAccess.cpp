#include "ArchiveAccess.h"

#include <mstask.h>
#include <objbase.h>

namespace cairn {
namespace cn {

namespace {

// The archive object running for the path, if one is registered.
HRESULT RunningArchive(const std::wstring& absolutePath, ComPtr<ICairnArchive>* archive) {
  ComPtr<IBindCtx> context;
  ComPtr<IRunningObjectTable> rot;
  ComPtr<IMoniker> moniker;
  ComPtr<IUnknown> running;
  if (SUCCEEDED(CreateBindCtx(0, context.Out())) && SUCCEEDED(context->GetRunningObjectTable(rot.Out())) &&
      SUCCEEDED(CreateFileMoniker(absolutePath.c_str(), moniker.Out())) &&
      rot->GetObject(moniker.Get(), running.Out()) == S_OK)
    return running.As(archive);
  return S_FALSE;
}

}  // namespace

HRESULT OpenArchive(const std::wstring& absolutePath, bool create, bool readFallback, ComPtr<ICairnArchive>* archive,
                    void (*waiting)(const void* context), const void* context) {
  archive->Reset();
  HRESULT hr = RunningArchive(absolutePath, archive);
  if (hr != S_FALSE) return hr;

  ComPtr<IPersistFile> file;
  hr = CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid());
  if (FAILED(hr)) return hr;
  const DWORD mode = create ? STGM_CREATE | STGM_READWRITE : STGM_READWRITE;
  hr = file->Load(absolutePath.c_str(), mode);
  if (readFallback && (hr == STG_E_ACCESSDENIED || hr == STG_E_SHAREVIOLATION))
    hr = file->Load(absolutePath.c_str(), STGM_READ);
  if (hr == STG_E_SHAREVIOLATION) {
    // Another writer is at work (a scheduled snapshot, the Explorer extension): its turn ends.
    if (waiting != nullptr) waiting(context);
    for (DWORD waited = 0; hr == STG_E_SHAREVIOLATION && waited < kWriterWaitMs; waited += kWriterPollMs) {
      Sleep(kWriterPollMs);
      hr = RunningArchive(absolutePath, archive);
      if (hr != S_FALSE) return hr;  // a writer that shares itself: through it
      hr = file->Load(absolutePath.c_str(), mode);
    }
  }
  if (FAILED(hr)) return hr;
  return file.As(archive);
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

std::wstring ScheduledJobName(const std::wstring& absolutePath) {
  std::wstring name = absolutePath;
  for (wchar_t& c : name)
    if (c == L'\\' || c == L':') c = L'-';
  return name + L".job";
}

void DeleteScheduledJob(const std::wstring& absolutePath) {
  const std::wstring job = ScheduledJobName(absolutePath);
  // The scheduler names work items without their ".job" and adds it itself.
  const std::wstring item = job.substr(0, job.size() - 4);
  ComPtr<ITaskScheduler> scheduler;
  HRESULT hr = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                scheduler.OutVoid());
  if (SUCCEEDED(hr)) hr = scheduler->Delete(item.c_str());
  // Some schedulers refuse names holding a '.', which every archive's job name does: remove the
  // job's file from the scheduler's folder directly, as the scheduler itself would.
  if (hr == E_INVALIDARG) {
    wchar_t windows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (n > 0 && n < MAX_PATH) DeleteFileW((std::wstring(windows) + L"\\Tasks\\" + job).c_str());
  }
}

std::wstring AbsolutePath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
  if (n == 0 || n >= full.size()) return path;
  full.resize(n);
  return full;
}

}  // namespace cn
}  // namespace cairn
