// Win32 files and mappings: CreateFile, CreateFileMapping, MapViewOfFile.
#include <windows.h>

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

  HRESULT Flush() override {
    if (view_ && !FlushViewOfFile(view_.Get(), 0)) return LastError();
    return FlushFileBuffers(file_.Get()) || !write_ ? S_OK : LastError();
  }

  void Unmap() override {
    view_.Reset();
    mapping_.Reset();
  }

 private:
  // Declared in the order they are made, so that they go view, mapping, file.
  Handle file_;
  Handle mapping_;
  MappedView view_;
  bool write_;
};

class Win32Files final : public PlatformFiles {
 public:
  HRESULT Open(const std::string& path, bool create, bool write,
               std::unique_ptr<PlatformFile>* file) override {
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0),
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    file->reset(new Win32File(h, write));
    return S_OK;
  }
};

}  // namespace

PlatformFiles& PlatformFiles::Native() {
  static Win32Files files;
  return files;
}

}  // namespace cairn
