// The fixture shared by the cn tests that restore real trees: a tree in a temporary folder, an
// archive of it made through cn, and the tree read back (contents, compound documents, times).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "CnProcess.h"
#include "ComPtr.h"
#include "cairn.h"

namespace cairn {

namespace fs = std::filesystem;

inline std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c);  // test paths are ASCII
  return out;
}

inline std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline FILETIME WriteTime(const fs::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// Reads one stream of a compound document, or "<missing>".
inline std::string ReadElement(const fs::path& document, const std::vector<std::wstring>& path) {
  ComPtr<IStorage> storage;
  if (FAILED(StgOpenStorage(document.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.Out())))
    return "<missing>";
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    ComPtr<IStorage> inner;
    if (FAILED(storage->OpenStorage(path[i].c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                    inner.Out())))
      return "<missing>";
    storage = inner;
  }
  ComPtr<IStream> stream;
  if (FAILED(storage->OpenStream(path.back().c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out())))
    return "<missing>";
  std::string bytes;
  char buffer[4096];
  ULONG n = 0;
  while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &n)) && n > 0) bytes.append(buffer, n);
  return bytes;
}

inline void WriteDocument(const fs::path& path, const std::string& body, const std::string& inner) {
  ComPtr<IStorage> root;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, root.Out()), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(root->CreateStream(L"Body", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), S_OK);
  stream->Write(body.data(), static_cast<ULONG>(body.size()), nullptr);
  ComPtr<IStorage> sub;
  ASSERT_EQ(root->CreateStorage(L"Sub", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, sub.Out()), S_OK);
  ASSERT_EQ(sub->CreateStream(L"Inner", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), S_OK);
  stream->Write(inner.data(), static_cast<ULONG>(inner.size()), nullptr);
}

// What a tree holds: relative path to content ("<dir>" for a folder; a compound document by its
// streams) and the last-write time of every file.
struct TreeState {
  std::map<std::string, std::string> entries;
  std::map<std::string, ULONGLONG> times;
};

// The entries in which two states differ, for failure messages.
inline std::string Differences(const TreeState& got, const TreeState& want) {
  std::string text;
  std::map<std::string, int> names;
  for (const auto& entry : got.entries) names[entry.first] |= 1;
  for (const auto& entry : want.entries) names[entry.first] |= 2;
  for (const auto& [name, where] : names) {
    if (where != 3) {
      text += "\n  " + name + (where == 1 ? " should not be there" : " is missing");
      continue;
    }
    if (got.entries.at(name) != want.entries.at(name)) text += "\n  " + name + " has other content";
    auto time = [&](const TreeState& state) { return state.times.count(name) ? state.times.at(name) : 0; };
    if (time(got) != time(want))
      text += "\n  " + name + " time " + std::to_string(time(got)) + " instead of " + std::to_string(time(want));
  }
  return text;
}

inline TreeState ReadTree(const fs::path& root) {
  TreeState state;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      state.entries[name] = "<dir>";
      continue;
    }
    if (entry.path().extension() == ".doc")
      state.entries[name] = ReadElement(entry.path(), {L"Body"}) + "|" + ReadElement(entry.path(), {L"Sub", L"Inner"});
    else
      state.entries[name] = ReadFileBytes(entry.path());
    const FILETIME time = WriteTime(entry.path());
    state.times[name] = (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  }
  return state;
}

inline std::string Pattern(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  return bytes;
}

class CnRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    dir_ = fs::path(base) / (L"cn-restore-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount()));
    ASSERT_TRUE(fs::create_directories(dir_));
    tree_ = dir_ / L"tree";
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored))
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(dir_, ignored);
  }

  CnRun Cn(const std::wstring& arguments) { return RunCn(arguments, dir_.wstring()); }

  // Makes x.crn with the given options (no progress window) and its first snapshot of the tree.
  void CreateArchive(LONG options, const std::wstring& name = L"First") {
    ComPtr<IPersistFile> file;
    ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid()),
              S_OK);
    ASSERT_EQ(file->Load(Archive().c_str(), STGM_CREATE | STGM_READWRITE), S_OK);
    ComPtr<ICairnArchiveAdmin> admin;
    ASSERT_EQ(file.As(&admin), S_OK);
    ASSERT_EQ(admin->SetOptions(options), S_OK);
    file.Reset();
    admin.Reset();
    CnRun run = Cn(L"/n " + name + L" /a tree x.crn");
    ASSERT_EQ(run.exitCode, 1u) << run.err;
  }

  // Deletes a snapshot through the engine, as the Explorer extension would.
  void DeleteSnapshot(const wchar_t* storedName) {
    ComPtr<IPersistFile> file;
    ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid()),
              S_OK);
    ASSERT_EQ(file->Load(Archive().c_str(), STGM_READWRITE), S_OK);
    ComPtr<ICairnArchive> archive;
    ASSERT_EQ(file.As(&archive), S_OK);
    BSTR name = SysAllocString(storedName);
    EXPECT_EQ(archive->DeleteSnapShot(name), S_OK);
    SysFreeString(name);
  }

  std::wstring Archive() const { return (dir_ / L"x.crn").wstring(); }

  void BuildFirstTree() {
    fs::create_directories(tree_ / "docs" / "empty");
    fs::create_directories(tree_ / "media");
    WriteFileBytes(tree_ / "readme.txt", "first text\r\n");
    WriteFileBytes(tree_ / "zero.bin", "");
    WriteFileBytes(tree_ / "docs" / "notes.txt", std::string(9000, 'n'));
    WriteFileBytes(tree_ / "media" / "noise.bin", Pattern(70000, 1));
    WriteDocument(tree_ / "docs" / "report.doc", "body one", "inner one");
  }

  // Edits, adds and removes across the tree, including inside the compound document.
  void ChangeTree() {
    std::string noise = Pattern(70000, 1);
    noise.replace(30000, 100, Pattern(100, 2));
    WriteFileBytes(tree_ / "media" / "noise.bin", noise);
    WriteFileBytes(tree_ / "readme.txt", "second text, longer than the first\r\n");
    fs::remove(tree_ / "docs" / "notes.txt");
    fs::create_directories(tree_ / "new" / "deeper");
    WriteFileBytes(tree_ / "new" / "deeper" / "added.txt", "added");
    WriteDocument(tree_ / "docs" / "report.doc", "body two", "inner one");
  }

  fs::path dir_;
  fs::path tree_;
};

}  // namespace cairn
