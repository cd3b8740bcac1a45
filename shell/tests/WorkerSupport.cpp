#include "WorkerSupport.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <cstring>
#include <memory>
#include <set>
#include <utility>

#include "AnsiText.h"
#include "HostedViewSupport.h"
#include "ShellTestSupport.h"
#include "cairn.h"

namespace cairn {
namespace shell {
namespace testing {
namespace {

// The release object of one medium: frees its block and counts itself out when released.
class MediumRelease final : public ComObject<MediumRelease, IUnknown> {
 private:
  friend ComObject;
  MediumRelease(HGLOBAL block, std::shared_ptr<std::atomic<int>> held) : block_(block), held_(std::move(held)) {
    ++*held_;
  }
  ~MediumRelease() {
    GlobalFree(block_);
    --*held_;
  }
  HGLOBAL block_;
  std::shared_ptr<std::atomic<int>> held_;
};

// The threads of this process.
std::set<DWORD> ProcessThreads() {
  std::set<DWORD> threads;
  const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) threads.insert(entry.th32ThreadID);
  return threads;
}

class Filter final : public ComObject<Filter, IMessageFilter> {
 public:
  STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    seen_();
    return SERVERCALL_ISHANDLED;
  }
  STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
  STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

 private:
  friend ComObject;
  explicit Filter(std::function<void()> seen) : seen_(std::move(seen)) {}
  std::function<void()> seen_;
};

}  // namespace

ComPtr<FilesData> FilesData::Make(const std::vector<std::string>& paths, bool marker, bool broken) {
  ComPtr<FilesData> data = ComPtr<FilesData>::Adopt(New());
  data->marker_ = marker;
  DROPFILES header = {};
  header.pFiles = broken ? 4096 : sizeof header;  // broken: beyond the block
  header.fWide = TRUE;
  std::wstring names;
  for (const std::string& path : paths) names += FromAnsi(path) + L'\0';
  data->bytes_.resize(sizeof header + (names.size() + 1) * sizeof(wchar_t));
  std::memcpy(data->bytes_.data(), &header, sizeof header);
  std::memcpy(data->bytes_.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
  return data;
}

STDMETHODIMP FilesData::GetData(FORMATETC* format, STGMEDIUM* medium) {
  const HRESULT offered = QueryGetData(format);
  if (offered != S_OK) return offered;
  const std::vector<uint8_t> data = format->cfFormat == CF_HDROP ? bytes_ : std::vector<uint8_t>(4, 0);
  *medium = {TYMED_HGLOBAL, {nullptr}, nullptr};
  medium->hGlobal = GlobalAlloc(GMEM_MOVEABLE, data.size());
  std::memcpy(GlobalLock(medium->hGlobal), data.data(), data.size());
  GlobalUnlock(medium->hGlobal);
  medium->pUnkForRelease = MediumRelease::New(medium->hGlobal, held_);
  return S_OK;
}

STDMETHODIMP FilesData::QueryGetData(FORMATETC* format) {
  if (format->cfFormat != CF_HDROP && !(marker_ && format->cfFormat == 4)) return DV_E_FORMATETC;
  return (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_TYMED;
}

STDMETHODIMP FilesData::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
  FORMATETC offered[2] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                          {4, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
  return direction == DATADIR_GET ? SHCreateStdEnumFmtEtc(marker_ ? 2 : 1, offered, formats) : E_NOTIMPL;
}

StartedThreads::StartedThreads(const std::function<void()>& step) {
  const std::set<DWORD> before = ProcessThreads();
  step();
  for (DWORD id : ProcessThreads())
    if (before.count(id) == 0)
      if (HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id)) threads_.emplace_back(thread);
}

bool StartedThreads::EndUnanswered(DWORD ms) const {
  for (const Handle& thread : threads_)
    if (WaitForSingleObject(thread.Get(), ms) != WAIT_OBJECT_0) return false;
  return true;
}

bool StartedThreads::End() const {
  return browser::testing::WaitFor([this] {
    for (const Handle& thread : threads_)
      if (WaitForSingleObject(thread.Get(), 0) != WAIT_OBJECT_0) return false;
    return true;
  });
}

CallWatch::CallWatch(std::function<void()> seen) : filter_(ComPtr<IMessageFilter>::Adopt(Filter::New(std::move(seen)))) {
  CoRegisterMessageFilter(filter_.Get(), previous_.Out());
}

CallWatch::~CallWatch() {
  ComPtr<IMessageFilter> ours;
  CoRegisterMessageFilter(previous_.Get(), ours.Out());
}

ComPtr<IPersistFile> HoldArchive(const std::string& path) {
  ComPtr<IPersistFile> held;
  if (FAILED(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, held.OutVoid())) ||
      FAILED(held->Load(FromAnsi(path).c_str(), STGM_READWRITE)))
    held.Reset();
  return held;
}

int HeldSnapshots(IPersistFile* held) {
  ComPtr<ICairnArchive> archive;
  ComPtr<IEnumSnapShots> snapshots;
  int count = 0;
  if (SUCCEEDED(held->QueryInterface(IID_ICairnArchive, archive.OutVoid())) &&
      SUCCEEDED(archive->EnumSnapShots(0, snapshots.Out())) && snapshots) {
    ComPtr<ICairnSnapShot> snapshot;
    while (snapshots->Next(1, snapshot.Out()) == S_OK && snapshot) ++count;
  }
  return count;
}

std::string Listing(const std::string& archive, const std::string& snapshot) {
  return RunCnCapturing("/l " + snapshot + " \"" + archive + "\"", "").out;
}

std::string ListedSnapshots(const std::string& archive) {
  const std::string listing = Listing(archive);
  std::string names;
  size_t at = listing.find('\n');  // after the heading
  for (size_t end; at != std::string::npos && (end = listing.find('\n', at + 1)) != std::string::npos; at = end) {
    const std::string line = listing.substr(at + 1, end - at - 1);
    names += (names.empty() ? "" : " ") + line.substr(0, line.find_first_of(" \t"));
  }
  return names;
}

}  // namespace testing
}  // namespace shell
}  // namespace cairn
