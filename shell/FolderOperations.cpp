// The folder's archive operations for the extension's other objects: snapshots from add and
// delete lists, deleting, opening a read-only copy, the log, comments and revision lists.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "CairnFolder.h"
#include "FileSystem.h"
#include "ItemNames.h"
#include "LocationTracker.h"
#include "RestoreNames.h"
#include "ShellText.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

constexpr size_t kMaxComment = 4096;
constexpr DWORD kLogPiece = 4096;
// The log file is opened by another program: it is deleted after this long.
constexpr DWORD kLogOpenWaitMs = 1000;

// A one-dimensional SAFEARRAY of BSTRs, destroyed with its strings.
class StringArray {
 public:
  explicit StringArray(const std::vector<std::string>& texts) {
    array_ = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    for (LONG i = 0; array_ != nullptr && i < static_cast<LONG>(texts.size()); ++i) {
      BSTR text = AnsiToBstr(texts[static_cast<size_t>(i)]);
      SafeArrayPutElement(array_, &i, text);  // the array keeps its own copy
      SysFreeString(text);
    }
  }
  ~StringArray() {
    if (array_ != nullptr) SafeArrayDestroy(array_);
  }
  StringArray(const StringArray&) = delete;
  StringArray& operator=(const StringArray&) = delete;
  SAFEARRAY* Get() const { return array_; }

 private:
  SAFEARRAY* array_ = nullptr;
};

std::vector<std::string> Strings(SAFEARRAY* array) {
  std::vector<std::string> texts;
  LONG low = 0, high = -1;
  if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &low)) ||
      FAILED(SafeArrayGetUBound(array, 1, &high)))
    return texts;
  for (LONG i = low; i <= high; ++i) {
    BSTR text = nullptr;
    if (SUCCEEDED(SafeArrayGetElement(array, &i, &text)) && text != nullptr) texts.push_back(ToAnsi(text));
    SysFreeString(text);
  }
  return texts;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string TempFolder() {
  char path[MAX_PATH];
  const DWORD n = GetTempPathA(MAX_PATH, path);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

}  // namespace

bool CCairnFolder::CreateSnapshotFromLists(SAFEARRAY* add, SAFEARRAY* remove, HWND owner) {
  ComPtr<ICairnArchive> archive = GetArchive(archivePath_);
  if (!archive) return false;
  ComPtr<ICairnSnapShot> latest = LatestSnapshot(archive.Get());
  const Bstr snapshotName = AnsiBstr(ShellString(IDS_SNAPSHOT_NAME));
  ComPtr<ICairnArchiveAdmin> admin;
  archive.As(&admin);
  LocationTracker tracker(admin.Get(), owner);

  std::vector<std::string> added = Strings(add);
  for (const std::string& path : added) tracker.Record(path);
  ComPtr<IEnumCairnObjects> objects;
  if (latest && SUCCEEDED(latest->EnumCairnObjects(0, objects.Out())) && objects) {
    ComPtr<ICairnObject> object;
    while (objects->Next(0, object.Out()) == S_OK && object) {
      const std::string name = ObjectName(object.Get());
      if (name.empty() || Exists(name)) continue;
      // A link that resolves to nothing new (the platform may answer with the old path) adds
      // nothing: a path that does not exist would fail the snapshot.
      const std::string moved = tracker.Resolve(name);
      if (!moved.empty() && moved != name && Exists(moved)) added.push_back(moved);
    }
  }
  const StringArray addList(added);
  const StringArray removeList(Strings(remove));
  if (addList.Get() == nullptr || removeList.Get() == nullptr) return false;
  ComPtr<ICairnSnapShot> created;
  return SUCCEEDED(archive->CreateSnapShot(snapshotName.Get(), addList.Get(), removeList.Get(), created.Out()));
}

bool CCairnFolder::AddDroppedFiles(HDROP drop, HWND owner) {
  const UINT count = drop != nullptr ? DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) : 0;
  if (count == 0) return false;
  std::vector<std::string> paths;
  for (UINT i = 0; i < count; ++i) {
    char path[MAX_PATH] = {};
    if (DragQueryFileA(drop, i, path, MAX_PATH) > 0) paths.push_back(path);
  }
  // Some platforms count an empty drop list as one empty name.
  if (paths.empty()) return false;
  const StringArray add(paths), none(std::vector<std::string>{});
  return CreateSnapshotFromLists(add.Get(), none.Get(), owner);
}

bool CCairnFolder::DeleteItems(const Item* items, size_t count, HWND owner) {
  if (items == nullptr || count == 0) return false;
  if (!AtRoot()) {
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) names.emplace_back(items[i].name);
    const StringArray none(std::vector<std::string>{}), remove(names);
    return CreateSnapshotFromLists(none.Get(), remove.Get(), owner);
  }
  ComPtr<ICairnArchive> archive = GetArchive(archivePath_);
  if (!archive) return false;
  bool deleted = false;
  for (size_t i = 0; i < count; ++i) {
    ComPtr<ICairnSnapShot> snapshot = SnapshotByName(archive.Get(), std::string(items[i].name));
    const Bstr name = AnsiBstr(SnapshotName(snapshot.Get()));
    deleted = snapshot && SUCCEEDED(archive->DeleteSnapShot(name.Get()));
  }
  return deleted;
}

bool CCairnFolder::DisplayItem(HWND owner, const Item& item) {
  ComPtr<ICairnObject> object = FindObject(item);
  ComPtr<ICairnRevision> revision = LatestRevision(object.Get());
  long number = 0;
  if (!revision || FAILED(revision->GetRevision(&number))) return false;
  // The copy is named after the stored name's last component, which must stay a plain name in
  // the temporary folder.
  const std::wstring fileName = LastComponent(FromAnsi(ObjectName(object.Get())));
  const std::string folder = TempFolder();
  if (folder.empty() || !IsSafeFileName(fileName)) return false;
  const std::string copy = RevisionCopyName(ToAnsi(fileName.c_str()), number);
  if (!IsSafeFileName(FromAnsi(copy))) return false;
  const std::string path = folder + copy;

  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
  if (!ExtractObject(object.Get(), path, true, true, true, false)) return false;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(owner, nullptr, path.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
  return result > 32;
}

void CCairnFolder::ShowArchiveLog(HWND owner) {
  ComPtr<ICairnArchive> archive = GetArchive(archivePath_);
  ComPtr<ICairnArchiveAdmin> admin;
  char name[MAX_PATH] = {};
  const std::string folder = TempFolder();
  if (!archive || FAILED(archive.As(&admin)) || folder.empty() || GetTempFileNameA(folder.c_str(), "Log", 1, name) == 0)
    return;
  std::string path = name;
  const std::string extension = ItemExtension(path);
  path = path.substr(0, path.size() - extension.size()) + ".txt";
  DeleteFileA(path.c_str());
  ComPtr<IStream> log;
  if (FAILED(admin->InterpretLogStream(log.Out())) || !log) return;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char piece[kLogPiece];
  ULONG got = 0;
  DWORD written = 0;
  while (SUCCEEDED(log->Read(piece, kLogPiece, &got)) && got > 0 && WriteFile(file, piece, got, &written, nullptr)) {
  }
  CloseHandle(file);
  ShellExecuteA(owner, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  Sleep(kLogOpenWaitMs);
  DeleteFileA(path.c_str());
}

bool CCairnFolder::SnapshotComment(const Item& item, std::string* comment) {
  ComPtr<ICairnSnapShot> snapshot = SnapshotOfItem(item);
  Bstr text;
  if (!snapshot || FAILED(snapshot->GetComment(text.Out())) || text.Get() == nullptr) return false;
  *comment = BstrAnsi(text.Get()).substr(0, kMaxComment);
  return true;
}

bool CCairnFolder::SetSnapshotComment(const Item& item, const std::string& comment) {
  ComPtr<ICairnSnapShot> snapshot = SnapshotOfItem(item);
  const Bstr text = AnsiBstr(comment);
  if (!snapshot || FAILED(snapshot->SetComment(text.Get()))) return false;
  BuildContents();
  return true;
}

std::vector<LPITEMIDLIST> CCairnFolder::RevisionList(const Item& item) {
  std::vector<LPITEMIDLIST> lists;
  ComPtr<ICairnObject> object = FindObject(item);
  ComPtr<IEnumCairnRevisions> revisions;
  if (!object || FAILED(object->EnumCairnRevisions(0, revisions.Out())) || !revisions) return lists;
  const std::vector<SnapshotStamp> stamps = SnapshotStamps(GetArchive(archivePath_).Get());
  ComPtr<ICairnRevision> revision;
  while (revisions->Next(3, revision.Out()) == S_OK && revision) {
    const std::vector<uint8_t> built = BuildObjectItem(object.Get(), revision.Get(), stamps);
    if (LPITEMIDLIST list = AllocateSingleItemList(built.data(), built.size())) lists.push_back(list);
  }
  return lists;
}

bool CCairnFolder::RunWizardCheck() {
  static LONG shown = 0;
  if (InterlockedCompareExchange(&shown, 0, 0) != 0) return false;
  wchar_t clsid[40] = {};
  StringFromGUID2(CLSID_CairnFolder, clsid, 40);
  const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\Options";
  DWORD value = 0, size = sizeof value, type = 0;
  HKEY options = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &options) != ERROR_SUCCESS) return false;
  const LONG status = RegQueryValueExW(options, L"RunWizard", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(options);
  if (status != ERROR_SUCCESS || size != sizeof value || value == 0) return false;
  InterlockedExchange(&shown, 1);
  return true;
}

}  // namespace shell
}  // namespace cairn
