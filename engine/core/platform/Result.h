// Result codes of the portable core. The core speaks HRESULT like the rest of the engine, but
// must compile without <windows.h>: on Windows it takes the codes from <winerror.h>, elsewhere it
// defines the few it uses with the same values.
#pragma once

#include <cstdint>

#ifndef _HRESULT_DEFINED
#define _HRESULT_DEFINED
#ifdef _WIN32
typedef long HRESULT;
#else
typedef int32_t HRESULT;
#endif
#endif

#ifdef _WIN32
#include <winerror.h>
#else
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_ACCESSDENIED ((HRESULT)0x80070005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#endif

namespace cairn {

// The archive was written by a newer version of the format (version word 12 to 127). The engine
// shows its newer-version message for this and reports E_FAIL to its caller.
constexpr HRESULT kNewerVersion = static_cast<HRESULT>(0x80040201);
// The file is not an archive this version can read: too short for a header, or a version word
// that is neither this format's nor a newer one's. The engine reports this as E_ACCESSDENIED.
constexpr HRESULT kNotAnArchive = static_cast<HRESULT>(0x80040204);
// A link, length or string read from the archive points outside it, or a list does not end.
constexpr HRESULT kCorruptArchive = static_cast<HRESULT>(0x80040202);
// The archive file is open for writing elsewhere (HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)):
// one writer at a time.
constexpr HRESULT kSharingViolation = static_cast<HRESULT>(0x80070020);
// The archive was closed after a failed growth left it unmapped; nothing more can be done with it.
constexpr HRESULT kArchiveClosed = static_cast<HRESULT>(0x80040203);

// An operation needed more room than an archive can have: its 32-bit offsets end at 4 GiB. The
// archive stays as it was before the operation.
constexpr HRESULT kArchiveFull = static_cast<HRESULT>(0x80040205);

}  // namespace cairn
