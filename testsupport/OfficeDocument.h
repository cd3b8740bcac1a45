// Compound documents shaped as the usual office programs write them, made through the system's
// structured storage, and read back element by element, so that restore tests compare what was
// stored with what was written.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <map>
#include <string>

namespace cairn {
namespace testing {

// The class identifiers the test documents carry, on the root and on the embedded object.
inline const CLSID kDocumentClass = {0x00020906, 0x1234, 0x5678, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline const CLSID kEmbeddedClass = {0x0003000C, 0x4321, 0x8765, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Writes a document with property-set streams ("\x05SummaryInformation",
// "\x05DocumentSummaryInformation"), "\x01CompObj", an embedded object's storage with its
// "\x01Ole" stream and class, and streams named "CON", "a." and "x y " (ordinary inside a
// document, not on a disk). The bytes depend on edition, so a second edition is a change.
// False when the system refuses any step.
inline bool WriteOfficeDocument(const std::wstring& path, int edition) {
  constexpr DWORD mode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
  IStorage* root = nullptr;
  if (FAILED(StgCreateDocfile(path.c_str(), mode, 0, &root))) return false;
  bool ok = SUCCEEDED(root->SetClass(kDocumentClass));
  auto stream = [&](IStorage* in, const wchar_t* name, const std::string& bytes) {
    IStream* created = nullptr;
    if (FAILED(in->CreateStream(name, mode, 0, 0, &created))) return false;
    ULONG written = 0;
    const bool wrote = SUCCEEDED(created->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) &&
                       written == bytes.size();
    created->Release();
    return wrote;
  };
  const std::string mark = "edition " + std::to_string(edition);
  ok = ok && stream(root, L"\x05SummaryInformation", std::string(600, '\xFE') + mark);
  ok = ok && stream(root, L"\x05" L"DocumentSummaryInformation", std::string(5000, 'd') + mark);
  ok = ok && stream(root, L"\x01" L"CompObj", std::string("\x01\x00\xFE\xFF", 4) + "Document");
  ok = ok && stream(root, L"WordDocument", std::string(9000 + 100 * edition, 'w') + mark);
  ok = ok && stream(root, L"CON", "device-like " + mark);
  ok = ok && stream(root, L"a.", "trailing dot");
  ok = ok && stream(root, L"x y ", "trailing space " + mark);
  IStorage* pool = nullptr;
  IStorage* embedded = nullptr;
  ok = ok && SUCCEEDED(root->CreateStorage(L"ObjectPool", mode, 0, 0, &pool));
  ok = ok && SUCCEEDED(pool->CreateStorage(L"_1234567890", mode, 0, 0, &embedded));
  ok = ok && SUCCEEDED(embedded->SetClass(kEmbeddedClass));
  ok = ok && stream(embedded, L"\x01Ole", std::string(20, '\x01'));
  ok = ok && stream(embedded, L"CONTENTS", "embedded " + mark);
  if (embedded) embedded->Release();
  if (pool) pool->Release();
  root->Release();
  return ok;
}

// Every element of a document by its path below the root ("ObjectPool\_1234567890\<01>Ole"):
// a stream's bytes, or "<storage {class}>" for a storage and for the root (path ""). Empty
// when the document cannot be opened.
inline std::map<std::wstring, std::string> ReadDocumentElements(const std::wstring& path) {
  std::map<std::wstring, std::string> elements;
  IStorage* root = nullptr;
  if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root)))
    return elements;
  auto describe = [](const CLSID& id) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return "<storage " + std::string(text, text + wcslen(text)) + ">";
  };
  struct Walk {
    std::map<std::wstring, std::string>& out;
    decltype(describe)& describe;
    void Storage(IStorage* storage, const std::wstring& prefix) {
      STATSTG self{};
      storage->Stat(&self, STATFLAG_NONAME);
      out[prefix] = describe(self.clsid);
      IEnumSTATSTG* list = nullptr;
      if (FAILED(storage->EnumElements(0, nullptr, 0, &list))) return;
      STATSTG stat{};
      while (list->Next(1, &stat, nullptr) == S_OK) {
        const std::wstring name = prefix.empty() ? stat.pwcsName : prefix + L"\\" + stat.pwcsName;
        if (stat.type == STGTY_STORAGE) {
          IStorage* inner = nullptr;
          if (SUCCEEDED(storage->OpenStorage(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                             &inner))) {
            Storage(inner, name);
            inner->Release();
          }
        } else {
          IStream* stream = nullptr;
          std::string bytes;
          if (SUCCEEDED(storage->OpenStream(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream))) {
            char piece[4096];
            ULONG got = 0;
            while (SUCCEEDED(stream->Read(piece, sizeof piece, &got)) && got > 0) bytes.append(piece, got);
            stream->Release();
          }
          out[name] = bytes;
        }
        CoTaskMemFree(stat.pwcsName);
      }
      list->Release();
    }
  } walk{elements, describe};
  walk.Storage(root, L"");
  root->Release();
  return elements;
}

}  // namespace testing
}  // namespace cairn
