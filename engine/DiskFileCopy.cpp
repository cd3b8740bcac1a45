#include "DiskFileCopy.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace cairn {
namespace {

constexpr int kTries = 3;
constexpr uint32_t kChunk = 256 * 1024;
// How far apart a write and the last-write time it leaves may be: the coarsest clock of a file
// system (FAT keeps even seconds).
constexpr uint64_t kClockGrain = 2 * 10000000ull;

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

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

bool SameState(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
         Join(a.ftLastWriteTime) == Join(b.ftLastWriteTime);
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

}  // namespace

HRESULT CopyDiskFile(const wchar_t* path, std::unique_ptr<RebuiltContent>* content, StatBlock* stat) {
  if (path == nullptr) return E_INVALIDARG;
  FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError();
  std::vector<uint8_t> buffer;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    BY_HANDLE_FILE_INFORMATION before, after;
    const uint64_t started = Now();
    if (!GetFileInformationByHandle(file.Get(), &before)) return LastError();
    if (before.nFileSizeHigh != 0) return kFileTooLarge;
    const uint32_t size = before.nFileSizeLow;
    std::unique_ptr<RebuiltContent> copy(new (std::nothrow) RebuiltContent());
    if (copy == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = copy->Resize(size);
    if (FAILED(hr)) return hr;
    try {
      buffer.resize(std::min(size, kChunk));
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    hr = ReadWhole(file.Get(), size, buffer, [&](uint32_t at, const uint8_t* bytes, uint32_t n) {
      return SUCCEEDED(copy->Write(at, bytes, n));
    });
    if (FAILED(hr)) return hr;
    if (!GetFileInformationByHandle(file.Get(), &after)) return LastError();
    if (hr != S_OK || !SameState(before, after)) continue;
    // A write in the same tick of the clock as the last one leaves the time as it was: a file
    // written that recently is read once more, and kept only if nothing moved.
    if (Join(before.ftLastWriteTime) + kClockGrain >= started) {
      hr = ReadWhole(file.Get(), size, buffer, [&](uint32_t at, const uint8_t* bytes, uint32_t n) {
        return std::memcmp(copy->Data() + at, bytes, n) == 0;
      });
      if (FAILED(hr)) return hr;
      if (hr != S_OK || !GetFileInformationByHandle(file.Get(), &after) || !SameState(before, after)) continue;
    }
    *stat = StatBlock();
    stat->size = size;
    stat->modified = Join(before.ftLastWriteTime);
    stat->created = Join(before.ftCreationTime);
    stat->accessed = Join(before.ftLastAccessTime);
    stat->attributes = before.dwFileAttributes;
    *content = std::move(copy);
    return S_OK;
  }
  return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
}

}  // namespace cairn
