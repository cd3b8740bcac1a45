// Archives whose free list names bytes that stored data still uses: a writer would hand them out
// and overwrite what they hold. cn refuses to snapshot such an archive, saying it is damaged, and
// leaves it byte for byte as it was; listing and restoring go on as before; crninspect names each
// such free block.
#include <windows.h>

#include <memory>
#include <string>

#include "ArchiveHeap.h"
#include "ArchiveRecords.h"
#include "ArchiveWalk.h"
#include "CnRestoreFixture.h"
#include "Result.h"

namespace cairn {
namespace {

// Where a sound archive keeps its first data block, object record and object name.
class Landmarks final : public ArchiveVisitor {
 public:
  uint32_t data = 0, dataLength = 0, object = 0, name = 0, nameLength = 0;

  void OnObject(const ObjectRecord& record, const std::string& stored) override {
    if (object != 0) return;
    object = record.Offset();
    name = record.Name();
    nameLength = static_cast<uint32_t>(stored.size() + 1);
  }
  void OnDifference(const RevisionRecord&, const DifferenceRecord& difference) override {
    if (data == 0 && difference.Kind() != difference_kind::kDeletion && difference.Length() >= 16)
      data = difference.Data(), dataLength = difference.Length();
  }
};

class CnDamagedFreeListTest : public CnRestoreTest {
 protected:
  CnRun Inspect() {
    return testing::RunChild(
        L"\"" + ModuleDirectory() + L"\\..\\engine\\tools\\crninspect.exe\" \"" + Archive() + L"\"", dir_.wstring(),
        60000);
  }

  // Adds a free block for length bytes at start to the head of x.crn's free list; its record's
  // offset.
  uint32_t AddFreeBlock(uint32_t start, uint32_t length) {
    std::unique_ptr<ArchiveHeap> heap;
    EXPECT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), Narrow(Archive()), false, true, &heap), S_OK);
    if (!heap) return 0;
    const uint32_t record = heap->Allocate(ArchiveHeap::kFreeBlockSize);
    EXPECT_NE(record, 0u);
    heap->Write32(record, start);
    heap->Write32(record + 4, length);
    heap->Write32(record + 8, heap->HeaderField(header::kFreeList));
    heap->SetHeaderField(header::kFreeList, record);
    return record;
  }

  // Through the engine, the writes that allocate are refused as well, and change nothing.
  void ExpectEngineRefuses() {
    ComPtr<IPersistFile> file;
    ASSERT_EQ(CoCreateInstance(CLSID_CairnArchive, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.OutVoid()),
              S_OK);
    ASSERT_EQ(file->Load(Archive().c_str(), STGM_READWRITE), S_OK);
    ComPtr<ICairnArchiveAdmin> admin;
    ASSERT_EQ(file.As(&admin), S_OK);
    ComPtr<IStream> log;
    ASSERT_EQ(admin->GetLogStream(log.Out()), S_OK);
    log->Write("entry", 5, nullptr);
    EXPECT_EQ(admin->CommitLogStream(log.Get()), kCorruptArchive);

    ComPtr<ICairnArchive> archive;
    ASSERT_EQ(file.As(&archive), S_OK);
    ComPtr<IEnumSnapShots> snapshots;
    ASSERT_EQ(archive->EnumSnapShots(0, snapshots.Out()), S_OK);
    ComPtr<ICairnSnapShot> first;
    ASSERT_EQ(snapshots->Next(1, first.Out()), S_OK);
    BSTR comment = SysAllocString(L"a comment needs room");
    EXPECT_EQ(first->SetComment(comment), kCorruptArchive);
    SysFreeString(comment);
  }
};

TEST_F(CnDamagedFreeListTest, AFreeListOverStoredDataIsRefusedUntouchedAndStillReadable) {
  BuildFirstTree();
  CreateArchive(1);
  ChangeTree();
  ASSERT_EQ(Cn(L"/n Second x.crn").exitCode, 1u);
  const TreeState second = ReadTree(tree_);
  const std::string sound = ReadFileBytes(Archive());
  const CnRun listed = Cn(L"/l x.crn");
  ASSERT_EQ(listed.exitCode, 0u) << listed.err;

  Landmarks marks;
  {
    std::unique_ptr<ArchiveHeap> heap;
    ASSERT_EQ(ArchiveHeap::Open(PlatformFiles::Native(), Narrow(Archive()), false, false, &heap), S_OK);
    ASSERT_EQ(WalkArchive(*heap, marks), S_OK);
  }
  ASSERT_TRUE(marks.data != 0 && marks.object != 0 && marks.name != 0);

  const struct {
    const char* what;
    uint32_t start, length;
  } cases[] = {
      {"a data block", marks.data + 4, marks.dataLength - 8},
      {"an object record", marks.object, ObjectRecord::kSize},
      {"a string", marks.name, marks.nameLength},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(Archive(), sound);
    const uint32_t block = AddFreeBlock(c.start, c.length);
    const std::string damaged = ReadFileBytes(Archive());
    ASSERT_NE(damaged, sound);

    WriteFileBytes(tree_ / "readme.txt", "changed after the damage");
    CnRun run = Cn(L"/v x.crn");
    EXPECT_EQ(run.exitCode, kFailed);
    EXPECT_EQ(run.err,
              "Failed to create snapshot for x.crn: the archive is damaged, so no snapshot was taken. Run crninspect "
              "on it for details.\n");
    EXPECT_TRUE(ReadFileBytes(Archive()) == damaged) << "the archive is byte for byte as it was";
    ASSERT_NO_FATAL_FAILURE(ExpectEngineRefuses());
    EXPECT_TRUE(ReadFileBytes(Archive()) == damaged) << "refused writes of the engine change nothing";

    run = Cn(L"/l x.crn");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, listed.out);
    fs::remove_all(tree_);
    run = Cn(L"/r x.crn");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(Differences(ReadTree(tree_), second), "");

    run = Inspect();
    EXPECT_EQ(run.exitCode, 1u);
    const std::string line = "crninspect: the free block @" + std::to_string(block) + " (" + std::to_string(c.length) +
                             " bytes at " + std::to_string(c.start) + ") overlaps stored data or another free block\n";
    EXPECT_NE(run.err.find(line), std::string::npos) << run.err;
    EXPECT_TRUE(ReadFileBytes(Archive()) == damaged);
  }
}

}  // namespace
}  // namespace cairn
