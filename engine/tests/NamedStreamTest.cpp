// Named streams through the archive object: creation on first use, commits that store only
// changes, every version readable through the revision enumerators, and the Stream's own rules.
#include "EngineTestSupport.h"

#include <random>

#include "ObjectCreation.h"

namespace cairn {
namespace {

using testing::LoadArchive;
using testing::ReadAll;

class NamedStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    archive_ = LoadArchive(dir_.Path("streams.crn"));
    ASSERT_TRUE(archive_);
    ASSERT_EQ(archive_.As(&admin_), S_OK);
  }
  // A writable copy of a named stream's newest content.
  std::vector<uint8_t> Newest(const wchar_t* name) {
    Bstr text(name);
    ComPtr<IStream> stream;
    EXPECT_EQ(admin_->GetStream(text.Get(), stream.Out()), S_OK);
    return stream ? ReadAll(stream.Get()) : std::vector<uint8_t>();
  }
  HRESULT Commit(const wchar_t* name, const std::vector<uint8_t>& bytes) {
    Bstr text(name);
    ComPtr<IStream> stream;
    HRESULT hr = admin_->GetStream(text.Get(), stream.Out());
    if (FAILED(hr)) return hr;
    // Replace the copy's content: a fresh empty copy would be simpler, but GetStream's copy is
    // what clients change, so write over it and cut it with a new stream when shorter.
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ComPtr<IStream> fresh;
    if (bytes.size() < ReadAll(stream.Get()).size()) {
      ObjectState empty;
      empty.streamKind = ObjectState::StreamKind::kEmpty;
      EXPECT_EQ(CreateEngineObject(CLSID_Stream, empty, fresh.Out()), S_OK);
      stream = fresh;
    }
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(testing::WriteAll(stream.Get(), bytes), S_OK);
    return admin_->CommitStream(text.Get(), stream.Get());
  }
  testing::TempDir dir_;
  ComPtr<ICairnArchive> archive_;
  ComPtr<ICairnArchiveAdmin> admin_;
};

TEST_F(NamedStreamTest, GetStreamCreatesAMissingStreamEmpty) {
  Bstr log(L"\\\\.\\ArchiveLog");
  ComPtr<ICairnObject> object;
  EXPECT_EQ(admin_->GetObject(log.Get(), object.Out(), 0), E_INVALIDARG);
  EXPECT_FALSE(object);
  EXPECT_EQ(admin_->GetObject(log.Get(), object.Out(), 2), E_INVALIDARG) << "only 1 creates";

  ComPtr<IStream> stream;
  ASSERT_EQ(admin_->GetStream(log.Get(), stream.Out()), S_OK);
  EXPECT_TRUE(ReadAll(stream.Get()).empty());

  ASSERT_EQ(admin_->GetObject(log.Get(), object.Out(), 0), S_OK);
  EXPECT_EQ(testing::NameOf(object.Get()), L"\\\\.\\ArchiveLog");
  ComPtr<IEnumCairnRevisions> revisions;
  ComPtr<ICairnRevision> revision;
  ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
  ASSERT_EQ(revisions->Next(3, revision.Out()), S_OK);
  LONG number = 0;
  EXPECT_EQ(revision->GetRevision(&number), S_OK);
  EXPECT_EQ(number, 1);
  EXPECT_EQ(revisions->Next(3, revision.Out()), S_FALSE) << "one empty revision";

  // Names are compared with their letter case.
  Bstr other(L"\\\\.\\archivelog");
  EXPECT_EQ(admin_->GetObject(other.Get(), object.Out(), 0), E_INVALIDARG);
}

TEST_F(NamedStreamTest, EqualContentIsNotCommittedAgain) {
  const std::vector<uint8_t> content(20000, 'x');
  ASSERT_EQ(Commit(L"notes", content), S_OK);
  EXPECT_EQ(Commit(L"notes", content), S_FALSE);
  Bstr name(L"notes");
  ComPtr<ICairnObject> object;
  ASSERT_EQ(admin_->GetObject(name.Get(), object.Out(), 0), S_OK);
  ComPtr<IEnumCairnRevisions> revisions;
  ComPtr<ICairnRevision> revision;
  ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
  ASSERT_EQ(revisions->Last(0, revision.Out()), S_OK);
  LONG number = 0, insertions = -1, deletions = -1, changes = -1;
  revision->GetRevision(&number);
  EXPECT_EQ(number, 2) << "the empty first revision, then the content";
  ASSERT_EQ(revision->GetChanges(&insertions, &deletions, &changes), S_OK);
  EXPECT_EQ(insertions, 3) << "20000 bytes stored whole as 8192 + 8192 + 3616";
  EXPECT_EQ(deletions, 0);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(revision->GetChanges(&insertions, nullptr, &changes), E_POINTER);
}

// Fifty versions of a stream, each readable again through the revision enumerator.
TEST_F(NamedStreamTest, EveryVersionIsKept) {
  const char* seedText = std::getenv("CAIRN_SEED");
  const unsigned seed = seedText != nullptr ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                            : std::random_device()();
  SCOPED_TRACE("CAIRN_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  std::vector<std::vector<uint8_t>> versions;
  std::vector<uint8_t> content;
  for (int i = 0; i < 50; ++i) {
    // Small edits to text-like content, now and then a wholesale change.
    std::uniform_int_distribution<int> kind(0, 5);
    const size_t at = content.empty() ? 0 : random() % content.size();
    switch (kind(random)) {
      case 0: content.insert(content.begin() + at, random() % 300 + 1, static_cast<uint8_t>('a' + random() % 26)); break;
      case 1: content.erase(content.begin() + at, content.begin() + std::min(content.size(), at + random() % 500)); break;
      case 2:
        for (size_t j = at; j < std::min(content.size(), at + random() % 400); ++j) content[j] = static_cast<uint8_t>(random());
        break;
      case 3: content.resize(content.size() + random() % 9000, static_cast<uint8_t>(random())); break;
      case 4: content.resize(content.size() / 2); break;
      default:
        content.assign(random() % 30000, 0);
        for (uint8_t& c : content) c = static_cast<uint8_t>(random() % 64 + 32);
    }
    HRESULT hr = Commit(L"history", content);
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    if (hr == S_OK) versions.push_back(content);
  }
  EXPECT_EQ(Newest(L"history"), content);

  Bstr name(L"history");
  ComPtr<ICairnObject> object;
  ASSERT_EQ(admin_->GetObject(name.Get(), object.Out(), 0), S_OK);
  ComPtr<IEnumCairnRevisions> revisions;
  ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
  ComPtr<ICairnRevision> revision;
  ASSERT_EQ(revisions->Next(3, revision.Out()), S_OK) << "the first, empty revision";
  for (size_t i = 0; i < versions.size(); ++i) {
    ASSERT_EQ(revisions->Next(3, revision.Out()), S_OK) << "version " << i;
    ComPtr<IStream> stream;
    ASSERT_EQ(revision->GetContents(stream.Out()), S_OK);
    ASSERT_EQ(ReadAll(stream.Get()), versions[i]) << "version " << i;
    STATSTG stat = {};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, versions[i].size());
  }
  EXPECT_EQ(revisions->Next(3, revision.Out()), S_FALSE);
}

TEST_F(NamedStreamTest, StreamsSeekWithinTheirRules) {
  ASSERT_EQ(Commit(L"small", {'a', 'b', 'c', 'd'}), S_OK);
  Bstr name(L"small");
  ComPtr<ICairnObject> object;
  ComPtr<IEnumCairnRevisions> revisions;
  ComPtr<ICairnRevision> revision;
  ComPtr<IStream> stream;
  ASSERT_EQ(admin_->GetObject(name.Get(), object.Out(), 0), S_OK);
  ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
  ASSERT_EQ(revisions->Last(0, revision.Out()), S_OK);
  ASSERT_EQ(revision->GetContents(stream.Out()), S_OK);

  LARGE_INTEGER move;
  ULARGE_INTEGER position;
  move.QuadPart = 0;
  EXPECT_EQ(stream->Seek(move, 3, &position), STG_E_INVALIDFUNCTION);
  move.QuadPart = -1;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_SET, &position), STG_E_INVALIDFUNCTION);
  // Positions count up to 4 GiB: a file of 3 GiB is read at every place.
  move.QuadPart = 0xC0000000ll;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_SET, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 0xC0000000u);
  char c = 0;
  ULONG n = 1;
  EXPECT_EQ(stream->Read(&c, 1, &n), S_OK);
  EXPECT_EQ(n, 0u) << "nothing past the end";
  move.QuadPart = -1;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 3u);
  EXPECT_EQ(stream->Read(&c, 1, &n), S_OK);
  EXPECT_EQ(c, 'd');
  EXPECT_EQ(stream->Read(&c, 1, &n), S_OK);
  EXPECT_EQ(n, 0u) << "nothing at the end";
  // The newest small revision is read in place from the archive: it cannot be written.
  EXPECT_EQ(stream->Write("x", 1, &n), E_ACCESSDENIED);

  STATSTG stat = {};
  EXPECT_EQ(stream->Stat(nullptr, STATFLAG_DEFAULT), E_POINTER);
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  ASSERT_NE(stat.pwcsName, nullptr);
  EXPECT_EQ(std::wstring(stat.pwcsName), L"small");
  CoTaskMemFree(stat.pwcsName);
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.pwcsName, nullptr);
  EXPECT_EQ(stat.cbSize.QuadPart, 4u);

  ULARGE_INTEGER size = {};
  EXPECT_EQ(stream->SetSize(size), E_NOTIMPL);
  EXPECT_EQ(stream->Commit(0), E_NOTIMPL);
  IStream* clone = reinterpret_cast<IStream*>(0x1);
  EXPECT_EQ(stream->Clone(&clone), E_NOTIMPL);
}

TEST_F(NamedStreamTest, DiskFileStreamsAreReadOnly) {
  const std::string path = dir_.Path("plain.txt");
  ASSERT_TRUE(testing::WriteFileBytes(path, "on disk"));
  const std::wstring wide = testing::Wide(path);
  ObjectState state;
  state.archive = archive_.Get();
  state.streamKind = ObjectState::StreamKind::kDiskFile;
  state.path = wide.c_str();
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateEngineObject(CLSID_Stream, state, stream.Out()), S_OK);
  std::vector<uint8_t> bytes = ReadAll(stream.Get());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "on disk");
  ULONG n = 0;
  EXPECT_EQ(stream->Write("x", 1, &n), E_ACCESSDENIED);
  STATSTG stat = {};
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 7u);
  EXPECT_EQ(stat.reserved & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_NE(stat.mtime.dwHighDateTime, 0u);

  state.path = L"C:\\no such folder\\none.txt";
  EXPECT_TRUE(FAILED(CreateEngineObject(CLSID_Stream, state, stream.Out())));
}

}  // namespace
}  // namespace cairn
