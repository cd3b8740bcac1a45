#include "DiskFileCopy.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>


namespace cairn {
namespace {

constexpr int kTries = 3;
constexpr uint32_t kChunk = 256 * 1024;
// How far apart a write and the last-write time it leaves may be: the coarsest clock of a file
// system (FAT keeps even seconds).
constexpr uint64_t kClockGrain = 2 * 10000000ull;

HRESULT LastError() {
  const DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

uint64_t Join(const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return Join(now);
}

// What the copy depends on and what the revision records of a file: its size, times and
// attributes. Read as basic and standard information, not with GetFileInformationByHandle, whose
// volume serial number costs Wine a look at the mounted file systems (half a millisecond a call,
// more than the rest of copying a small file).
struct FileState {
  uint64_t size = 0;
  uint64_t created = 0;
  uint64_t accessed = 0;
  uint64_t modified = 0;
  DWORD attributes = 0;
};

bool ReadState(HANDLE file, FileState* state) {
  FILE_BASIC_INFO basic;
  FILE_STANDARD_INFO standard;
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
      !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard))
    return false;
  state->size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  state->created = static_cast<uint64_t>(basic.CreationTime.QuadPart);
  state->accessed = static_cast<uint64_t>(basic.LastAccessTime.QuadPart);
  state->modified = static_cast<uint64_t>(basic.LastWriteTime.QuadPart);
  state->attributes = basic.FileAttributes;
  return true;
}

bool SameState(const FileState& a, const FileState& b) { return a.size == b.size && a.modified == b.modified; }

void Fill(const FileState& state, StatBlock* stat) {
  *stat = StatBlock();
  stat->size = state.size;
  stat->modified = state.modified;
  stat->created = state.created;
  stat->accessed = state.accessed;
  stat->attributes = state.attributes;
}

// Reads the file's first size bytes from its start in chunks, handing each to take(position,
// bytes, count), which answers whether to go on. S_FALSE when the file ended early or take
// stopped.
template <class Take>
HRESULT ReadWhole(HANDLE file, uint32_t size, std::vector<uint8_t>& buffer, Take&& take) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return LastError();
  for (uint32_t done = 0; done < size;) {
    DWORD n = 0;
    if (!ReadFile(file, buffer.data(), std::min(size - done, kChunk), &n, nullptr)) return LastError();
    if (n == 0 || !take(done, buffer.data(), n)) return S_FALSE;
    done += n;
  }
  return S_OK;
}

// Reads the file's first size bytes from its start straight into out, which has room for them:
// no buffer to fill and copy for each file. S_FALSE when the file ended early.
HRESULT ReadInto(HANDLE file, uint32_t size, uint8_t* out) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return LastError();
  for (uint32_t done = 0; done < size;) {
    DWORD n = 0;
    if (!ReadFile(file, out + done, std::min(size - done, kChunk), &n, nullptr)) return LastError();
    if (n == 0) return S_FALSE;
    done += n;
  }
  return S_OK;
}

// Copies the open file into *content (see OpenDiskFile); its state was read as state at started.
HRESULT CopyOpenFile(const Handle& file, FileState state, uint64_t started, std::unique_ptr<RebuiltContent>* content,
                     StatBlock* stat) {
  std::vector<uint8_t> buffer;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    FileState before = state, after;
    if (attempt != 0) {
      started = Now();
      if (!ReadState(file.Get(), &before)) return LastError();
    }
    if (before.size > 0xFFFFFFFFu) return kFileTooLarge;
    const uint32_t size = static_cast<uint32_t>(before.size);
    std::unique_ptr<RebuiltContent> copy(new (std::nothrow) RebuiltContent());
    if (copy == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = copy->Resize(size);
    if (FAILED(hr)) return hr;
    if (size != 0 && copy->MutableData() == nullptr) return E_OUTOFMEMORY;
    hr = ReadInto(file.Get(), size, copy->MutableData());
    if (FAILED(hr)) return hr;
    if (!ReadState(file.Get(), &after)) return LastError();
    if (hr != S_OK || !SameState(before, after)) continue;
    // A write in the same tick of the clock as the last one leaves the time as it was: a file
    // written that recently is read once more, and kept only if nothing moved.
    if (before.modified + kClockGrain >= started) {
      try {
        buffer.resize(std::min(size, kChunk));
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      }
      hr = ReadWhole(file.Get(), size, buffer, [&](uint32_t at, const uint8_t* bytes, uint32_t n) {
        return std::memcmp(copy->Data() + at, bytes, n) == 0;
      });
      if (FAILED(hr)) return hr;
      if (hr != S_OK || !ReadState(file.Get(), &after) || !SameState(before, after)) continue;
    }
    Fill(before, stat);
    *content = std::move(copy);
    return S_OK;
  }
  return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
}

}  // namespace

HRESULT OpenDiskFile(const wchar_t* path, std::unique_ptr<RebuiltContent>* content, std::unique_ptr<DiskFileView>* view,
                     StatBlock* stat) {
  view->reset();
  if (path == nullptr) return E_INVALIDARG;
  Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError();
  FileState state;
  const uint64_t started = Now();
  if (!ReadState(file.Get(), &state)) return LastError();
  if (state.size > 0xFFFFFFFFu) return kFileTooLarge;
  if (state.size < DiskFileView::kInPlaceSize || state.modified + kClockGrain >= started)
    return CopyOpenFile(file, state, started, content, stat);
  std::unique_ptr<DiskFileView> opened(new (std::nothrow) DiskFileView());
  if (opened == nullptr) return E_OUTOFMEMORY;
  opened->mapping_.Reset(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!opened->mapping_) return CopyOpenFile(file, state, started, content, stat);
  opened->file_ = std::move(file);
  opened->size_ = static_cast<uint32_t>(state.size);
  opened->modified_ = state.modified;
  Fill(state, stat);
  *view = std::move(opened);
  return S_OK;
}

const uint8_t* DiskFileView::Run(uint32_t position, uint32_t most, uint32_t* got) {
  *got = 0;
  if (position >= size_) return nullptr;
  if (!window_ || position < windowStart_ || position - windowStart_ >= windowSize_) {
    window_.Reset();
    const uint32_t start = position & ~(kWindow - 1);
    const uint32_t size = std::min(kWindow, size_ - start);
    window_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, start, size));
    if (!window_) return nullptr;
    windowStart_ = start;
    windowSize_ = size;
  }
  const uint32_t offset = position - windowStart_;
  *got = std::min(most, windowSize_ - offset);
  return static_cast<const uint8_t*>(window_.Get()) + offset;
}

HRESULT DiskFileView::Verify() {
  FileState now;
  if (!ReadState(file_.Get(), &now)) return LastError();
  return now.size == size_ && now.modified == modified_ ? S_OK : HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
}

}  // namespace cairn
