#include "Registration.h"

#include <objbase.h>

#include "RegKey.h"

namespace cairn {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kCurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::kClassesRoot: break;
  }
  return HKEY_CLASSES_ROOT;
}

bool Missing(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

// Deletes a key with everything below it; a missing key is not an error.
LSTATUS DeleteTree(HKEY root, const std::wstring& path) {
  LSTATUS status = RegDeleteTreeW(root, path.c_str());
  if (Missing(status)) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  status = RegDeleteKeyW(root, path.c_str());
  return Missing(status) ? ERROR_SUCCESS : status;
}

// The topmost key of path that does not exist yet, or empty when the whole path exists.
std::wstring FirstMissingKey(HKEY root, const std::wstring& path) {
  for (size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
    const std::wstring prefix = path.substr(0, end);
    RegKey key;
    if (Missing(key.Open(root, prefix.c_str(), KEY_READ))) return prefix;
    if (end == std::wstring::npos) return std::wstring();
  }
}

}  // namespace

void Placeholders::Set(const wchar_t* name, std::wstring value) {
  for (auto& known : values_)
    if (known.first == name) {
      known.second = std::move(value);
      return;
    }
  values_.emplace_back(name, std::move(value));
}

bool Placeholders::Expand(const wchar_t* text, std::wstring* out) const {
  out->clear();
  for (const wchar_t* p = text; *p != 0; ++p) {
    if (*p != L'%') {
      out->push_back(*p);
      continue;
    }
    const wchar_t* end = p + 1;
    while (*end != 0 && *end != L'%') ++end;
    if (*end == 0) return false;
    const std::wstring name(p + 1, end);
    const std::wstring* value = nullptr;
    for (const auto& known : values_)
      if (known.first == name) value = &known.second;
    if (value == nullptr) return false;
    *out += *value;
    p = end;
  }
  return true;
}

void RegistryJournal::Undo() {
  for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
    if (step->createdKey) {
      DeleteTree(step->root, step->key);
      continue;
    }
    RegKey key;
    if (key.Open(step->root, step->key.c_str(), KEY_SET_VALUE) != ERROR_SUCCESS) continue;
    const wchar_t* name = step->defaultValue ? nullptr : step->valueName.c_str();
    if (step->hadValue)
      RegSetValueExW(key.Get(), name, 0, step->type, step->data.data(), static_cast<DWORD>(step->data.size()));
    else
      RegDeleteValueW(key.Get(), name);
  }
  steps_.clear();
}

HRESULT WriteRegistryRows(const RegistryRows& rows, const Placeholders& values, RegistryJournal* journal) {
  RegistryJournal own;
  RegistryJournal& steps = journal != nullptr ? *journal : own;
  RegistryJournal thisCall;  // undone on failure; handed to the caller's journal on success
  HRESULT hr = S_OK;
  for (size_t i = 0; i < rows.count && SUCCEEDED(hr); ++i) {
    const RegistryRow& row = rows.rows[i];
    const HKEY root = RootKey(row.root);
    std::wstring path, name, text;
    if (!values.Expand(row.key, &path) || (row.valueName != nullptr && !values.Expand(row.valueName, &name)) ||
        (row.kind == ValueKind::kString && !values.Expand(row.text, &text))) {
      hr = E_INVALIDARG;
      break;
    }
    if (row.mode == KeyMode::kReplaceWhole) {
      const LSTATUS status = DeleteTree(root, path);
      if (status != ERROR_SUCCESS) {
        hr = HRESULT_FROM_WIN32(status);
        break;
      }
    }
    const std::wstring created = FirstMissingKey(root, path);
    RegKey key;
    LSTATUS status = key.Create(root, path.c_str());
    if (status == ERROR_SUCCESS && !created.empty())
      thisCall.steps_.push_back(RegistryJournal::Step(root, created, true));
    if (status == ERROR_SUCCESS && row.kind != ValueKind::kNone) {
      const wchar_t* valueName = row.valueName != nullptr ? name.c_str() : nullptr;
      if (created.empty()) {
        // The key was there before: keep the value's old contents to put back.
        RegistryJournal::Step old(root, path, false);
        old.valueName = name;
        old.defaultValue = row.valueName == nullptr;
        DWORD size = 0;
        if (RegQueryValueExW(key.Get(), valueName, nullptr, &old.type, nullptr, &size) == ERROR_SUCCESS) {
          old.data.resize(size);
          old.hadValue = RegQueryValueExW(key.Get(), valueName, nullptr, &old.type, old.data.data(), &size) ==
                         ERROR_SUCCESS;
          old.data.resize(size);
        }
        thisCall.steps_.push_back(std::move(old));
      }
      if (row.kind == ValueKind::kString)
        status = RegSetValueExW(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
      else
        status = RegSetValueExW(key.Get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&row.number),
                                sizeof row.number);
    }
    if (status != ERROR_SUCCESS) hr = HRESULT_FROM_WIN32(status);
  }
  if (FAILED(hr)) {
    thisCall.Undo();
    return hr;
  }
  for (auto& step : thisCall.steps_) steps.steps_.push_back(std::move(step));
  return S_OK;
}

HRESULT RemoveRegistryRows(const RegistryRows& rows, const Placeholders& values) {
  HRESULT result = S_OK;
  for (size_t i = rows.count; i-- > 0;) {
    const RegistryRow& row = rows.rows[i];
    const HKEY root = RootKey(row.root);
    std::wstring path, name;
    if (!values.Expand(row.key, &path) || (row.valueName != nullptr && !values.Expand(row.valueName, &name)))
      return E_INVALIDARG;
    LSTATUS status = ERROR_SUCCESS;
    if (row.mode != KeyMode::kNoRemove) {
      status = DeleteTree(root, path);
    } else if (row.kind != ValueKind::kNone) {
      RegKey key;
      status = key.Open(root, path.c_str(), KEY_SET_VALUE);
      if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.Get(), row.valueName != nullptr ? name.c_str() : nullptr);
      if (Missing(status)) status = ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS && SUCCEEDED(result)) result = HRESULT_FROM_WIN32(status);
  }
  return result;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

}  // namespace cairn
