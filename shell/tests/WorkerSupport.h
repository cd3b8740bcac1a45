// Helpers of the tests that hand files to the extension and wait for its workers: a data object of
// files (a drop or the clipboard's contents) whose medium's release can be counted, the threads a
// step starts, the calls other threads make into an archive held by the test, and that archive's
// snapshots.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ComObject.h"
#include "ComPtr.h"
#include "Handle.h"

namespace cairn {
namespace shell {
namespace testing {

// A minimal data object: CF_HDROP with the paths (a DROPFILES header and wide names), and
// optionally the extension's marker, clipboard format 4. Each medium it gives carries a release
// object that counts how many of them were released.
class FilesData final : public ComObject<FilesData, IDataObject> {
 public:
  // broken: a file list that points past the end of its block.
  static ComPtr<FilesData> Make(const std::vector<std::string>& paths, bool marker, bool broken = false);
  // The media given and not yet released.
  int MediaHeld() const { return held_->load(); }

  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  friend ComObject;
  FilesData() = default;
  ~FilesData() = default;

  std::vector<uint8_t> bytes_;
  bool marker_ = false;
  std::shared_ptr<std::atomic<int>> held_ = std::make_shared<std::atomic<int>>(0);
};

// The threads that a step of a test starts (the workers of a command), to wait for their end.
class StartedThreads {
 public:
  explicit StartedThreads(const std::function<void()>& step);
  // True once every one has ended; this thread answers nothing meanwhile, so a worker that
  // calls the archive held here cannot end.
  bool EndUnanswered(DWORD ms = 10000) const;
  // True once every one has ended, this thread's messages (the workers' calls) pumped meanwhile.
  bool End() const;
  size_t Count() const { return threads_.size(); }

 private:
  std::vector<Handle> threads_;
};

// While it lives, calls `seen` at each call that another thread makes into this thread's
// apartment, such as a worker's call into an archive held here: each arrives while this thread
// pumps messages, and is seen before it is carried out.
class CallWatch {
 public:
  explicit CallWatch(std::function<void()> seen);
  ~CallWatch();
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

 private:
  ComPtr<IMessageFilter> filter_, previous_;
};

// The archive at the path, loaded read-write here: it joins the Running Object Table, where the
// extension's workers find it and call into this thread. Null when it cannot be loaded.
ComPtr<IPersistFile> HoldArchive(const std::string& path);
// The number of snapshots of an archive object.
int HeldSnapshots(IPersistFile* held);

// What cn lists of an archive, or of one of its snapshots.
std::string Listing(const std::string& archive, const std::string& snapshot = "");
// The stored names of the snapshots cn lists, separated by blanks.
std::string ListedSnapshots(const std::string& archive);

}  // namespace testing
}  // namespace shell
}  // namespace cairn
