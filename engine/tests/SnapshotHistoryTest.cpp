// Random histories of a folder tree over twenty snapshots, in every compression setting: files
// and folders made, deleted, edited, renamed and moved between folders, empty folders, empty
// files, and a file of 20 MB that changes by small edits and is renamed once. Afterwards every
// snapshot, read back through the navigation interfaces (snapshots, objects, revisions, content
// and status), must equal the tree as it was. The seed is printed; CAIRN_SEED=n reruns a history.
#include "SnapshotFixture.h"

#include <cstdio>
#include <cstdlib>
#include <random>

#include "Seed.h"

namespace cairn {
namespace {

using testing::SnapshotTest;
namespace fs = std::filesystem;

// What a snapshot holds of a file or folder.
struct Entry {
  bool folder = false;
  uint64_t size = 0;
  uint64_t digest = 0;    // of a file's content
  uint64_t modified = 0;  // a file's last-write time
  bool operator==(const Entry& o) const {
    return folder == o.folder && size == o.size && digest == o.digest && modified == o.modified;
  }
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
  if (e.folder) return os << "<folder>";
  return os << "{size " << e.size << " digest " << std::hex << e.digest << " modified " << e.modified << std::dec << "}";
}

using State = std::map<std::wstring, Entry>;  // by path inside the tree, "." for the tree itself

uint64_t Digest(const void* bytes, size_t n) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<const uint8_t*>(bytes)[i]) * 1099511628211ull;
  return h;
}

// The names made here are plain ASCII.
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

uint64_t Join(const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

// A tree on disk changed at random: every name it makes is new, so a path names one object.
class RandomTree {
 public:
  RandomTree(const fs::path& root, std::mt19937& rng) : root_(root), rng_(rng) {}

  // One random change of the tree.
  void Change() {
    const std::vector<fs::path> files = List(false), folders = List(true);
    switch (rng_() % 12) {
      case 0: case 1: case 2: return Create(Pick(folders));
      case 3: case 4: case 5: return files.empty() ? Create(Pick(folders)) : Edit(Pick(files));
      case 6: if (!files.empty()) fs::remove(Pick(files)); return;
      case 7: if (!files.empty()) Move(Pick(files), Pick(folders)); return;
      case 8: if (!files.empty()) { const fs::path f = Pick(files); Move(f, f.parent_path()); } return;
      case 9: fs::create_directory(Pick(folders) / Name("d")); return;
      case 10: if (folders.size() > 4) fs::remove_all(Pick(folders, 1)); return;
      default: if (folders.size() > 1) MoveFolder(Pick(folders, 1), Pick(folders)); return;
    }
  }
  // A change that every snapshot sees: a file made. (An edit is not one: with the round's other
  // edits it can give a file back the content it had at the last snapshot.)
  void SureChange() { Create(Pick(List(true))); }

  // The large file: made of 20 MB, mostly zeros with random islands every 64 KB (so that every
  // compression setting handles it quickly), then edited a little at a time.
  void MakeLarge(const std::string& name) {
    std::string content(20u << 20, '\0');
    for (size_t at = 0; at < content.size(); at += 65536)
      for (size_t i = 0; i < 256; ++i) content[at + i] = static_cast<char>(rng_());
    WriteFile(root_ / name, content);
  }
  void EditLarge(const fs::path& path) {
    std::string content = Read(path);
    content.replace(rng_() % content.size(), 100, Random(100));
    content.insert(rng_() % content.size(), Random(50));
    content.erase(rng_() % (content.size() - 30), 30);
    WriteFile(path, content);
  }

  // Every file and folder as it is now.
  State Now() const {
    State state;
    state[L"."] = Entry{true};
    const size_t cut = root_.wstring().size() + 1;
    for (const auto& item : fs::recursive_directory_iterator(root_)) {
      std::wstring relative = item.path().wstring().substr(cut);
      for (wchar_t& c : relative)
        if (c == L'/') c = L'\\';
      Entry entry;
      entry.folder = item.is_directory();
      if (!entry.folder) {
        const std::string content = Read(item.path());
        entry.size = content.size();
        entry.digest = Digest(content.data(), content.size());
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(item.path().wstring().c_str(), GetFileExInfoStandard, &data))
          entry.modified = Join(data.ftLastWriteTime);
      }
      state[relative] = entry;
    }
    return state;
  }

 private:
  std::vector<fs::path> List(bool folders) const {
    std::vector<fs::path> found;
    if (folders) found.push_back(root_);
    for (const auto& item : fs::recursive_directory_iterator(root_))
      if (item.is_directory() == folders && item.path().filename().wstring().rfind(L"large", 0) != 0)
        found.push_back(item.path());
    return found;
  }
  // One of the paths, from the first'th on.
  fs::path Pick(const std::vector<fs::path>& paths, size_t first = 0) {
    return paths[first + rng_() % (paths.size() - first)];
  }
  fs::path Name(const char* prefix) { return fs::path(prefix + std::to_string(++names_)); }

  std::string Random(size_t n) {
    std::string bytes(n, '\0');
    const bool text = rng_() % 2 == 0;
    for (char& c : bytes) c = static_cast<char>(text ? 'a' + rng_() % 20 : rng_());
    return bytes;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string content(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0).read(&content[0], static_cast<std::streamsize>(content.size()));
    return content;
  }
  static void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  }

  void Create(const fs::path& folder) {
    const uint32_t kind = rng_() % 10;
    WriteFile(folder / Name("f"), kind == 0 ? std::string() : Random(kind < 7 ? rng_() % 4000 : 4000 + rng_() % 40000));
  }
  void Edit(const fs::path& path) {
    const std::string before = Read(path);
    std::string content = before;
    const size_t at = content.empty() ? 0 : rng_() % content.size();
    switch (rng_() % 6) {
      case 0: content.replace(at, 1 + rng_() % 300, Random(1 + rng_() % 300)); break;
      case 1: content.insert(at, Random(1 + rng_() % 2000)); break;
      case 2: content.erase(at, 1 + rng_() % 2000); break;
      case 3: content += Random(1 + rng_() % 5000); break;
      case 4: content.clear(); break;
      default: content = Random(rng_() % 30000); break;
    }
    if (content == before) content += 'x';
    WriteFile(path, content);
  }
  void Move(const fs::path& from, const fs::path& folder) {
    const fs::path to = folder / (fs::exists(folder / from.filename()) ? Name("f") : from.filename());
    fs::rename(from, to);
  }
  void MoveFolder(const fs::path& from, const fs::path& folder) {
    const std::wstring source = from.wstring();
    if (folder.wstring().rfind(source, 0) == 0) return;  // not into itself
    fs::rename(from, folder / Name("d"));
  }

  fs::path root_;
  std::mt19937& rng_;
  int names_ = 0;
};

class SnapshotHistoryTest : public SnapshotTest {
 protected:
  // Snapshot n as read back through the navigation interfaces.
  State Stored(LONG n) {
    State state;
    ComPtr<IEnumCairnObjects> objects = TopLevelObjects(n);
    if (objects) Collect(objects.Get(), &state);
    return state;
  }
  void Collect(IEnumCairnObjects* objects, State* state) {
    ComPtr<ICairnObject> object;
    while (objects->Next(0, object.Out()) == S_OK) {
      const std::wstring name = testing::NameOf(object.Get());
      ComPtr<IEnumCairnRevisions> revisions;
      ComPtr<ICairnRevision> revision;
      ComPtr<IStream> content;
      ASSERT_EQ(object->EnumCairnRevisions(0, revisions.Out()), S_OK);
      ASSERT_EQ(revisions->Last(1, revision.Out()), S_OK);
      ASSERT_EQ(revision->GetContents(content.Out()), S_OK);
      STATSTG stat = {};
      ASSERT_EQ(content->Stat(&stat, STATFLAG_NONAME), S_OK);
      const std::wstring relative = name.size() > root_.wstring().size() ? name.substr(root_.wstring().size() + 1) : L".";
      Entry entry;
      entry.folder = (stat.reserved & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (entry.folder) {
        ComPtr<IEnumCairnObjects> children;
        ASSERT_EQ(revision->EnumCairnObjects(0, children.Out()), S_OK);
        Collect(children.Get(), state);
      } else {
        uint64_t h = 14695981039346656037ull;
        uint8_t buffer[65536];
        ULONG n = 0;
        while (SUCCEEDED(content->Read(buffer, sizeof buffer, &n)) && n > 0) {
          for (ULONG i = 0; i < n; ++i) h = (h ^ buffer[i]) * 1099511628211ull;
          entry.size += n;
        }
        entry.digest = h;
        entry.modified = Join(stat.mtime);
        EXPECT_EQ(stat.cbSize.QuadPart, entry.size) << "the status of " << relative.size();
      }
      (*state)[relative] = entry;
    }
  }
};

TEST_F(SnapshotHistoryTest, RandomHistoriesReadBackSnapshotBySnapshotInEverySetting) {
  const uint32_t seed = testing::TestSeed();
  SCOPED_TRACE("CAIRN_SEED=" + std::to_string(seed));
  std::mt19937 rng(seed);

  for (LONG options : {0, 1, 9}) {
    SCOPED_TRACE("options " + std::to_string(options));
    archive_ = testing::LoadArchive(dir_.Path("history" + std::to_string(options) + ".crn"));
    ASSERT_TRUE(archive_);
    ASSERT_EQ(archive_.As(&admin_), S_OK);
    ASSERT_EQ(admin_->SetOptions(options), S_OK);
    root_ = fs::u8path(dir_.Path("tree" + std::to_string(options)));
    fs::create_directories(root_);
    RandomTree tree(root_, rng);

    std::vector<State> states;
    for (int round = 0; round < 20; ++round) {
      // Each new content of the large file costs a whole store: a few are enough.
      if (round == 0) tree.MakeLarge("large.bin");
      if (round == 6) tree.EditLarge(root_ / "large.bin");
      if (round == 11) fs::rename(root_ / "large.bin", root_ / "large-renamed.bin");
      if (round == 15) tree.EditLarge(root_ / "large-renamed.bin");
      for (int step = 2 + rng() % 5; step > 0; --step) tree.Change();
      tree.SureChange();
      LONG number = 0;
      ASSERT_EQ(Snapshot(round == 0 ? std::vector<std::wstring>{Path()} : std::vector<std::wstring>{}, {}, &number),
                S_OK)
          << "round " << round;
      ASSERT_EQ(number, round + 1);
      State now = tree.Now();
      // A file written back to the content it had keeps its revision, and so that revision's time.
      if (!states.empty())
        for (auto& item : now) {
          auto before = states.back().find(item.first);
          if (before != states.back().end() && !item.second.folder && before->second.digest == item.second.digest)
            item.second.modified = before->second.modified;
        }
      states.push_back(now);
    }
    for (LONG n = 1; n <= 20; ++n) {
      const State stored = Stored(n);
      const State& expected = states[static_cast<size_t>(n - 1)];
      EXPECT_EQ(stored.size(), expected.size()) << "snapshot " << n;
      for (const auto& item : expected) {
        auto found = stored.find(item.first);
        if (found == stored.end()) {
          ADD_FAILURE() << "snapshot " << n << " lacks " << Narrow(item.first);
          continue;
        }
        EXPECT_EQ(found->second, item.second) << "snapshot " << n << ": " << Narrow(item.first);
      }
    }
    archive_.Reset();
    admin_.Reset();
  }
}

}  // namespace
}  // namespace cairn
