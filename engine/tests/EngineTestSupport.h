// Helpers of the engine's tests: archives made record by record and loaded through the engine,
// and small conversions.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "ArchiveHeap.h"
#include "Bstr.h"
#include "ComPtr.h"
#include "EngineFixture.h"
#include "HResultAssert.h"
#include "SampleArchive.h"
#include "TempDir.h"
#include "cairn.h"

namespace cairn {
namespace testing {

// Loads the archive at path through the engine, read-write.
inline ComPtr<ICairnArchive> LoadArchive(const std::string& path, DWORD mode = STGM_CREATE | STGM_READWRITE) {
  ComPtr<IPersistFile> file;
  ComPtr<ICairnArchive> archive;
  HRESULT hr = CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid());
  EXPECT_EQ(hr, S_OK) << std::hex << hr;
  if (FAILED(hr)) return archive;
  hr = file->Load(Wide(path).c_str(), mode);
  EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
  file.As(&archive);
  return archive;
}

// Reads a whole stream from its current position.
inline std::vector<uint8_t> ReadAll(IStream* stream) {
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  ULONG n = 0;
  while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &n)) && n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  return bytes;
}

inline HRESULT WriteAll(IStream* stream, const std::vector<uint8_t>& bytes) {
  ULONG n = 0;
  return stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &n);
}

// The object's name, or the error.
inline std::wstring NameOf(ICairnObject* object) {
  Bstr name;
  HRESULT hr = object->GetName(name.Out());
  return SUCCEEDED(hr) ? name.Text() : L"<error>";
}

}  // namespace testing
}  // namespace cairn
