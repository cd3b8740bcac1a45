// Snapshots of files and folders that resist being read: a folder that cannot be listed, a
// compound file held open exclusively, a file held without sharing, a file too large for 32-bit
// positions, and a file that another thread keeps writing while snapshots are taken.
#include "SnapshotFixture.h"

#include <atomic>
#include <random>
#include <thread>

namespace cairn {
namespace {

using testing::SnapshotTest;
namespace fs = std::filesystem;

// A handle closed at the end of the scope.
class Held {
 public:
  explicit Held(HANDLE handle) : handle_(handle) {}
  ~Held() { Release(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  void Release() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A folder another program holds without sharing cannot be listed: it comes out empty, each of
// its children is logged as gone, and they come back when it can be listed again.
TEST_F(SnapshotTest, AFolderThatCannotBeListedHasNoChildrenUntilItCanBe) {
  Write("held/a.txt", "a");
  Write("held/sub/b.txt", "b");
  Write("free.txt", "free");
  ASSERT_EQ(Snapshot({Path()}), S_OK);
  const auto first = Tree(1);
  ASSERT_EQ(first.count(L"held\\sub\\b.txt"), 1u);

  Held folder(CreateFileW(Path("held").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                          nullptr));
  ASSERT_TRUE(folder.Valid());
  WIN32_FIND_DATAW found;
  ASSERT_EQ(FindFirstFileW((Path("held") + L"\\*.*").c_str(), &found), INVALID_HANDLE_VALUE) << "the folder can still be listed";
  ASSERT_EQ(Snapshot({}), S_OK) << Log();
  const std::map<std::wstring, std::string> second = {
      {L".", "<dir>"}, {L"free.txt", "free"}, {L"held", "<dir>"}};
  EXPECT_EQ(Tree(2), second);
  const std::string log = Log(), held = root_.u8string() + "\\held";
  EXPECT_TRUE(Contains(log, "Object deleted, locked or excluded: " + held + "\\a.txt")) << log;
  EXPECT_TRUE(Contains(log, "Object deleted, locked or excluded: " + held + "\\sub")) << log;

  folder.Release();
  ASSERT_EQ(Snapshot({}), S_OK) << Log();
  EXPECT_EQ(Tree(3), first);
  EXPECT_EQ(Tree(1), first);
  EXPECT_TRUE(Contains(Log(), "Object added: " + held + "\\a.txt")) << Log();
}

// A compound file another program holds open exclusively cannot be opened: its last revision
// stays current, whole, and the next snapshot after its release takes the change.
TEST_F(SnapshotTest, ACompoundFileHeldExclusivelyKeepsItsLastRevision) {
  const std::wstring path = Path("doc.ole");
  auto writeDocument = [&](const std::string& body) {
    ComPtr<IStorage> document;
    ComPtr<IStream> stream;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, document.Out()),
              S_OK);
    ASSERT_EQ(document->CreateStream(L"Contents", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                     stream.Out()),
              S_OK);
    ULONG n = 0;
    stream->Write(body.data(), static_cast<ULONG>(body.size()), &n);
  };
  writeDocument("first body");
  ASSERT_EQ(Snapshot({Path()}), S_OK) << Log();
  writeDocument("second body");
  {
    ComPtr<IStorage> held;
    ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, held.Out()),
              S_OK);
    EXPECT_EQ(Snapshot({}), S_FALSE) << Log();
    EXPECT_TRUE(Contains(Log(), "Object locked: " + root_.u8string() + "\\doc.ole")) << Log();
    EXPECT_EQ(Tree(1)[L"doc.ole\\Contents"], "first body");
  }
  LONG number = 0;
  ASSERT_EQ(Snapshot({}, {}, &number), S_OK) << Log();
  auto tree = Tree(number);
  EXPECT_EQ(tree[L"doc.ole"], "<dir>");
  EXPECT_EQ(tree[L"doc.ole\\Contents"], "second body");
  EXPECT_EQ(Tree(1)[L"doc.ole\\Contents"], "first body");
}

// A file another program holds open without sharing cannot be read: an archived one keeps its
// last revision and a new one stays out, both logged as locked, until the next snapshot after
// they are released records them.
TEST_F(SnapshotTest, AFileHeldWithoutSharingIsLoggedAsLockedAndTakenOnceReleased) {
  Write("held.txt", "first");
  ASSERT_EQ(Snapshot({Path()}), S_OK);
  Write("held.txt", "second");
  Write("new.txt", "new");
  {
    Held held(CreateFileW(Path("held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    Held added(CreateFileW(Path("new.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid() && added.Valid());
    EXPECT_EQ(Snapshot({}), S_FALSE) << Log();
    const std::string log = Log(), locked = "Object locked: " + root_.u8string();
    EXPECT_TRUE(Contains(log, locked + "\\held.txt")) << log;
    EXPECT_TRUE(Contains(log, locked + "\\new.txt")) << log;
    EXPECT_TRUE(Contains(log, "W: ")) << "a warning: " << log;
  }
  LONG number = 0;
  ASSERT_EQ(Snapshot({}, {}, &number), S_OK) << Log();
  const std::map<std::wstring, std::string> taken = {{L".", "<dir>"}, {L"held.txt", "second"}, {L"new.txt", "new"}};
  EXPECT_EQ(Tree(number), taken);
  EXPECT_EQ(Tree(1)[L"held.txt"], "first");
}

// Contents have 32-bit positions: a file of 4 GiB cannot be stored. Its last revision stays
// current and the log says why. The file is sparse, so this costs next to nothing.
TEST_F(SnapshotTest, AFileOfFourGiBCannotBeStored) {
  Write("grows.bin", "small");
  Write("other.txt", "1");
  ASSERT_EQ(Snapshot({Path()}), S_OK);
  for (const char* name : {"grows.bin", "new.bin"}) {
    Held file(CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.Valid());
    LARGE_INTEGER size;
    size.QuadPart = 4ll << 30;
    ASSERT_TRUE(SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()));
  }
  Write("other.txt", "2");
  LONG number = 0;
  const ULONGLONG started = GetTickCount64();
  ASSERT_EQ(Snapshot({}, {}, &number), S_OK) << Log();
  EXPECT_LT(GetTickCount64() - started, 30000u) << "nothing of the large files was read";
  auto tree = Tree(number);
  EXPECT_EQ(tree[L"grows.bin"], "small") << "the last revision stays current";
  EXPECT_EQ(tree.count(L"new.bin"), 0u);
  EXPECT_EQ(tree[L"other.txt"], "2");
  const std::string log = Log(), tooLarge = "Object too large for an archive (over 4 GB): " + root_.u8string();
  EXPECT_TRUE(Contains(log, tooLarge + "\\grows.bin")) << log;
  EXPECT_TRUE(Contains(log, tooLarge + "\\new.bin")) << log;
  EXPECT_FALSE(Contains(log, "Internal Error")) << log;
  fs::remove(root_ / "grows.bin");
  fs::remove(root_ / "new.bin");
}

// Names are stored in the system code page: a file or folder whose name it cannot hold is left
// out (its ANSI name would be another file's), but logged, and the snapshot completes.
TEST_F(SnapshotTest, NamesTheCodePageCannotHoldAreLoggedAndLeftOut) {
  Write("plain.txt", "plain");
  Write(u8"\u65e5\u672c\u8a9e.txt", "japanese");
  Write(u8"emoji \U0001F600.txt", "emoji");
  Write(u8"\u65e5\u672c tree/inside.txt", "inside");
  ASSERT_EQ(Snapshot({Path()}), S_OK) << Log();
  const std::map<std::wstring, std::string> stored = {{L".", "<dir>"}, {L"plain.txt", "plain"}};
  EXPECT_EQ(Tree(1), stored);
  const std::string log = Log(), gone = "Object deleted, locked or excluded: " + root_.u8string() + "\\";
  size_t lines = 0;
  for (size_t at = log.find(gone); at != std::string::npos; at = log.find(gone, at + 1)) ++lines;
  EXPECT_EQ(lines, 3u) << log;
  EXPECT_TRUE(Contains(log, gone + "emoji ")) << log;

  // Given as an item of its own, such a folder is left out the same way.
  const std::string before = Log();
  Snapshot({Path(u8"\u65e5\u672c tree")});
  EXPECT_EQ(Log().size() > before.size() && Contains(Log().substr(before.size()), gone), true) << Log();
}

// A file written over and over by another thread while snapshots are taken. Each write marks one
// more 64-byte block of it, in a fixed order of places spread over the file, so every state it is
// in between writes is "the first v blocks marked". Every snapshot must hold such a state, with v
// never going back: a revision is the file as it was at one moment, never bytes of two moments,
// and storing it never spoils the revisions before it.
TEST_F(SnapshotTest, AFileWrittenWhileItIsReadIsStoredAsItWasAtOneMoment) {
  constexpr uint32_t kBlock = 64, kBlocks = 65536;  // a 4 MB file
  auto place = [](uint32_t i) { return (i * 7919u) % kBlocks * kBlock; };
  auto mark = [](uint32_t i) { return std::string(kBlock, static_cast<char>('A' + i % 26)); };
  std::string base(kBlock * kBlocks, '\0');
  std::mt19937 random(11);
  for (char& c : base) c = static_cast<char>('a' + random() % 26);
  Write("busy.bin", base);
  ASSERT_EQ(Snapshot({Path()}), S_OK);

  std::atomic<bool> stop{false};
  std::atomic<uint32_t> writes{0};
  std::thread writer([&] {
    Held file(CreateFileW(Path("busy.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr));
    std::mt19937 pause(12);
    for (uint32_t i = 1; file.Valid() && !stop && i < kBlocks; ++i) {
      const std::string marked = mark(i);
      OVERLAPPED at = {};
      at.Offset = place(i);
      DWORD n = 0;
      if (!WriteFile(file.Get(), marked.data(), kBlock, &n, &at)) break;
      writes = i;
      Sleep(10 + pause() % 40);
    }
  });
  std::vector<LONG> recorded;
  for (int round = 0; round < 12; ++round) {
    LONG number = 0;
    const HRESULT hr = Snapshot({}, {}, &number);
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    if (hr == S_OK) recorded.push_back(number);
  }
  stop = true;
  writer.join();
  ASSERT_GT(writes.load(), 20u) << "the file was written all along";
  ASSERT_GE(recorded.size(), 3u) << "changes were stored";

  // How many blocks a stored content has marked, or -1 when it is not a state the file was in.
  auto marked = [&](const std::string& content) -> long {
    if (content.size() != base.size()) return -1;
    uint32_t v = 0;
    while (v + 1 < kBlocks && content.compare(place(v + 1), kBlock, mark(v + 1)) == 0) ++v;
    std::string expected = base;
    for (uint32_t i = 1; i <= v; ++i) expected.replace(place(i), kBlock, mark(i));
    return content == expected ? static_cast<long>(v) : -1;
  };
  long last = 0;
  for (LONG number : recorded) {
    const long v = marked(Tree(number)[L"busy.bin"]);
    ASSERT_GE(v, 0) << "snapshot " << number << " holds bytes of two moments";
    EXPECT_GE(v, last) << "snapshot " << number;
    last = v;
  }
}

}  // namespace
}  // namespace cairn
