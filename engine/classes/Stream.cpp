#include "Stream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "ArchiveLog.h"
#include "Bstr.h"
#include "DiskFileCopy.h"
#include "Profile.h"
#include "Revisions.h"
#include "StatStg.h"

namespace cairn {
namespace {
constexpr char kModule[] = "Stream";
}

Stream::~Stream() = default;

STDMETHODIMP Stream::Setup(const ObjectState& state) {
  archive_ = ComPtr<ICairnArchive>(state.archive);
  object_ = ComPtr<ICairnObject>(state.object);
  switch (state.streamKind) {
    case ObjectState::StreamKind::kEmpty:
      content_.reset(new (std::nothrow) RebuiltContent());
      prepared_ = content_ != nullptr;
      return prepared_ ? S_OK : E_OUTOFMEMORY;

    case ObjectState::StreamKind::kDiskFile: {
      profile::Scope scope(profile::kOpenFile);
      const HRESULT hr = OpenDiskFile(state.path, &content_, &file_, &stat_);
      if (FAILED(hr)) return hr;
      size_ = file_ != nullptr ? file_->Size() : content_->Size();
      fileCopy_ = true;
      prepared_ = true;
      return S_OK;
    }

    case ObjectState::StreamKind::kRevision: {
      revision_ = state.record;
      stat_ = StatBlock();
      if (revision_ == 0) {  // no revision at all: an empty content
        content_.reset(new (std::nothrow) RebuiltContent());
        prepared_ = content_ != nullptr;
        return prepared_ ? S_OK : E_OUTOFMEMORY;
      }
      ArchiveHeap* heap = HeapOf(archive_.Get());
      if (heap == nullptr || !heap->IsOpen()) return E_FAIL;
      RevisionRecord record(*heap, revision_);
      if (!record.ReadStat(&stat_)) return kCorruptArchive;
      size_ = static_cast<uint32_t>(stat_.size);
      uint32_t data = 0, length = 0;
      if (InPlaceContent(*heap, revision_, &data, &length)) {
        inPlaceData_ = data;
        size_ = length;
        prepared_ = true;
      }
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

HRESULT Stream::Prepare() {
  if (prepared_) return S_OK;
  ArchiveHeap* heap = HeapOf(archive_.Get());
  if (heap == nullptr || !heap->IsOpen()) return E_FAIL;
  std::unique_ptr<RebuiltContent> content(new (std::nothrow) RebuiltContent());
  if (content == nullptr) return E_FAIL;
  LoggedErrors errors(archive_.Get());
  if (FAILED(RebuildContent(*heap, revision_, *content, errors, kModule, WorkersOf(archive_.Get())))) return E_FAIL;
  content_ = std::move(content);
  size_ = content_->Size();
  prepared_ = true;
  return S_OK;
}

bool Stream::CopyBytes(uint32_t position, uint32_t count, uint8_t* out) {
  if (count == 0) return true;
  if (file_ != nullptr) return CopyOut(*file_, position, count, out);
  const uint8_t* bytes = nullptr;
  if (content_ != nullptr) {
    bytes = content_->Data();  // null while a temporary file cannot be mapped
  } else if (inPlaceData_ != 0) {
    // The archive's mapping moves when it grows: resolve the block afresh on every read.
    ArchiveHeap* heap = HeapOf(archive_.Get());
    bytes = heap != nullptr ? heap->Resolve(inPlaceData_, size_) : nullptr;
  }
  if (bytes == nullptr) return false;
  std::memcpy(out, bytes + position, count);
  return true;
}

STDMETHODIMP Stream::Read(void* buffer, ULONG count, ULONG* read) {
  if (read != nullptr) *read = 0;
  if (buffer == nullptr && count != 0) return STG_E_INVALIDPOINTER;
  if (FAILED(Prepare())) return E_FAIL;
  const uint32_t n = position_ < size_ ? std::min<uint32_t>(count, size_ - position_) : 0;
  if (n != 0) {
    if (!CopyBytes(position_, n, static_cast<uint8_t*>(buffer))) {
      LogInternalError(archive_.Get(), kModule, __LINE__);
      return E_FAIL;
    }
    position_ += n;
  }
  if (read != nullptr) *read = n;
  return S_OK;
}

STDMETHODIMP Stream::Write(const void* buffer, ULONG count, ULONG* written) {
  if (written != nullptr) *written = 0;
  if (buffer == nullptr && count != 0) return STG_E_INVALIDPOINTER;
  if (FAILED(Prepare())) return E_FAIL;
  if (content_ == nullptr || fileCopy_) return E_ACCESSDENIED;
  const uint64_t end = static_cast<uint64_t>(position_) + count;
  if (end > UINT32_MAX) return E_OUTOFMEMORY;
  if (end > content_->Size() && FAILED(content_->Resize(static_cast<uint32_t>(end)))) {
    LogInternalError(archive_.Get(), kModule, __LINE__);
    return E_OUTOFMEMORY;
  }
  if (FAILED(content_->Write(position_, static_cast<const uint8_t*>(buffer), count))) {
    LogInternalError(archive_.Get(), kModule, __LINE__);
    return E_OUTOFMEMORY;
  }
  position_ = static_cast<uint32_t>(end);
  size_ = content_->Size();
  if (written != nullptr) *written = count;
  return S_OK;
}

STDMETHODIMP Stream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  if (FAILED(Prepare())) return E_FAIL;
  int64_t base;
  switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = position_; break;
    case STREAM_SEEK_END: base = size_; break;
    default: return STG_E_INVALIDFUNCTION;
  }
  // A move from the start counts up to 4 GiB, as positions do; the others move either way.
  const int64_t target = origin == STREAM_SEEK_SET && move.QuadPart >= 0 ? int64_t{move.LowPart}
                                                                          : base + static_cast<int32_t>(move.LowPart);
  if (target < 0 || target > UINT32_MAX) return STG_E_INVALIDFUNCTION;
  position_ = static_cast<uint32_t>(target);
  if (position != nullptr) position->QuadPart = position_;
  return S_OK;
}

STDMETHODIMP Stream::SetSize(ULARGE_INTEGER) { return E_NOTIMPL; }

STDMETHODIMP Stream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) {
  if (read != nullptr) read->QuadPart = 0;
  if (written != nullptr) written->QuadPart = 0;
  if (target == nullptr) return STG_E_INVALIDPOINTER;
  if (FAILED(Prepare())) return E_FAIL;
  const uint32_t n = position_ < size_ ? std::min<uint32_t>(count.LowPart, size_ - position_) : 0;
  ULONG done = 0;
  if (n != 0) {
    // A content of its own is written from where it lies; anything else through a copy (the
    // target may be this archive's own stream, whose write can move the mapping we read).
    std::vector<uint8_t> copy;
    const uint8_t* bytes = content_ != nullptr ? content_->Data() : nullptr;
    if (bytes != nullptr) {
      bytes += position_;
    } else {
      try {
        copy.resize(n);
      } catch (const std::exception&) {
        return E_OUTOFMEMORY;
      }
      if (!CopyBytes(position_, n, copy.data())) return E_FAIL;
      bytes = copy.data();
    }
    HRESULT hr = target->Write(bytes, n, &done);
    if (FAILED(hr)) return hr;
  }
  position_ += n;
  if (read != nullptr) read->QuadPart = n;
  if (written != nullptr) written->QuadPart = done;
  return S_OK;
}

STDMETHODIMP Stream::Commit(DWORD) { return E_NOTIMPL; }
STDMETHODIMP Stream::Revert() { return E_NOTIMPL; }
STDMETHODIMP Stream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
STDMETHODIMP Stream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
STDMETHODIMP Stream::Clone(IStream** clone) {
  if (clone != nullptr) *clone = nullptr;
  return E_NOTIMPL;
}

ContentView* Stream::View() {
  if (FAILED(Prepare())) return nullptr;
  if (file_ != nullptr) return file_.get();
  if (content_ == nullptr || (content_->Data() == nullptr && size_ != 0)) return nullptr;
  // Made afresh: a written copy may have grown and moved since.
  view_.reset(new (std::nothrow) MemoryView(content_->Data(), size_));
  return view_.get();
}

HRESULT Stream::Verify() { return file_ != nullptr ? file_->Verify() : S_OK; }

STDMETHODIMP Stream::Stat(STATSTG* stat, DWORD flag) {
  if (stat == nullptr) return E_POINTER;
  StatBlock block = stat_;
  if (content_ != nullptr) block.size = size_;  // a copy that was written has grown
  *stat = ToStatStg(block);
  if (flag == STATFLAG_DEFAULT && object_) {
    Bstr name;
    if (SUCCEEDED(object_->GetName(name.Out())) && name.Get() != nullptr) {
      const size_t bytes = (name.Length() + 1) * sizeof(wchar_t);
      stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      if (stat->pwcsName != nullptr) std::memcpy(stat->pwcsName, name.Get(), bytes);
    }
  }
  return S_OK;
}

}  // namespace cairn
