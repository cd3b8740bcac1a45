// crnbench: what the benchmark needs from Windows besides cn.
//   crnbench options ARCHIVE N     creates or opens ARCHIVE and sets its options word to N
//   crnbench free ARCHIVE          prints the archive's free bytes (its free-space report)
//   crnbench docfile PATH SIZE     writes a compound document of about SIZE bytes: storages of
//                                  streams, half text-like, half random, from a fixed seed
//   crnbench docedit PATH ROUND    changes three streams of that document in place, chosen and
//                                  filled from ROUND, so that every run makes the same changes
//   crnbench desktop               holds a hidden window until it is ended, so that Wine keeps
//                                  its desktop process through the run, as a Windows session
//                                  always has its desktop (without it, every process that makes
//                                  a window, and so every single-threaded apartment, starts
//                                  Wine's desktop process anew)
// Exit code 0 on success, 1 on failure (with a message on stderr).
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "cairn.h"

using cairn::ComPtr;

namespace {

constexpr int kStorages = 4;
constexpr int kStreamsPerStorage = 16;
constexpr int kStreams = kStorages * kStreamsPerStorage;
constexpr int kChangedPerRound = 3;
constexpr uint32_t kEditSize = 4096;

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "crnbench: %s failed (%08lx)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

// A small deterministic generator (xorshift64*), the same on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }

 private:
  uint64_t state_;
};

// Text-like bytes (words of a small vocabulary with spaces and line ends) or random bytes.
std::vector<uint8_t> Fill(uint64_t seed, uint32_t size, bool text) {
  static const char* const kWords[] = {"archive", "snapshot", "revision", "folder", "stream", "the",
                                       "of", "and", "record", "content", "change", "older", "newest",
                                       "history", "difference", "a", "to", "is", "file", "document"};
  Random random(seed);
  std::vector<uint8_t> bytes;
  bytes.reserve(size + 16);
  while (bytes.size() < size) {
    if (text) {
      const char* word = kWords[random.Below(sizeof kWords / sizeof kWords[0])];
      bytes.insert(bytes.end(), word, word + std::strlen(word));
      bytes.push_back(random.Below(12) == 0 ? '\n' : ' ');
    } else {
      const uint64_t v = random.Next();
      for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
  }
  bytes.resize(size);
  return bytes;
}

std::wstring StorageName(int s) { return L"Part" + std::to_wstring(s); }
std::wstring StreamName(int i) { return L"Stream" + std::to_wstring(i); }

HRESULT WriteStream(IStorage* storage, const std::wstring& name, const std::vector<uint8_t>& bytes) {
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                     stream.Out());
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  return stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
}

int MakeDocfile(const wchar_t* path, uint32_t size) {
  ComPtr<IStorage> root;
  HRESULT hr = StgCreateDocfile(path, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, root.Out());
  if (FAILED(hr)) return Fail("StgCreateDocfile", hr);
  const uint32_t each = size / kStreams;
  for (int s = 0; s < kStorages; ++s) {
    ComPtr<IStorage> part;
    hr = root->CreateStorage(StorageName(s).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                             part.Out());
    if (FAILED(hr)) return Fail("CreateStorage", hr);
    for (int i = 0; i < kStreamsPerStorage; ++i) {
      const int n = s * kStreamsPerStorage + i;
      hr = WriteStream(part.Get(), StreamName(i), Fill(1000 + n, each, n % 2 == 0));
      if (FAILED(hr)) return Fail("writing a stream", hr);
    }
  }
  return 0;
}

int EditDocfile(const wchar_t* path, uint32_t round) {
  ComPtr<IStorage> root;
  HRESULT hr = StgOpenStorage(path, nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, root.Out());
  if (FAILED(hr)) return Fail("StgOpenStorage", hr);
  Random random(500 + round);
  for (int k = 0; k < kChangedPerRound; ++k) {
    const int n = static_cast<int>((round * 7 + static_cast<uint32_t>(k) * 23) % kStreams);
    ComPtr<IStorage> part;
    ComPtr<IStream> stream;
    hr = root->OpenStorage(StorageName(n / kStreamsPerStorage).c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                           nullptr, 0, part.Out());
    if (SUCCEEDED(hr))
      hr = part->OpenStream(StreamName(n % kStreamsPerStorage).c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                            0, stream.Out());
    if (FAILED(hr)) return Fail("opening a stream", hr);
    STATSTG stat = {};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr) || stat.cbSize.QuadPart <= kEditSize) return Fail("Stat", hr);
    LARGE_INTEGER at;
    at.QuadPart = random.Below(static_cast<uint32_t>(stat.cbSize.QuadPart - kEditSize));
    const std::vector<uint8_t> bytes = Fill(9000 + round * 31 + k, kEditSize, n % 2 == 0);
    ULONG written = 0;
    hr = stream->Seek(at, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = stream->Write(bytes.data(), kEditSize, &written);
    if (FAILED(hr)) return Fail("changing a stream", hr);
  }
  return 0;
}

int WithArchive(const wchar_t* path, bool create, ComPtr<ICairnArchiveAdmin>* admin) {
  ComPtr<IPersistFile> file;
  HRESULT hr = CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid());
  if (FAILED(hr)) return Fail("creating CairnArchive", hr);
  hr = file->Load(path, (create ? STGM_CREATE : 0) | STGM_READWRITE);
  if (FAILED(hr)) return Fail("Load", hr);
  hr = file.As(admin);
  return FAILED(hr) ? Fail("ICairnArchiveAdmin", hr) : 0;
}

int HoldDesktop() {
  HWND window = CreateWindowExW(0, L"STATIC", L"crnbench", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) return Fail("CreateWindowEx", HRESULT_FROM_WIN32(GetLastError()));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

int Run(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"desktop") return HoldDesktop();
  if (argc != 4 && argc != 3) return Fail("usage: crnbench options|free|docfile|docedit|desktop ...", E_INVALIDARG);
  const std::wstring command = argv[1];
  if (command == L"docfile" && argc == 4) return MakeDocfile(argv[2], static_cast<uint32_t>(_wtoi(argv[3])));
  if (command == L"docedit" && argc == 4) return EditDocfile(argv[2], static_cast<uint32_t>(_wtoi(argv[3])));
  ComPtr<ICairnArchiveAdmin> admin;
  if (command == L"options" && argc == 4) {
    if (WithArchive(argv[2], true, &admin) != 0) return 1;
    HRESULT hr = admin->SetOptions(_wtoi(argv[3]));
    return FAILED(hr) ? Fail("SetOptions", hr) : 0;
  }
  if (command == L"free" && argc == 3) {
    if (WithArchive(argv[2], false, &admin) != 0) return 1;
    LONG free = 0, largest = 0, smallest = 0, segments = 0;
    HRESULT hr = admin->GetArchiveDetails(&free, &largest, &smallest, &segments);
    if (FAILED(hr)) return Fail("GetArchiveDetails", hr);
    std::printf("%ld %ld\n", static_cast<long>(free), static_cast<long>(segments));
    return 0;
  }
  return Fail("usage: crnbench options|free|docfile|docedit|desktop ...", E_INVALIDARG);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitialize(nullptr))) return Fail("CoInitialize", E_FAIL);
  const int result = Run(argc, argv);
  CoUninitialize();
  return result;
}
