// Stream: a content as an IStream. On a disk file (a copy of the file as it was at one moment, or
// a large file read in place and checked afterwards), on a revision of the archive (read in place
// when the revision holds its whole content as one uncompressed record, else rebuilt on first
// use), or empty and writable (a copy to be changed). It hands the revision store its content in
// place through IStreamContent.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <memory>

#include "ArchiveRecords.h"
#include "ComObject.h"
#include "DiskFileCopy.h"
#include "ObjectCreation.h"
#include "RebuiltContent.h"
#include "StreamContent.h"

namespace cairn {

class Stream final : public ComObject<Stream, IStream, IEngineObject, IStreamContent> {
 public:
  // Setup: on a revision (archive, object, record; record 0 is an empty content), on a disk
  // file (archive, object, path; kFileTooLarge for 4 GiB or more, ERROR_SHARING_VIOLATION for a
  // file locked or never still), or empty and writable.
  STDMETHODIMP Setup(const ObjectState& state) override;

  // Read: copies what lies between the position and the end; 0 bytes at or past the end.
  // E_FAIL when the content cannot be rebuilt.
  STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override;
  // Write: only on a stream that holds its own content, not a disk file's (E_ACCESSDENIED
  // otherwise); grows the
  // content when the write passes its end (E_OUTOFMEMORY when it cannot).
  STDMETHODIMP Write(const void* buffer, ULONG count, ULONG* written) override;
  // Seek: origin start, current or end with the move's low 32 bits (unsigned from the start);
  // STG_E_INVALIDFUNCTION for any other origin or a position before the start.
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER size) override;
  // CopyTo: writes what lies between the position and the end (at most the count's low 32 bits)
  // to the target in one Write, and moves the position past it.
  STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override;
  STDMETHODIMP Commit(DWORD flags) override;
  STDMETHODIMP Revert() override;
  STDMETHODIMP LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
  // Stat: the content's status block; with STATFLAG_DEFAULT the name is the archived object's.
  STDMETHODIMP Stat(STATSTG* stat, DWORD flag) override;
  STDMETHODIMP Clone(IStream** clone) override;

  // IStreamContent
  // View: a disk file read in place, or the content held (prepared first); null for a revision
  // read in place in the archive, whose bytes move when the archive grows.
  ContentView* STDMETHODCALLTYPE View() override;
  HRESULT STDMETHODCALLTYPE Verify() override;

 private:
  friend class ComObject<Stream, IStream, IEngineObject, IStreamContent>;
  Stream() = default;
  ~Stream();
  // Rebuilds a revision's content on first use.
  HRESULT Prepare();
  // Copies count bytes at position of a prepared content to out; false when they cannot be read.
  bool CopyBytes(uint32_t position, uint32_t count, uint8_t* out);

  ComPtr<ICairnArchive> archive_;
  ComPtr<ICairnObject> object_;
  StatBlock stat_;
  uint32_t position_ = 0;
  uint32_t size_ = 0;
  bool prepared_ = false;

  uint32_t revision_ = 0;     // a revision to rebuild, or the newest read in place
  uint32_t inPlaceData_ = 0;  // data block of a revision read in place, else 0
  std::unique_ptr<RebuiltContent> content_;  // a content of its own (rebuilt, written or copied)
  bool fileCopy_ = false;                    // content_ is a disk file's, not to be written
  std::unique_ptr<DiskFileView> file_;       // or a large disk file read in place
  std::unique_ptr<MemoryView> view_;         // content_ as a view
};

}  // namespace cairn
