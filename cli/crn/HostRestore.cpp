#include "HostRestore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "CompoundFile.h"
#include "RestoreNames.h"
#include "StoredNames.h"
#include "StoredText.h"
#include "TargetNames.h"

namespace cairn {
namespace crn {
namespace {

// Deeper than any path this system can open; a deeper chain is damage.
constexpr int kMaxDepth = 2048;
constexpr uint32_t kReadOnlyAttribute = 0x01;

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

struct HostRestore::Level {
  const Level* above;
  uint32_t object;
};

HostRestore::HostRestore(ArchiveHeap& heap, const reader::SnapshotInfo& snapshot, std::string target, std::FILE* err)
    : heap_(heap), text_(StoredText::Of(heap)), snapshot_(snapshot), target_(std::move(target)), err_(err) {
  while (target_.size() > 1 && target_.back() == '/') target_.pop_back();
}

void HostRestore::Say(const char* format, const std::string& subject) {
  std::fprintf(err_, format, text_.Utf8(subject).c_str());
}

bool HostRestore::Damaged(const std::string& storedName) {
  Say("Damaged archive: %s cannot be read\n", storedName);
  return false;
}

bool HostRestore::Run(const std::vector<std::string>& paths) {
  std::vector<reader::HeldObject> entries;
  if (FAILED(reader::ReadHeld(heap_, SnapshotRecord(heap_, snapshot_.record).Entries(), snapshot_.asAt, &entries))) {
    Say("Damaged archive: the objects of snapshot %s cannot be read\n", snapshot_.name);
    return false;
  }
  // The target folder is the user's own: made as asked, links and all.
  if (!MakeFolders({}, 0)) return false;
  if (paths.empty()) {
    for (const reader::HeldObject& entry : entries)
      if (entry.revision != 0 && !WriteTop(entry)) return false;
    return true;
  }
  for (const std::string& path : paths) {
    bool found = false;
    if (!Search(entries, path, &found)) return false;
    if (!found) {
      Say("Not in the snapshot: %s\n", path);
      return false;
    }
  }
  return true;
}

// Finds path among objects and below the folders above it, and writes it where it is found.
bool HostRestore::Search(const std::vector<reader::HeldObject>& objects, const std::string& path, bool* found) {
  for (const reader::HeldObject& object : objects) {
    if (object.revision == 0) continue;
    if (SameNameIgnoringCase(object.name, path)) {
      *found = true;
      return WriteTop(object);
    }
    if (!IsAbove(object.name, path) || !RevisionRecord(heap_, object.revision).IsFolder()) continue;
    StatBlock stat;
    if (FAILED(reader::ReadStat(heap_, object.revision, &stat))) return Damaged(object.name);
    if (stat.type != revision_type::kFile) continue;  // a document's elements are restored with it
    std::vector<reader::HeldObject> children;
    if (FAILED(reader::ReadHeld(heap_, RevisionRecord(heap_, object.revision).Children(), snapshot_.asAt, &children)))
      return Damaged(object.name);
    for (const reader::HeldObject& child : children)
      if (!IsChildName(object.name, child.name)) {
        Say("Unsafe name in archive: %s\n", child.name);
        return false;
      }
    // Each level holds fewer characters of path, so the search ends.
    return Search(children, path, found);
  }
  return true;
}

bool HostRestore::WriteTop(const reader::HeldObject& object) {
  std::vector<std::string> components;
  if (!TargetComponents(text_, object.name, &components)) {
    Say("Unsafe name in archive: %s\n", object.name);
    Say("Failed to restore: %s\n", object.name);
    return false;
  }
  std::string path = target_;
  for (const std::string& component : components) path += "/" + text_.Utf8(component);
  const Level top{nullptr, object.object};
  if (!MakeFolders(components, components.size() - 1) ||
      !WriteRevision(object.name, object.revision, path, &top, static_cast<int>(components.size()))) {
    Say("Failed to restore: %s\n", object.name);
    return false;
  }
  return true;
}

bool HostRestore::MakeFolders(const std::vector<std::string>& components, size_t count) {
  if (mkdir(target_.c_str(), 0777) != 0 && errno != EEXIST) {
    Say("Unable to make directory: %s\n", target_);
    return false;
  }
  std::string path = target_;
  for (size_t i = 0; i < count; ++i) {
    path += "/" + text_.Utf8(components[i]);
    struct stat status;
    if (lstat(path.c_str(), &status) == 0) {
      if (S_ISDIR(status.st_mode)) continue;
    } else if (errno == ENOENT && mkdir(path.c_str(), 0777) == 0) {
      continue;
    }
    // A file or a link standing where a folder is needed.
    std::fprintf(err_, "Unable to make directory: %s\n", path.c_str());
    return false;
  }
  return true;
}

bool HostRestore::WriteRevision(const std::string& storedName, uint32_t revision, const std::string& path,
                                const Level* self, int depth) {
  StatBlock stat;
  if (FAILED(reader::ReadStat(heap_, revision, &stat))) return Damaged(storedName);
  if (stat.type == revision_type::kStorage) return WriteDocument(storedName, self->object, revision, stat, path);
  if (stat.type == revision_type::kStream) {
    Say("Damaged archive: %s is an element outside its document\n", storedName);
    return false;
  }
  if (stat.type != revision_type::kFile) return true;  // a kind this version does not write
  if (stat.attributes & kFolderAttribute) return WriteFolder(storedName, revision, path, self, depth);
  return WriteFile(revision, stat, path);
}

bool HostRestore::WriteFolder(const std::string& storedName, uint32_t revision, const std::string& path,
                              const Level* self, int depth) {
  if (depth > kMaxDepth) {
    Say("Damaged archive: folders nested too deep below %s\n", storedName);
    return false;
  }
  struct stat status;
  if (lstat(path.c_str(), &status) == 0 ? !S_ISDIR(status.st_mode) : mkdir(path.c_str(), 0777) != 0) {
    std::fprintf(err_, "Unable to make directory: %s\n", path.c_str());
    return false;
  }
  std::vector<reader::HeldObject> children;
  if (FAILED(reader::ReadHeld(heap_, RevisionRecord(heap_, revision).Children(), snapshot_.asAt, &children)))
    return Damaged(storedName);
  for (const reader::HeldObject& child : children) {
    if (child.revision == 0) continue;  // came after this snapshot
    const std::wstring component = LastComponent(text_.Wide(child.name));
    if (!IsChildName(storedName, child.name) || !IsSafeFileName(component)) {
      Say("Unsafe name in archive: %s\n", child.name);
      return false;
    }
    for (const Level* level = self; level != nullptr; level = level->above)
      if (level->object == child.object) {
        Say("Damaged archive: %s is met again below itself\n", child.name);
        return false;
      }
    const Level here{self, child.object};
    // A child's name holds a backslash (IsChildName); its component is the stored bytes after it.
    const std::string name = child.name.substr(child.name.find_last_of('\\') + 1);
    if (!WriteRevision(child.name, child.revision, path + "/" + text_.Utf8(name), &here, depth + 1)) return false;
  }
  return true;
}

bool HostRestore::WriteFile(uint32_t revision, const StatBlock& stat, const std::string& path) {
  // Rebuilt whole first: a damaged revision leaves the file standing there as it was.
  MemoryContent content;
  if (stat.size >= WorkerPool::kWorthFrom && workers_ == nullptr) workers_.reset(new (std::nothrow) WorkerPool());
  if (FAILED(reader::ReadContent(heap_, revision, content, workers_.get()))) {
    std::fprintf(err_, "Damaged archive: the stored content of %s does not rebuild\n", path.c_str());
    return false;
  }
  return WriteBytes(content.Bytes(), stat, path);
}

bool HostRestore::WriteBytes(const std::vector<uint8_t>& bytes, const StatBlock& stat, const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    std::fprintf(err_, "Unable to create file: %s\n", path.c_str());
    return false;
  }
  bool ok = WriteAll(fd, bytes.data(), bytes.size());
  if (!ok) std::fputs("Unable to write file!\n", err_);
  // The times are set even when the content could not be written whole, as cn does.
  timespec times[2];
  if (!ToTimespec(stat.accessed, &times[0])) times[0] = timespec{0, UTIME_OMIT};
  if (!ToTimespec(stat.modified, &times[1])) times[1] = timespec{0, UTIME_OMIT};
  if (futimens(fd, times) != 0) {
    std::fputs("Unable to restore modification time!\n", err_);
    ok = false;
  }
  struct stat status;
  if ((stat.attributes & kReadOnlyAttribute) && (fstat(fd, &status) != 0 || fchmod(fd, status.st_mode & ~0222) != 0)) {
    std::fprintf(err_, "Unable to make read-only: %s\n", path.c_str());
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    std::fputs("Unable to write file!\n", err_);
    ok = false;
  }
  if (ok) ++files_;
  return ok;
}

bool HostRestore::WriteDocument(const std::string& storedName, uint32_t object, uint32_t revision,
                                const StatBlock& stat, const std::string& path) {
  std::vector<uint8_t> bytes;
  CompoundFailure failure;
  if (!BuildCompoundFile(heap_, snapshot_.asAt, object, storedName, revision, &bytes, &failure)) {
    Say(failure.format, failure.subject);
    return false;
  }
  return WriteBytes(bytes, stat, path);
}

}  // namespace crn
}  // namespace cairn
