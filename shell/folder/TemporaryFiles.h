// The files a folder wrote from the archive for the user to look at (read-only copies of stored
// files). They are deleted when the folder goes, read-only ones too; a path that is a folder is
// removed with everything in it.
#pragma once

#include <string>
#include <vector>

namespace cairn {
namespace shell {

class TemporaryFiles {
 public:
  TemporaryFiles() = default;
  ~TemporaryFiles();
  TemporaryFiles(const TemporaryFiles&) = delete;
  TemporaryFiles& operator=(const TemporaryFiles&) = delete;

  // Keeps the path to delete; a path written again (an item opened twice) is kept once.
  void Keep(const std::string& path);

 private:
  std::vector<std::string> paths_;
};

}  // namespace shell
}  // namespace cairn
