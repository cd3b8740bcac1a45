// What an engine Stream offers the revision store besides IStream: its content read in place
// (a copy in memory, a rebuilt content, a large disk file through its mapping), so that the
// difference pass compares and searches it where it lies, and whether a disk file read in place
// is still what was read from it.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "ContentView.h"

namespace cairn {

MIDL_INTERFACE("5a0f8d52-3f55-4d8a-9b8e-0e2a6c41d7b3")
IStreamContent : public IUnknown {
  // The content in place, prepared first; it lives as long as the stream. Null when the stream
  // has no such view (it is then read through IStream) or cannot be prepared.
  virtual ContentView* STDMETHODCALLTYPE View() = 0;
  // S_OK when the content is still what was read; a failure when the disk file behind it was
  // written meanwhile.
  virtual HRESULT STDMETHODCALLTYPE Verify() = 0;
};

}  // namespace cairn

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(cairn::IStreamContent, 0x5a0f8d52, 0x3f55, 0x4d8a, 0x9b, 0x8e, 0x0e, 0x2a, 0x6c, 0x41, 0xd7, 0xb3)
#endif
