// Win32 files and mappings: CreateFile, CreateFileMapping, MapViewOfFile.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "Handle.h"
#include "MappedView.h"
#include "PlatformFile.h"

namespace cairn {
namespace {

HRESULT LastError() {
  DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return wide;
}

class Win32File final : public PlatformFile {
 public:
  Win32File(HANDLE file, bool write) : file_(file), write_(write) {}

  uint64_t Size() const override {
    LARGE_INTEGER size;
    return GetFileSizeEx(file_.Get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }

  HRESULT Map(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) override {
    *view = nullptr;
    if (mapping_ || fileSize <= viewOffset) return E_FAIL;
    if (static_cast<uint64_t>(static_cast<SIZE_T>(fileSize - viewOffset)) != fileSize - viewOffset)
      return E_OUTOFMEMORY;
    // A read-write mapping larger than the file extends the file.
    mapping_.Reset(CreateFileMappingW(file_.Get(), nullptr, write_ ? PAGE_READWRITE : PAGE_READONLY,
                                      static_cast<DWORD>(fileSize >> 32), static_cast<DWORD>(fileSize),
                                      nullptr));
    if (!mapping_) return LastError();
    void* base = MapViewOfFile(mapping_.Get(), write_ ? FILE_MAP_WRITE : FILE_MAP_READ,
                               static_cast<DWORD>(viewOffset >> 32), static_cast<DWORD>(viewOffset),
                               static_cast<SIZE_T>(fileSize - viewOffset));
    if (base == nullptr) {
      HRESULT hr = LastError();
      mapping_.Reset();
      return hr;
    }
    view_.Reset(base);
    *view = static_cast<uint8_t*>(base);
    return S_OK;
  }

  HRESULT Reserve(uint64_t fileSize) override {
    if (mapping_) return E_FAIL;
    const uint64_t old = Size();
    if (fileSize <= old) return S_OK;
    if (!write_) return E_ACCESSDENIED;
    FILE_ALLOCATION_INFO allocation;
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(fileSize);
    HRESULT hr = S_OK;
    if (SetFileInformationByHandle(file_.Get(), FileAllocationInfo, &allocation, sizeof allocation)) {
      hr = SetEnd(fileSize);
    } else {
      const DWORD error = GetLastError();
      if (error != ERROR_CALL_NOT_IMPLEMENTED && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION &&
          error != ERROR_INVALID_PARAMETER)
        return HRESULT_FROM_WIN32(error);
      hr = error == ERROR_CALL_NOT_IMPLEMENTED ? ReserveUnderWine(old, fileSize) : WriteZeros(old, fileSize);
    }
    // Where even the size cannot be put back, the zeros past it are cut back on the next open.
    if (FAILED(hr)) SetEnd(old);
    return hr;
  }

  HRESULT Truncate(uint64_t fileSize) override {
    if (mapping_) return E_FAIL;
    if (!write_) return E_ACCESSDENIED;
    return SetEnd(fileSize);
  }

  HRESULT Flush() override {
    if (view_ && !FlushViewOfFile(view_.Get(), 0)) return LastError();
    return FlushFileBuffers(file_.Get()) || !write_ ? S_OK : LastError();
  }

  void Unmap() override {
    view_.Reset();
    mapping_.Reset();
  }

  HRESULT MapAgain(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) override {
    *view = nullptr;
    if (write_ || fileSize > Size()) return E_FAIL;
    Handle mapping(std::move(mapping_));
    MappedView old(std::move(view_));
    const HRESULT hr = Map(fileSize, viewOffset, view);
    if (FAILED(hr)) {
      mapping_ = std::move(mapping);
      view_ = std::move(old);
      return hr;
    }
    retired_.emplace_back(std::move(mapping), std::move(old));
    return S_OK;
  }

 private:
  HRESULT SetEnd(uint64_t fileSize) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(fileSize);
    return SetFilePointerEx(file_.Get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file_.Get()) ? S_OK : LastError();
  }

  // Wine answers the allocation call with ERROR_CALL_NOT_IMPLEMENTED, and there a file grown by
  // its mapping is sparse. Its valid data length call allocates the blocks for real (as zeros,
  // refusing a full disk); where that is refused for another reason, the new part's zeros are
  // written through the handle. (On Windows itself that call would expose old disk contents, so
  // it is only made where the allocation call is missing.)
  HRESULT ReserveUnderWine(uint64_t old, uint64_t fileSize) {
    HRESULT hr = SetEnd(fileSize);
    if (FAILED(hr)) return hr;
    if (SetFileValidData(file_.Get(), static_cast<LONGLONG>(fileSize))) return S_OK;
    const DWORD error = GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return HRESULT_FROM_WIN32(error);
    return WriteZeros(old, fileSize);
  }

  HRESULT WriteZeros(uint64_t from, uint64_t to) {
    static const DWORD kPiece = 1 << 20;
    const std::vector<uint8_t> zeros(static_cast<size_t>(std::min<uint64_t>(to - from, kPiece)));
    for (uint64_t at = from; at < to;) {
      OVERLAPPED where = {};
      where.Offset = static_cast<DWORD>(at);
      where.OffsetHigh = static_cast<DWORD>(at >> 32);
      const DWORD n = static_cast<DWORD>(std::min<uint64_t>(to - at, zeros.size()));
      DWORD written = 0;
      if (!WriteFile(file_.Get(), zeros.data(), n, &written, &where)) return LastError();
      if (written != n) return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      at += n;
    }
    return S_OK;
  }

  // Declared in the order they are made, so that they go view, mapping, file.
  Handle file_;
  Handle mapping_;
  MappedView view_;
  bool write_;
  // A reader's earlier mappings and views (see MapAgain), which go first.
  std::vector<std::pair<Handle, MappedView>> retired_;
};

class Win32Files final : public PlatformFiles {
 public:
  HRESULT Open(const std::string& path, bool create, bool write,
               std::unique_ptr<PlatformFile>* file) override {
    // A writer lets others read only; a reader lets a writer in beside it.
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0),
                           FILE_SHARE_READ | (write ? 0 : FILE_SHARE_WRITE), nullptr,
                           create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    file->reset(new Win32File(h, write));
    return S_OK;
  }

  HRESULT OpenTemporary(std::unique_ptr<PlatformFile>* file) override {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"str", 0, name) == 0) return LastError();
    HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const HRESULT hr = LastError();
      DeleteFileW(name);  // GetTempFileName made it
      return hr;
    }
    file->reset(new Win32File(h, true));
    return S_OK;
  }
};

}  // namespace

PlatformFiles& PlatformFiles::Native() {
  static Win32Files files;
  return files;
}

}  // namespace cairn
