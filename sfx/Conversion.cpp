#include "Conversion.h"

#include "Handle.h"
#include "SelfExtracting.h"

namespace cairn {
namespace sfx {
namespace {

constexpr DWORD kBlock = 4096;
constexpr ULONGLONG kWhole = ~0ull;

// True when text (of length n) ends in the three lower-case ASCII letters of ending, in any case.
// Setting bit 0x20 maps exactly the upper-case ASCII letters onto the lower-case ones.
bool EndsWith(const wchar_t* text, int n, const char* ending) {
  for (int i = 0; i < 3; ++i)
    if ((text[n - 3 + i] | 0x20) != ending[i]) return false;
  return true;
}

Handle OpenForReading(const wchar_t* path) {
  return Handle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

Handle CreateForWriting(const wchar_t* path) {
  return Handle(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteAll(HANDLE to, const void* bytes, DWORD length) {
  DWORD written = 0;
  return WriteFile(to, bytes, length, &written, nullptr) && written == length;
}

// Copies from the current position of from to its end, or until limit bytes are copied, in
// blocks of kBlock bytes, and adds what was written to *count. False on a failed read or a failed
// or short write.
bool Copy(HANDLE from, HANDLE to, ULONGLONG limit, ULONGLONG* count) {
  BYTE buffer[kBlock];
  for (ULONGLONG copied = 0; copied < limit;) {
    const ULONGLONG left = limit - copied;
    DWORD read = 0;
    if (!ReadFile(from, buffer, left < kBlock ? static_cast<DWORD>(left) : kBlock, &read, nullptr)) return false;
    if (read == 0) return true;
    if (!WriteAll(to, buffer, read)) return false;
    copied += read;
    *count += read;
  }
  return true;
}

// The path with its last four characters replaced by extension (".exe" or ".crn").
bool Renamed(const wchar_t* path, int n, const wchar_t* extension, wchar_t (&out)[MAX_PATH]) {
  if (n >= MAX_PATH) return false;
  lstrcpyW(out, path);
  lstrcpyW(out + n - 4, extension);
  return true;
}

// The launcher's file up to kArchiveOffset, filler, then the plain archive.
Conversion MakeSelfExtracting(const wchar_t* archive, int n, const wchar_t* launcher) {
  wchar_t output[MAX_PATH];
  if (launcher == nullptr || *launcher == 0 || !Renamed(archive, n, L".exe", output)) return Conversion::kFailed;
  Handle self = OpenForReading(launcher);
  if (!self) return Conversion::kFailed;
  Handle out = CreateForWriting(output);
  if (!out) return Conversion::kFailed;

  // A launcher that is itself a self-extracting archive contributes only its front part: its own
  // archive must not end up where the new one belongs.
  ULONGLONG count = 0;
  bool ok = Copy(self.Get(), out.Get(), kArchiveOffset, &count);
  static const BYTE filler[kBlock] = {};
  while (ok && count < kArchiveOffset) {
    const DWORD length = kArchiveOffset - count < kBlock ? static_cast<DWORD>(kArchiveOffset - count) : kBlock;
    ok = WriteAll(out.Get(), filler, length);
    count += length;
  }
  if (ok) {
    Handle source = OpenForReading(archive);
    ok = source && Copy(source.Get(), out.Get(), kWhole, &count);
  }
  out.Reset();
  if (!ok) {
    DeleteFileW(output);
    return Conversion::kFailed;
  }
  return DeleteFileW(archive) ? Conversion::kDone : Conversion::kArchiveKept;
}

// Everything from kArchiveOffset on.
Conversion MakePlain(const wchar_t* selfExtracting, int n) {
  wchar_t output[MAX_PATH];
  if (!Renamed(selfExtracting, n, L".crn", output) || !IsSelfExtractingFile(selfExtracting))
    return Conversion::kFailed;
  Handle source = OpenForReading(selfExtracting);
  LARGE_INTEGER size, at;
  at.QuadPart = kArchiveOffset;
  // A file that ends at or before the offset holds no archive; seeking past its end would
  // "succeed" and turn it into an empty one.
  if (!source || !GetFileSizeEx(source.Get(), &size) || size.QuadPart <= kArchiveOffset) return Conversion::kFailed;
  Handle out = CreateForWriting(output);
  if (!out) return Conversion::kFailed;

  ULONGLONG count = 0;
  bool ok = SetFilePointerEx(source.Get(), at, &at, FILE_BEGIN) && at.QuadPart == kArchiveOffset &&
            Copy(source.Get(), out.Get(), kWhole, &count);
  source.Reset();
  out.Reset();
  if (!ok) {
    DeleteFileW(output);
    return Conversion::kFailed;
  }
  DeleteFileW(selfExtracting);  // one that is open stays; the plain archive is complete either way
  return Conversion::kDone;
}

}  // namespace

Conversion Convert(const wchar_t* path, const wchar_t* launcher) {
  const int n = lstrlenW(path);
  if (n < 5) return Conversion::kNothing;
  if (EndsWith(path, n, "crn")) return MakeSelfExtracting(path, n, launcher);
  if (EndsWith(path, n, "exe")) return MakePlain(path, n);
  return Conversion::kNothing;
}

}  // namespace sfx
}  // namespace cairn
