// Browsing an archive never stands in the way of a snapshot, and a snapshot never breaks a walk:
// the extension reads an archive as a reader of its own, and holds a writer only while it changes
// the archive.
#include <atomic>
#include <thread>

#include "ArchiveOperations.h"
#include "ItemId.h"
#include "ShellTestSupport.h"

namespace cairn {
namespace shell {
namespace {

using testing::ArchiveTest;

// One walk through every level as Explorer reaches them, without the test's assertions (it runs
// on a thread of its own): the number of items it met, or -1 when any step failed.
int Walk(IShellFolder* folder, int depth = 0) {
  ComPtr<IEnumIDList> items;
  if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, items.Out()) != S_OK ||
      !items)
    return -1;
  int count = 0;
  LPITEMIDLIST raw = nullptr;
  while (items->Next(1, &raw, nullptr) == S_OK) {
    const IdList item(raw);
    ++count;
    SFGAOF attributes = SFGAO_FOLDER;
    LPCITEMIDLIST asked = item.Get();
    if (FAILED(folder->GetAttributesOf(1, &asked, &attributes))) return -1;
    if (!(attributes & SFGAO_FOLDER) || depth > 8) continue;
    ComPtr<IShellFolder> inside;
    if (FAILED(folder->BindToObject(item.Get(), nullptr, IID_IShellFolder, inside.OutVoid())) || !inside) return -1;
    const int below = Walk(inside.Get(), depth + 1);
    if (below < 0) return -1;
    count += below;
  }
  return count;
}

class ReadingBesideWritingTest : public ArchiveTest {};

TEST_F(ReadingBesideWritingTest, AReaderAndTheWriterAreObjectsOfTheirOwnAndTheWriterIsNotKept) {
  const ArchiveOperations root(archive_, {});
  ComPtr<ICairnArchive> reader = root.ArchiveToRead();
  ComPtr<ICairnArchive> writer = root.ArchiveToWrite(0);
  ASSERT_TRUE(reader && writer) << "a reader lets a writer in";
  ComPtr<IUnknown> a, b;
  reader.As(&a);
  writer.As(&b);
  EXPECT_NE(a.Get(), b.Get());
  ComPtr<ICairnArchive> again = root.ArchiveToWrite(0);
  ComPtr<IUnknown> c;
  ASSERT_TRUE(again && SUCCEEDED(again.As(&c)));
  EXPECT_EQ(b.Get(), c.Get()) << "writers share the running one";
  again.Reset();
  c.Reset();
  writer.Reset();
  b.Reset();
  // A change made through one copy shows through another at once, and the writer is gone after it.
  const ArchiveOperations copy = root;
  EXPECT_TRUE(root.SetSnapshotComment("Snapshot;1", "kept"));
  std::string comment;
  EXPECT_TRUE(copy.SnapshotComment("Snapshot;1", &comment));
  EXPECT_EQ("kept", comment);
  const std::vector<uint8_t> items = copy.LevelItems();
  EXPECT_EQ(std::optional<std::string_view>("kept"), ReadItem(items.data(), items.size())->second);
  ASSERT_TRUE(testing::WriteText(data_ + "\\notes.cairntest", "changed beside the reader"));
  EXPECT_EQ(1u, testing::RunCn("\"" + archive_ + "\"", Path(""))) << "no writer is held after a change";
  // Only snapshots have comments.
  EXPECT_FALSE(ArchiveOperations(archive_, {"Snapshot;1"}).SnapshotComment("Snapshot;1", &comment));
}

// A shell client walks the archive over and over, as a person browsing does, only faster, while cn
// takes snapshot after snapshot: every snapshot is taken, and every walk succeeds.
TEST_F(ReadingBesideWritingTest, SnapshotsSucceedWhileTheArchiveIsWalked) {
  ComPtr<IShellFolder> first = testing::OpenArchiveFolder(archive_);
  ASSERT_TRUE(first);
  const int items = Walk(first.Get());
  ASSERT_GT(items, 10);
  first.Reset();

  std::atomic<bool> done{false};
  std::atomic<int> walks{0}, failedWalks{0};
  std::thread walker([&] {
    CoInitialize(nullptr);
    while (!done) {
      ComPtr<IShellFolder> root = testing::OpenArchiveFolder(archive_);
      const int met = root ? Walk(root.Get()) : -1;
      ++walks;
      // Snapshots only ever add to what a walk meets.
      if (met < items) ++failedWalks;
    }
    CoUninitialize();
  });
  int failedSnapshots = 0;
  constexpr int kSnapshots = 20;
  for (int i = 0; i < kSnapshots; ++i) {
    ASSERT_TRUE(testing::WriteText(data_ + "\\notes.cairntest", "notes, round " + std::to_string(i)));
    const cairn::testing::ChildRun run = testing::RunCnCapturing("\"" + archive_ + "\"", Path(""));
    if (run.exitCode != 1) {
      ++failedSnapshots;
      std::printf("snapshot %d: exit code %ld, %s", i, static_cast<long>(run.exitCode), run.err.c_str());
    }
  }
  done = true;
  walker.join();
  std::printf("%d of %d snapshots failed while %d walks ran, %d of which failed\n", failedSnapshots, kSnapshots,
              walks.load(), failedWalks.load());
  EXPECT_EQ(0, failedSnapshots);
  EXPECT_EQ(0, failedWalks.load());
  EXPECT_GE(walks.load(), kSnapshots) << "the walks ran beside the snapshots";
}

}  // namespace
}  // namespace shell
}  // namespace cairn
