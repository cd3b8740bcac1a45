// historybench: the History page's lookup on many archives of many snapshots.
//   historybench make FOLDER ARCHIVES SNAPSHOTS  makes FOLDER\data (data\tick.txt changes in every
//       snapshot, data\sub\doc.txt in every hundredth) and ARCHIVES archives of SNAPSHOTS snapshots
//       of it, h0.crn made by the engine and the others copied from it.
//   historybench time PATH ARCHIVE...  times the lookup the page fills its list with, twice in this
//       process: "first <ms> second <ms> rows <n>".
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Bstr.h"
#include "ComPtr.h"
#include "HistoryLookup.h"
#include "SafeArray.h"
#include "cairn.h"

using namespace cairn;

namespace {

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "historybench: %s failed (%#lx)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

bool WriteText(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool done = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
  CloseHandle(file);
  return done;
}

int Make(const std::wstring& folder, int archives, int snapshots) {
  const std::wstring data = folder + L"\\data", archive = folder + L"\\h0.crn";
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW(data.c_str(), nullptr);
  CreateDirectoryW((data + L"\\sub").c_str(), nullptr);
  DeleteFileW(archive.c_str());
  ComPtr<IPersistFile> file;
  ComPtr<ICairnArchiveAdmin> admin;
  ComPtr<ICairnArchive> engine;
  HRESULT hr = CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid());
  if (SUCCEEDED(hr)) hr = file->Load(archive.c_str(), STGM_CREATE | STGM_READWRITE);
  if (SUCCEEDED(hr)) hr = file.As(&admin);
  // Compressed, without the progress window.
  if (SUCCEEDED(hr)) hr = admin->SetOptions(0x1);
  if (SUCCEEDED(hr)) hr = file.As(&engine);
  if (FAILED(hr)) return Fail("opening the archive", hr);
  const SafeArray adds = BstrArray({data}), none = BstrArray({});
  const Bstr name(L"Snapshot");
  for (int i = 0; i < snapshots; ++i) {
    if (!WriteText(data + L"\\tick.txt", "tick " + std::to_string(i)) ||
        (i % 100 == 0 && !WriteText(data + L"\\sub\\doc.txt", "doc " + std::to_string(i / 100))))
      return Fail("writing the data", E_FAIL);
    ComPtr<ICairnSnapShot> snapshot;
    hr = engine->CreateSnapShot(name.Get(), i == 0 ? adds.Get() : none.Get(), none.Get(), snapshot.Out());
    if (hr != S_OK) return Fail("CreateSnapShot", hr);
  }
  engine.Reset();
  admin.Reset();
  file.Reset();
  for (int i = 1; i < archives; ++i)
    if (!CopyFileW(archive.c_str(), (folder + L"\\h" + std::to_wstring(i) + L".crn").c_str(), FALSE))
      return Fail("copying the archive", HRESULT_FROM_WIN32(GetLastError()));
  return 0;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Time(const std::wstring& path, const std::vector<std::wstring>& archives) {
  double times[2] = {};
  size_t rows = 0;
  for (double& time : times) {
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    rows = shell::FindHistory(path, archives).size();
    QueryPerformanceCounter(&to);
    time = Milliseconds(from, to);
  }
  std::printf("first %.1f second %.1f rows %zu\n", times[0], times[1], rows);
  return 0;
}

int Run(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"make" && argc == 5) return Make(argv[2], _wtoi(argv[3]), _wtoi(argv[4]));
  if (command == L"time" && argc >= 4) return Time(argv[2], std::vector<std::wstring>(argv + 3, argv + argc));
  return Fail("usage: historybench make FOLDER ARCHIVES SNAPSHOTS | time PATH ARCHIVE...", E_INVALIDARG);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitialize(nullptr))) return Fail("CoInitialize", E_FAIL);
  const int result = Run(argc, argv);
  CoUninitialize();
  return result;
}
