// cn: takes a snapshot of one or more archives, or lists or restores their snapshots.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ArchiveAccess.h"
#include "CommandLine.h"
#include "ComPtr.h"
#include "cairn.h"

namespace cairn {
namespace cn {
namespace {

constexpr int kFailure = -1;

std::string Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::wstring Wide(const std::string& utf8, UINT codePage = CP_UTF8) {
  int n = MultiByteToWideChar(codePage, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? static_cast<size_t>(n) : 1u, L'\0');
  MultiByteToWideChar(codePage, 0, utf8.c_str(), -1, &out[0], n);
  out.resize(out.size() - 1);
  return out;
}

// Text for the console, which shows the system's code page.
std::string Console(const std::string& utf8) {
  const std::wstring wide = Wide(utf8);
  int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

// A BSTR owned for the scope.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return text_; }

 private:
  BSTR text_;
};

// A one-dimensional safe array of BSTR (lower bound 0), destroyed with its strings.
class BstrArray {
 public:
  explicit BstrArray(const std::vector<std::wstring>& items) {
    array_ = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(items.size()));
    for (LONG i = 0; array_ != nullptr && i < static_cast<LONG>(items.size()); ++i) {
      BSTR item = SysAllocString(items[static_cast<size_t>(i)].c_str());
      SafeArrayPutElement(array_, &i, item);  // copies the string
      SysFreeString(item);
    }
  }
  ~BstrArray() {
    if (array_ != nullptr) SafeArrayDestroy(array_);
  }
  BstrArray(const BstrArray&) = delete;
  BstrArray& operator=(const BstrArray&) = delete;
  SAFEARRAY* Get() const { return array_; }

 private:
  SAFEARRAY* array_;
};

std::vector<std::wstring> AbsolutePaths(const std::vector<std::string>& items) {
  std::vector<std::wstring> paths;
  for (const std::string& item : items) paths.push_back(AbsolutePath(Wide(item)));
  return paths;
}

// Opens an archive as the snapshot run and the listings need it. A missing archive loses its
// scheduled job too. Prints the failure.
bool Open(const std::string& typed, bool create, ComPtr<ICairnArchive>* archive) {
  const std::wstring path = AbsolutePath(Wide(typed));
  if (SUCCEEDED(OpenArchive(path, create, archive))) return true;
  DeleteScheduledJob(path);
  std::fprintf(stderr, "Failed to open/create %s\n", Console(typed).c_str());
  return false;
}

int SnapshotRun(const CommandLine& command) {
  BstrArray adds(AbsolutePaths(command.adds));
  BstrArray deletes(AbsolutePaths(command.deletes));
  Bstr name(Wide(command.snapshotName));
  int result = 0;
  for (const std::string& typed : command.archives) {
    ComPtr<ICairnArchive> archive;
    if (!Open(typed, command.create, &archive)) return kFailure;
    ComPtr<ICairnSnapShot> snapshot;
    HRESULT hr = archive->CreateSnapShot(name.Get(), adds.Get(), deletes.Get(), snapshot.Out());
    if (hr == S_OK) {
      LONG number = 0;
      if (snapshot) snapshot->GetSnapShot(&number);
      if (command.verbose)
        std::printf("%s: Created Snapshot '%s;%ld'\n", Console(typed).c_str(), Console(command.snapshotName).c_str(),
                    static_cast<long>(number));
      result = 1;
    } else if (hr == S_FALSE) {
      if (command.verbose) std::printf("%s: No new snapshot required\n", Console(typed).c_str());
    } else {
      std::fprintf(stderr, "Failed to create snapshot for %s\n", Console(typed).c_str());
      return kFailure;
    }
  }
  return result;
}

// Listing and restoring come with the engine's navigation; until then cn says so plainly.
int ListAndRestore(const CommandLine& command) {
  for (const std::string& typed : command.archives) {
    ComPtr<ICairnArchive> archive;
    if (!Open(typed, command.create, &archive)) return kFailure;
  }
  std::fprintf(stderr, "Listing and restoring snapshots is not available in this version of cn\n");
  return kFailure;
}

}  // namespace
}  // namespace cn
}  // namespace cairn

int wmain(int argc, wchar_t** argv) {
  using namespace cairn::cn;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));

  const HRESULT init = CoInitialize(nullptr);
  CommandLine command;
  if (!ParseCommandLine(args, &command)) {
    std::fputs(UsageText(ProgramName(Utf8(argc > 0 ? argv[0] : L"cn"))).c_str(), stderr);
    if (SUCCEEDED(init)) CoUninitialize();
    return kFailure;
  }
  if (FAILED(init)) {
    std::fprintf(stderr, "Failed to initialize COM (%lx)\n", static_cast<unsigned long>(init));
    return kFailure;
  }
  const int result = command.lists.empty() && command.restores.empty() ? SnapshotRun(command) : ListAndRestore(command);
  CoUninitialize();
  return result;
}
