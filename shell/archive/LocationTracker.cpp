#include "LocationTracker.h"

#include "AnsiText.h"
#include "ItemNames.h"

namespace cairn {
namespace shell {
namespace {

// A shell link object; on a thread without COM (or before the class is known there) COM is
// started for the caller's operation and ended with it.
class ShellLink {
 public:
  ShellLink() {
    HRESULT hr = Create();
    if (hr == CO_E_NOTINITIALIZED || hr == REGDB_E_CLASSNOTREG) {
      started_ = SUCCEEDED(CoInitialize(nullptr));
      Create();
    }
  }
  ~ShellLink() {
    link_.Reset();
    if (started_) CoUninitialize();
  }
  ShellLink(const ShellLink&) = delete;
  ShellLink& operator=(const ShellLink&) = delete;
  IShellLinkA* operator->() const { return link_.Get(); }
  explicit operator bool() const { return static_cast<bool>(link_); }
  ComPtr<IPersistStream> Persist() const {
    ComPtr<IPersistStream> persist;
    link_.As(&persist);
    return persist;
  }

 private:
  HRESULT Create() {
    return CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link_.OutVoid());
  }
  ComPtr<IShellLinkA> link_;
  bool started_ = false;
};

}  // namespace

void LocationTracker::Record(const std::string& path) {
  if (!admin_) return;
  ShellLink link;
  if (!link || FAILED(link->SetPath(path.c_str()))) return;
  ComPtr<IPersistStream> persist = link.Persist();
  const Bstr name = AnsiBstr(std::string(PathFileName(path)));
  ComPtr<IStream> stream;
  if (persist && SUCCEEDED(admin_->GetStream(name.Get(), stream.Out())) && stream &&
      SUCCEEDED(persist->Save(stream.Get(), TRUE)))
    admin_->CommitStream(name.Get(), stream.Get());
}

std::string LocationTracker::Resolve(const std::string& path) {
  if (!admin_) return std::string();
  std::string found;
  {
    ShellLink link;
    if (!link) return std::string();
    ComPtr<IPersistStream> persist = link.Persist();
    const Bstr name = AnsiBstr(std::string(PathFileName(path)));
    ComPtr<IStream> stream;
    // A stream that holds no link (a name never recorded) leaves the link made from the path.
    const bool loaded = persist && SUCCEEDED(admin_->GetStream(name.Get(), stream.Out())) && stream &&
                        SUCCEEDED(persist->Load(stream.Get()));
    if (!loaded && FAILED(link->SetPath(path.c_str()))) return std::string();
    char resolved[MAX_PATH] = {};
    if (link->Resolve(owner_, SLR_ANY_MATCH) != S_OK ||
        FAILED(link->GetPath(resolved, MAX_PATH, nullptr, 0)) || resolved[0] == 0)
      return std::string();
    found = resolved;
  }
  Record(found);
  return found;
}

}  // namespace shell
}  // namespace cairn
