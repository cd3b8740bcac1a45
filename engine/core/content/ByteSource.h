// A content as a caller hands it to the revision store: read through calls, or (Direct) as a
// view of its own in place. The engine adapts IStream to it; tests use memory.
#pragma once

#include <cstdint>

#include "Result.h"

namespace cairn {

class ContentView;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to count bytes from the current position and advances it; *read is what came back
  // (0 at the end). A failure means the content could not be read.
  virtual HRESULT Read(uint8_t* buffer, uint32_t count, uint32_t* read) = 0;
  // Moves to an absolute position (at most the content's size).
  virtual HRESULT Seek(uint32_t position) = 0;
  virtual uint32_t Position() const = 0;
  // The content's size in bytes.
  virtual HRESULT Size(uint32_t* size) = 0;
  // The content read in place, where the source has such a view (it lives as long as the
  // source); null when it must be read through calls.
  virtual ContentView* Direct() { return nullptr; }
  // Whether the content is still what was read from it: a disk file read in place may have been
  // written meanwhile. A failure takes back the revision made from it.
  virtual HRESULT Verify() { return S_OK; }
};

// Where the core reports failures that the engine logs as internal errors (message 108):
// the engine module that met them and a number for the place.
class InternalErrors {
 public:
  virtual ~InternalErrors() = default;
  virtual void Report(const char* module, int line) = 0;
};

}  // namespace cairn
