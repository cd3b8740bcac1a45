// The one way the portable core reaches files and memory mappings. There is a Win32
// implementation and a POSIX one; tests wrap them to make chosen calls fail.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Result.h"

namespace cairn {

// An open file that can be mapped into memory as one view.
class PlatformFile {
 public:
  virtual ~PlatformFile() = default;

  // Size of the file in bytes.
  virtual uint64_t Size() const = 0;

  // Maps the first fileSize bytes of the file, growing the file first when it is shorter
  // (the new bytes read as zero), and returns the address of file offset viewOffset.
  // At most one mapping exists at a time; Map fails when one is in place.
  virtual HRESULT Map(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) = 0;

  // Removes the mapping, writing its changes back to the file. Harmless when nothing is mapped.
  virtual void Unmap() = 0;

  // For a reader whose file a writer elsewhere has grown: maps the first fileSize bytes (no more
  // than the file holds) as a new view, keeping the earlier one, whose addresses stay valid
  // until the file is closed. E_NOTIMPL where a file cannot.
  virtual HRESULT MapAgain(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) {
    static_cast<void>(fileSize);
    static_cast<void>(viewOffset);
    *view = nullptr;
    return E_NOTIMPL;
  }

  // Makes the file fileSize bytes long with the disk space of its new part taken, so that writing
  // those bytes through a later mapping cannot find the disk full (a file grown by a mapping may
  // be sparse). Nothing happens when the file is already that long. On failure (a full disk) the
  // file keeps its size. No mapping may be in place.
  virtual HRESULT Reserve(uint64_t fileSize) = 0;

  // Sets the file's end to fileSize, cutting off what lies past it. No mapping may be in place.
  virtual HRESULT Truncate(uint64_t fileSize) = 0;

  // Writes the mapped changes to the disk and waits until the disk has them.
  virtual HRESULT Flush() = 0;
};

// The file system as the core sees it.
class PlatformFiles {
 public:
  virtual ~PlatformFiles() = default;

  // Opens path (UTF-8) for reading, or reading and writing when write is set. One writer at a
  // time: opening for writing fails with kSharingViolation while another opener (in this process
  // or another) has the file open for writing; readers are always let in, beside a writer too.
  // With create a missing file is created empty; otherwise it must exist.
  virtual HRESULT Open(const std::string& path, bool create, bool write,
                       std::unique_ptr<PlatformFile>* file) = 0;

  // Creates an empty file for scratch data in the user's temporary folder, for reading and
  // writing by this opener alone; it is deleted when it is closed.
  virtual HRESULT OpenTemporary(std::unique_ptr<PlatformFile>* file) = 0;

  // The operating system's files.
  static PlatformFiles& Native();
};

}  // namespace cairn
