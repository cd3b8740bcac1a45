// POSIX files and mappings: open, ftruncate, mmap. Used by the host build of the core.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>
#include <string>

#include "PlatformFile.h"

namespace cairn {
namespace {

HRESULT FromErrno(int error) {
  switch (error) {
    case ENOENT: return static_cast<HRESULT>(0x80070002);  // file not found
    case EACCES:
    case EPERM:
    case EROFS: return E_ACCESSDENIED;
    case ENOMEM: return E_OUTOFMEMORY;
    case ENOSPC: return static_cast<HRESULT>(0x80070070);  // disk full
    default: return E_FAIL;
  }
}

class PosixFile final : public PlatformFile {
 public:
  PosixFile(int fd, bool write) : fd_(fd), write_(write) {}
  ~PosixFile() override {
    Unmap();
    for (const auto& view : retired_) munmap(view.first, view.second);
    close(fd_);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  uint64_t Size() const override {
    struct stat st;
    return fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  }

  HRESULT Map(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) override {
    *view = nullptr;
    if (view_ != nullptr || fileSize <= viewOffset) return E_FAIL;
    if (fileSize > Size()) {
      if (!write_) return E_ACCESSDENIED;
      if (ftruncate(fd_, static_cast<off_t>(fileSize)) != 0) return FromErrno(errno);
    }
    size_t length = static_cast<size_t>(fileSize - viewOffset);
    void* base = mmap(nullptr, length, PROT_READ | (write_ ? PROT_WRITE : 0), MAP_SHARED, fd_,
                      static_cast<off_t>(viewOffset));
    if (base == MAP_FAILED) return FromErrno(errno);
    view_ = base;
    length_ = length;
    *view = static_cast<uint8_t*>(base);
    return S_OK;
  }

  HRESULT Reserve(uint64_t fileSize) override {
    if (view_ != nullptr) return E_FAIL;
    const uint64_t old = Size();
    if (fileSize <= old) return S_OK;
    if (!write_) return E_ACCESSDENIED;
    // Takes the blocks for real (glibc writes zeros where the file system cannot allocate).
    const int error = posix_fallocate(fd_, static_cast<off_t>(old), static_cast<off_t>(fileSize - old));
    if (error == 0) return S_OK;
    // Where even the size cannot be put back, the zeros past it are cut back on the next open.
    static_cast<void>(ftruncate(fd_, static_cast<off_t>(old)) == 0);
    return FromErrno(error);
  }

  HRESULT Truncate(uint64_t fileSize) override {
    if (view_ != nullptr) return E_FAIL;
    if (!write_) return E_ACCESSDENIED;
    return ftruncate(fd_, static_cast<off_t>(fileSize)) == 0 ? S_OK : FromErrno(errno);
  }

  HRESULT Flush() override {
    if (view_ != nullptr && msync(view_, length_, MS_SYNC) != 0) return FromErrno(errno);
    return fsync(fd_) == 0 || !write_ ? S_OK : FromErrno(errno);
  }

  void Unmap() override {
    if (view_ != nullptr) munmap(view_, length_);
    view_ = nullptr;
    length_ = 0;
  }

  HRESULT MapAgain(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) override {
    *view = nullptr;
    if (write_ || fileSize > Size()) return E_FAIL;
    void* const old = view_;
    const size_t oldLength = length_;
    view_ = nullptr;
    const HRESULT hr = Map(fileSize, viewOffset, view);
    if (FAILED(hr)) {
      view_ = old;
      length_ = oldLength;
      return hr;
    }
    if (old != nullptr) retired_.emplace_back(old, oldLength);
    return S_OK;
  }

 private:
  int fd_;
  void* view_ = nullptr;
  size_t length_ = 0;
  bool write_;
  std::vector<std::pair<void*, size_t>> retired_;  // a reader's earlier views (see MapAgain)
};

class PosixFiles final : public PlatformFiles {
 public:
  HRESULT Open(const std::string& path, bool create, bool write,
               std::unique_ptr<PlatformFile>* file) override {
    int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | (create ? O_CREAT : 0);
    int fd = open(path.c_str(), flags, 0666);
    if (fd < 0) return FromErrno(errno);
    // One writer at a time, as the Windows share mode has it: an exclusive lock that readers,
    // who take none, never meet.
    if (write && flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const HRESULT hr = errno == EWOULDBLOCK ? kSharingViolation : FromErrno(errno);
      close(fd);
      return hr;
    }
    file->reset(new PosixFile(fd, write));
    return S_OK;
  }

  HRESULT OpenTemporary(std::unique_ptr<PlatformFile>* file) override {
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && *folder != 0 ? folder : "/tmp") + "/cairnXXXXXX";
    const int fd = mkostemp(&name[0], O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    unlink(name.c_str());  // gone from the folder now, from the disk when closed
    file->reset(new PosixFile(fd, true));
    return S_OK;
  }
};

}  // namespace

PlatformFiles& PlatformFiles::Native() {
  static PosixFiles files;
  return files;
}

}  // namespace cairn
