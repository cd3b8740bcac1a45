// A disk file as the content a revision is made from: copied into a content of its own, or, when
// it is large, read in place through its mapping. Another program may write the file meanwhile:
// a copy is kept only when the file's size and last-write time are the same after it as before
// (and, for a file written within the clock's grain of the copy, a second reading finds the same
// bytes), so that a revision is the file as it was at one moment, and the comparison and the
// store that make it read the same bytes. A file read in place is checked the same way once the
// revision is made (Verify), before anything links to it.
#pragma once

#include <windows.h>

#include <memory>

#include "ArchiveRecords.h"
#include "ContentView.h"
#include "Handle.h"
#include "MappedView.h"
#include "RebuiltContent.h"

namespace cairn {

// What copying a file of 4 GiB or more fails with (ERROR_FILE_TOO_LARGE): contents have 32-bit
// positions, so such a file cannot be archived.
constexpr HRESULT kFileTooLarge = static_cast<HRESULT>(0x800700DF);

// A large file read in place, a window of its read-only mapping at a time: never a whole copy in
// memory beside the previous content, and only a window of it in the process's working set.
class DiskFileView final : public ContentView {
 public:
  // Files this large are read in place; smaller ones cost less copied.
  static constexpr uint64_t kInPlaceSize = 4u << 20;

  uint32_t Size() const override { return size_; }
  // Null when the window cannot be mapped.
  const uint8_t* Run(uint32_t position, uint32_t most, uint32_t* got) override;
  // S_OK while the file's size and last-write time are as they were when it was opened;
  // ERROR_SHARING_VIOLATION, as for a file that never holds still, when it was written.
  HRESULT Verify();

 private:
  static constexpr uint32_t kWindow = 8u << 20;  // a multiple of the mapping granularity
  friend HRESULT OpenDiskFile(const wchar_t*, std::unique_ptr<RebuiltContent>*, std::unique_ptr<DiskFileView>*,
                              StatBlock*);
  DiskFileView() = default;

  Handle file_;
  Handle mapping_;
  MappedView window_;
  uint32_t size_ = 0;
  uint64_t modified_ = 0;
  uint32_t windowStart_ = 0, windowSize_ = 0;
};

// Opens the file at path for reading, with reading and writing shared, and fills *stat from its
// directory entry (size, times, attributes; type 0). A file of at least DiskFileView::kInPlaceSize
// bytes that was not written within the clock's grain of now is read in place (*view); any other
// is copied into *content. A file that changes under every one of a few tries of copying counts
// as locked: ERROR_SHARING_VIOLATION.
HRESULT OpenDiskFile(const wchar_t* path, std::unique_ptr<RebuiltContent>* content, std::unique_ptr<DiskFileView>* view,
                     StatBlock* stat);

}  // namespace cairn
