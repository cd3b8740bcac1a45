#include "Registration.h"

#include <oleauto.h>

#include <string>

#include "ComPtr.h"

namespace cairn {
namespace {

// An open registry key, closed when it goes.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Creates (or opens) parent\path for writing.
  LSTATUS Create(HKEY parent, const std::wstring& path) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | KEY_READ,
                           nullptr, &key_, nullptr);
  }
  // Sets a string value; a null name is the key's default value.
  LSTATUS Set(const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// Deletes a key with everything below it; a missing key is not an error.
LSTATUS DeleteTree(HKEY parent, const std::wstring& path) {
  LSTATUS status = RegDeleteTreeW(parent, path.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  status = RegDeleteKeyW(parent, path.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Remembers the first failure of a sequence of steps.
class FirstFailure {
 public:
  void NoteStatus(LSTATUS status) {
    if (status != ERROR_SUCCESS) Note(HRESULT_FROM_WIN32(status));
  }
  void Note(HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(result_)) result_ = hr;
  }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_ = S_OK;
};

// A key holding a default value, written under parent.
void WriteKey(FirstFailure& status, HKEY parent, const std::wstring& path, const std::wstring& value) {
  RegKey key;
  LSTATUS s = key.Create(parent, path);
  status.NoteStatus(s);
  if (s == ERROR_SUCCESS) status.NoteStatus(key.Set(nullptr, value));
}

// The type library's neutral-locale key, TypeLib\{...}\1.0\0.
std::wstring NeutralLocaleKey(const std::wstring& libraryId) { return L"TypeLib\\" + libraryId + L"\\1.0\\0"; }

void RegisterClass(FirstFailure& status, const ClassEntry& entry, const std::wstring& libraryId,
                   const wchar_t* modulePath) {
  const std::wstring progId = std::wstring(L"Cairn.") + entry.name + L".1";
  const std::wstring independentProgId = std::wstring(L"Cairn.") + entry.name;
  const std::wstring clsid = GuidText(*entry.clsid);

  WriteKey(status, HKEY_CLASSES_ROOT, progId, entry.description);
  WriteKey(status, HKEY_CLASSES_ROOT, progId + L"\\CLSID", clsid);
  WriteKey(status, HKEY_CLASSES_ROOT, independentProgId, entry.description);
  WriteKey(status, HKEY_CLASSES_ROOT, independentProgId + L"\\CLSID", clsid);
  WriteKey(status, HKEY_CLASSES_ROOT, independentProgId + L"\\CurVer", progId);

  // The class identifier key is replaced whole, so nothing of an older registration stays.
  const std::wstring clsidKey = L"CLSID\\" + clsid;
  status.NoteStatus(DeleteTree(HKEY_CLASSES_ROOT, clsidKey));
  WriteKey(status, HKEY_CLASSES_ROOT, clsidKey, entry.clsidDescription);
  WriteKey(status, HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID", progId);
  WriteKey(status, HKEY_CLASSES_ROOT, clsidKey + L"\\VersionIndependentProgID", independentProgId);
  RegKey programmable;
  status.NoteStatus(programmable.Create(HKEY_CLASSES_ROOT, clsidKey + L"\\Programmable"));
  RegKey server;
  LSTATUS s = server.Create(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32");
  status.NoteStatus(s);
  if (s == ERROR_SUCCESS) {
    status.NoteStatus(server.Set(nullptr, modulePath));
    status.NoteStatus(server.Set(L"ThreadingModel", L"Apartment"));
  }
  WriteKey(status, HKEY_CLASSES_ROOT, clsidKey + L"\\TypeLib", libraryId);
}

}  // namespace

HRESULT RegisterClasses(const ClassTable& classes, const GUID& libraryId, const wchar_t* modulePath) {
  FirstFailure status;
  const std::wstring library = GuidText(libraryId);
  for (size_t i = 0; i < classes.count; ++i) RegisterClass(status, classes.entries[i], library, modulePath);

  ComPtr<ITypeLib> typeLib;
  HRESULT hr = LoadTypeLibEx(modulePath, REGKIND_NONE, typeLib.Out());
  status.Note(hr);
  if (SUCCEEDED(hr)) status.Note(RegisterTypeLib(typeLib.Get(), const_cast<LPOLESTR>(modulePath), nullptr));
  // The library's locale is 0x409, so it is registered under that locale only; some type-library
  // marshallers look under the neutral locale alone, and cross-process calls then fail. Name the
  // module there as well.
  WriteKey(status, HKEY_CLASSES_ROOT, NeutralLocaleKey(library) + (sizeof(void*) == 8 ? L"\\win64" : L"\\win32"),
           modulePath);
  return status.Result();
}

HRESULT UnregisterClasses(const ClassTable& classes, const GUID& libraryId) {
  FirstFailure status;
  for (size_t i = 0; i < classes.count; ++i) {
    const ClassEntry& entry = classes.entries[i];
    status.NoteStatus(DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"Cairn.") + entry.name + L".1"));
    status.NoteStatus(DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"Cairn.") + entry.name));
    status.NoteStatus(DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(*entry.clsid)));
  }
  status.NoteStatus(DeleteTree(HKEY_CLASSES_ROOT, NeutralLocaleKey(GuidText(libraryId))));
  // A library that is not (or no longer) registered needs no unregistering.
  HKEY library;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + GuidText(libraryId)).c_str(), 0, KEY_READ, &library) ==
      ERROR_SUCCESS) {
    RegCloseKey(library);
    status.Note(UnRegisterTypeLib(libraryId, 1, 0, 0x409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32));
  }
  return status.Result();
}

}  // namespace cairn
